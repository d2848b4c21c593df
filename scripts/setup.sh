#!/usr/bin/env bash
# Installs what the build and the tests need (Debian, as root). Safe to run again.
set -euo pipefail
pkgs=(cmake make python3 g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 libwine-dev googletest qpdf poppler-utils wixl msitools)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
