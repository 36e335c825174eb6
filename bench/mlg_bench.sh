#!/usr/bin/env bash
# Times opening a generated MLG log (version 2, 1,389 fields: 320,000
# records, about 1.1 GB) and printing the figures beside their targets:
#   mlg_open_ms             readMlgBuffer with the bytes in memory: the walk
#                           over the blocks, the checksum pass and the index;
#                           well under 300 ms on 2 cores
#   mlg_first_channel_ms    the first parseInto of a channel over every take
#                           (slowest of eight spread over the fields): under 35 ms
#   mlg_memory_beyond_file  what the open log holds besides the file's bytes
#
#   bench/mlg_bench.sh [--quick] [--build-dir DIR] [--runs N]
#
# --quick: 10,000 records, one run (CI: checks that it works). Logs live in
# bench/out/ as for bench/run.sh (generated once with dlv-generate-log
# --format mlg); results go to bench/out/mlg_RECORDS.txt.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
out=$root/bench/out
quick=0
runs=5
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1; runs=1 ;;
        --build-dir) build=$(realpath -m "${2:?--build-dir needs a directory}"); shift ;;
        --runs) runs=${2:?--runs needs a number}; shift ;;
        -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "bench/mlg_bench.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
    esac
    shift
done
records=$([ "$quick" = 1 ] && echo 10000 || echo 320000)
fields=1389
mkdir -p "$out"

echo "== building dlv-mlg-bench and dlv-generate-log in $build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" --target dlv-mlg-bench dlv-generate-log -j2; } >"$out/mlg_build.log" 2>&1; then
    cat "$out/mlg_build.log" >&2
    echo "bench/mlg_bench.sh: the build failed" >&2
    exit 1
fi
log=$out/log_mlg_${records}x$fields.mlg
if [ ! -s "$log" ]; then
    echo "== generating $log"
    "$build/tools/dlv-generate-log" "$records" "$log.part" --fields "$fields" --format mlg
    mv "$log.part" "$log"
fi
cat "$log" >/dev/null  # into the page cache
echo "== $(basename "$log"): dlv-mlg-bench, $runs run(s)"
"$build/bench/dlv-mlg-bench" "$log" --runs "$runs" 2>"$out/mlg_bench_$records.log" | tee "$out/mlg_$records.txt"
