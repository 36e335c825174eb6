#!/usr/bin/env bash
# Times opening a ';'-separated log with decimal commas and the names on
# line 1 (a spreadsheet export) beside opening the same log in the own
# format: the 300,000-take benchmark log (about 280 MB) and its text copy,
# each read by readLog in a fresh process, with their peak memory.
#
#   bench/text_bench.sh [--quick] [--build-dir DIR] [--runs N]
#
# --quick: the 10,000-take log, one run. Logs live in bench/out/ as for
# bench/run.sh; the figures go to bench/out/text_TAKES.txt too.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
out=$root/bench/out
quick=0
runs=3
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1; runs=1 ;;
        --build-dir) build=$(realpath -m "${2:?--build-dir needs a directory}"); shift ;;
        --runs) runs=${2:?--runs needs a number}; shift ;;
        -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "bench/text_bench.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
    esac
    shift
done
takes=$([ "$quick" = 1 ] && echo 10000 || echo 300000)
mkdir -p "$out"

echo "== building dlv-text-bench and dlv-generate-log in $build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" --target dlv-text-bench dlv-generate-log -j2; } >"$out/text_build.log" 2>&1; then
    cat "$out/text_build.log" >&2
    echo "bench/text_bench.sh: the build failed" >&2
    exit 1
fi
log=$out/log_$takes.csv
if [ ! -s "$log" ]; then
    echo "== generating $log"
    "$build/tools/dlv-generate-log" "$takes" "$log.part"
    mv "$log.part" "$log"
fi
echo "== a ';'-separated log with decimal commas beside the own format, $takes takes"
"$build/bench/dlv-text-bench" "$log" "$out/text_$takes.csv" --runs "$runs" | tee "$out/text_$takes.txt"
