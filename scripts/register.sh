#!/usr/bin/env bash
# Registers the testbed's client object model and the add-in in the build's Wine prefix.
set -euo pipefail
prefix=$1 bin=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd "$bin"
for dll in tbdms.dll VPDFIManageAddon.dll; do
  /usr/lib/wine/wine64 regsvr32 /s "$dll" || { echo "registering $dll failed" >&2; exit 1; }
done
echo "registered in $prefix"
