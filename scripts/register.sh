#!/usr/bin/env bash
# Registers the testbed's client object model from the client's folder and the add-in from the
# product's folder, each by regsvr32 in its own folder, in the build's Wine prefix.
# Usage: register.sh <prefix> <client folder> <product folder>
set -euo pipefail
prefix=$1 client=$2 product=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
register() {
  (cd "$1" && /usr/lib/wine/wine64 regsvr32 /s "$2") || { echo "registering $1/$2 failed" >&2; exit 1; }
}
register "$client" tbdms.dll
register "$product" VPDFIManageAddon.dll
echo "registered in $prefix"
