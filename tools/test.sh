#!/usr/bin/env bash
# Sets up, builds and runs everything that checks the viewer, headless, and
# exits non-zero on any failure:
#   1. the test suite (build/);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/, tools/sanitize.sh);
#   3. each libFuzzer target for a short bounded run (build-fuzz/, tools/fuzz.sh);
#   4. one small benchmark run, the 10,000-take log, without timing checks, so
#      that the benchmark keeps working (bench/run.sh --quick);
#   5. the desktop file (desktop-file-validate) and the .deb from cpack: its
#      files and its dependencies (tools/check_package.sh).
# DLV_FUZZ_SECONDS sets the fuzzing time per target (default 10: the corpora
# are replayed by the suite; longer campaigns run tools/fuzz.sh directly).
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
tools/setup.sh clang libclang-rt-14-dev desktop-file-utils
step() { echo; echo "==== $* ($(date +%H:%M:%S))"; }

step "test suite"
tools/build.sh build
ctest --test-dir build --output-on-failure --timeout 300 -j"$(nproc)"

step "test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
tools/sanitize.sh build-asan

step "fuzzing, ${DLV_FUZZ_SECONDS:-10} s per target"
tools/fuzz.sh "${DLV_FUZZ_SECONDS:-10}"

step "benchmark, quick run"
bench/run.sh --quick --build-dir build

step "desktop file and .deb package"
tools/check_package.sh build

step "all checks passed"
