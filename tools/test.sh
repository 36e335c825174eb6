#!/usr/bin/env bash
# Sets up, builds and runs everything that checks the viewer, headless, and
# exits non-zero on any failure:
#   1. the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/, tools/sanitize.sh), with every fuzz target replaying the
#      inputs kept for it;
#   2. the viewer in the plain build (build/), with the tests that need a real
#      address-space limit, which the sanitizers cannot run under (label
#      "limits"); the whole plain suite is `ctest --test-dir build` after
#      tools/build.sh;
#   3. with DLV_FUZZ_SECONDS=N (N > 0), each libFuzzer target for a bounded run
#      of N seconds (build-fuzz/, tools/fuzz.sh; needs clang);
#   4. one small benchmark run, the 10,000-take log, without timing checks, so
#      that the benchmark keeps working (bench/run.sh --quick);
#   5. the desktop file (desktop-file-validate) and the .deb from cpack: its
#      files and its dependencies (tools/check_package.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
fuzz_seconds=${DLV_FUZZ_SECONDS:-0}
if ((fuzz_seconds > 0)); then
  tools/setup.sh clang libclang-rt-14-dev desktop-file-utils
else
  tools/setup.sh desktop-file-utils
fi
step() { echo; echo "==== $* ($(date +%H:%M:%S))"; }

step "whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, fuzz targets replaying their inputs"
tools/sanitize.sh build-asan

# Each test runs once: the suite above, under the sanitizers; here only what
# they cannot run. The rest of the plain build is what the steps below use.
step "plain build, tests under address-space limits"
tools/build.sh build --target datalog-viewer --target test_limits
ctest --test-dir build --output-on-failure --timeout 300 -j"$(nproc)" -L limits

if ((fuzz_seconds > 0)); then
  step "fuzzing, $fuzz_seconds s per target"
  tools/fuzz.sh "$fuzz_seconds"
fi

step "benchmark, quick run"
bench/run.sh --quick --build-dir build

step "desktop file and .deb package"
tools/check_package.sh build

step "all checks passed"
