#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test program under Wine through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
cd build
ctest --output-on-failure --timeout 900
