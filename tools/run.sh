#!/usr/bin/env bash
# Sets up, builds and starts the viewer on the bundled sample log (or on the
# log given as argument).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh build
exec build/src/datalog-viewer "${1:-examples/sample.csv}"
