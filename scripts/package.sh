#!/usr/bin/env bash
# Installs what is needed, builds the add-in and writes its installer package
# build/VPDFIManageAddon-<version>.msi.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target VPDFIManageAddon
bash scripts/msi.sh build
