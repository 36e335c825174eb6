#!/usr/bin/env bash
# Sets up, builds and starts the viewer on the bundled sample log (or on the
# log given as argument). Builds the viewer alone, so that the window shows
# quickly on a fresh clone; tools/test.sh builds the tests and the benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh build --target datalog-viewer
exec build/src/datalog-viewer "${1:-examples/sample.csv}"
