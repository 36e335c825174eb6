#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless. Exits non-zero on
# any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
tools/setup.sh
tools/build.sh build
ctest --test-dir build --output-on-failure --timeout 300 -j"$(nproc)"
