#!/usr/bin/env bash
# Makes the build's own Wine prefix (never ~/.wine) with the null graphics driver,
# so that windows and dialogs work without a display.
set -euo pipefail
prefix=$1
stamp=$prefix/.vpdf-ready
[ -f "$stamp" ] && exit 0
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
touch "$stamp"
