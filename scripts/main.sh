#!/usr/bin/env bash
# Installs what is needed, builds, registers the add-in in the build's Wine prefix,
# and lets the client host run a command on sample documents.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
bash scripts/register.sh "$PWD/build/wineprefix" "$PWD/build/bin"
export WINEPREFIX=$PWD/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd build/bin
/usr/lib/wine/wine64 clienthost.exe "$@"
