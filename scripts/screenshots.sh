#!/usr/bin/env bash
# Screenshots of the add-in's dialogs and of the progress window of long runs as a person sees
# them: `clienthost dialogs` shows each dialog
# with sample documents under Xvfb, with Wine's normal X11 driver (in a Wine prefix of its own,
# not the build's prefix with the null driver) inside a Wine virtual desktop, which draws the
# title bars. English and German (the progress window in Arabic too). PNGs, cut to the dialog's window, go to <build>/screenshots/.
#
#   bash scripts/screenshots.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
case $build in /*) ;; *) build=$root/$build ;; esac

# Xvfb, ImageMagick (import, convert) and the X utilities, from Debian's packages.
missing=()
for p in xvfb imagemagick x11-utils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The real ImageMagick, whatever else is first on PATH.
convert=/usr/bin/convert
import=/usr/bin/import

# What is shown: the demo program and the add-in DLL whose templates it uses.
if [ ! -f "$build/CMakeCache.txt" ]; then
  bash scripts/setup.sh
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target clienthost VPDFIManageAddon -j "$(nproc)"

out=$build/screenshots
work=$out/.work
prefix=$build/wineprefix-x11
mkdir -p "$out" "$work"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# A free X display.
n=77
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
display=:$n
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=$display
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done

# The prefix of the screenshots: Wine's X11 driver (no Graphics value), made once.
if [ ! -f "$prefix/.vpdf-x11-ready" ]; then
  mkdir -p "$prefix"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wine64 reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
  # Wine draws the caption buttons with Marlett, which it does not find in its data folder here.
  [ -f /usr/share/wine/fonts/marlett.ttf ] && cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
  touch "$prefix/.vpdf-x11-ready"
fi
# Laid out as the build's prefix: the add-in in the product's folder, the client host in its own.
for installed in "Ostrel" "iManage Client"; do
  rm -rf "$prefix/drive_c/Program Files/$installed"
  cp -a "$build/wineprefix/drive_c/Program Files/$installed" "$prefix/drive_c/Program Files/"
done
bin="$prefix/drive_c/Program Files/iManage Client"
# Each shot starts from no stored choices or size.
/usr/lib/wine/wine64 reg delete 'HKCU\Software\Ostrel\PDF\V1\iManage Work' /f >/dev/null 2>&1 || true
/usr/lib/wine/wine64 reg delete 'HKCU\Software\VarnelTestbed\Config' /f >/dev/null 2>&1 || true

# shot NAME VERB [options of clienthost dialogs...]: shows the dialog, waits until it is on screen, takes
# the screen, cuts out the dialog's window, and closes the dialog.
shot() {
  local name=$1
  shift
  local ready=$work/$name.ready close=$work/$name.close
  rm -f "$ready" "$close"
  /usr/lib/wine/wine64 reg delete 'HKCU\Software\Ostrel\PDF\V1\iManage Work' /f >/dev/null 2>&1 || true
  /usr/lib/wine/wine64 explorer /desktop=shots,1024x768 "$(winpath "$bin/clienthost.exe")" dialogs "$@" \
    --ready "$(winpath "$ready")" --close-when "$(winpath "$close")" >"$work/$name.out" 2>&1 &
  local pid=$!
  for _ in $(seq 600); do [ -s "$ready" ] && break; sleep 0.1; done
  if [ ! -s "$ready" ]; then
    echo "$name: the dialog did not come up" >&2
    touch "$close"
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return 1
  fi
  sleep 2  # let it paint
  "$import" -display "$display" -window root "$work/$name-screen.png"
  local x y w h
  read -r x y w h <"$ready"
  "$convert" "$work/$name-screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
  touch "$close"
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
  echo "$out/$name.png (${w}x${h}): $(tr -d '\r' <"$work/$name.out" | head -1)"
}

status=0
for lang in en de; do
  offset=0
  [ "$lang" = de ] && offset=200
  shot "merge_$lang" merge --lang $offset --merge || status=1
  shot "merge_single_$lang" merge --lang $offset || status=1
  shot "merge_extended_$lang" merge --lang $offset --extended || status=1
  shot "merge_resized_$lang" merge --lang $offset --merge --size 760x580 || status=1
  shot "save_$lang" save --lang $offset --extended || status=1
  shot "message_$lang" message --lang $offset || status=1
  shot "progress_$lang" progress --lang $offset || status=1
done
# The progress window in Arabic: its texts read right to left, so it is mirrored.
shot progress_ar progress --lang 2000 || status=1
/usr/lib/wine/wine64 reg delete 'HKCU\Software\VarnelTestbed\Config' /f >/dev/null 2>&1 || true
exit $status
