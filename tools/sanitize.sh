#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan and runs it headless. Exits non-zero on any failure, any
# memory error and any undefined behaviour. Usage: tools/sanitize.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-asan}
jobs=$(nproc)

# -O1 with line tables only: quicker to build than -O2 -g, still exact stack
# traces; assertions stay on. Float-to-int conversions out of range are
# undefined too, but not part of GCC's "undefined" group.
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DCMAKE_CXX_FLAGS="-fsanitize=float-cast-overflow" -DDLV_SANITIZE=ON -DDLV_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$jobs"

# Qt and the font libraries are not built with the sanitizers; what they keep
# until exit (font caches, the platform plugin) is theirs, not a leak of ours.
suppressions="$PWD/$dir/lsan.supp"
cat >"$suppressions" <<'SUPP'
leak:libQt6Core.so
leak:libQt6Gui.so
leak:libQt6Widgets.so
leak:libfontconfig.so
leak:libfreetype.so
leak:libglib-2.0.so
leak:libqoffscreen.so
SUPP

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1
export LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$jobs"
