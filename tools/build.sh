#!/usr/bin/env bash
# Configures and builds into the given directory (default: build).
# Usage: tools/build.sh [BUILD_DIR] [--target NAME]... [extra cmake arguments ...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
target=()
while [ "${1:-}" = "--target" ]; do
  target+=(--target "$2")
  shift 2
done
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDLV_WINDOW_TESTS=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${target[@]}"
