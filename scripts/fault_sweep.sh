#!/usr/bin/env bash
# The full fault sweep (testbed/sweep/fault_sweep.cpp): every scenario of the client host with
# each of the add-in's imported functions failing at its k-th call. It runs on a copy of the
# build's prefix, so that building and testing can go on meanwhile; it may take long:
#
#   nice bash scripts/fault_sweep.sh [--no-message-check] [--verbose] [scenario...] > sweep.txt &
#
# Options and scenarios are fault_sweep.exe's (its opening comment). Prints one line per broken
# run and the totals; exits non-zero when any run broke.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build root=$PWD/build/fault-sweep
programs=wineprefix/drive_c/Program\ Files
[ -f "$build/bin/fault_sweep.exe" ] || { echo "build first: $build/bin/fault_sweep.exe is missing" >&2; exit 2; }
# The build's server writes the registry out when it ends; the copy starts from that.
WINEPREFIX=$build/wineprefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
WINEPREFIX=$build/wineprefix /usr/lib/wine/wineserver64 -w 2>/dev/null || true
rm -rf "$root"
mkdir -p "$root/current folder"
cp -a "$build/wineprefix" "$root/wineprefix"
cp "$build/bin/fault_sweep.exe" "$root/"
bash scripts/register.sh "$root/wineprefix" "$root/$programs/iManage Client" "$root/$programs/Ostrel/PDF" >/dev/null
export WINEPREFIX=$root/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPATH='C:\Program Files\iManage Client'
start=$(date +%s) status=0
(cd "$root/current folder" && /usr/lib/wine/wine64 ../fault_sweep.exe "$@") | tr -d '\r' || status=$?
echo "sweep time: $(( $(date +%s) - start )) s"
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
rm -rf "$root"
exit $status
