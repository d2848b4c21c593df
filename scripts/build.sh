#!/usr/bin/env bash
# Configures and builds into build/ (the Wine prefix is made by the build, in build/wineprefix).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
