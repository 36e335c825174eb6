#!/usr/bin/env bash
# Times opening a generated MLG log (version 2, 1,389 fields: 320,000
# records, about 1.1 GB) and printing the figures beside their targets:
#   mlg_open_ms             readMlgBuffer with the bytes in memory: the walk
#                           over the blocks, the checksum pass and the index;
#                           well under 300 ms on 2 cores
#   mlg_first_channel_ms    the first parseInto of a channel over every take
#                           (slowest of eight spread over the fields): under 35 ms
#   mlg_memory_beyond_file  what the open log holds besides the file's bytes
#   startup_to_data_ms      the window, in a fresh process, from its start to
#                           the first paint of the grid with data: at most 1 s
#   first_curve_ms          the slowest first curve of several channels: under 50 ms
#   startup_peak_rss_per_file  the window's peak memory with those curves, in
#                           times the file: at most 1.2
#   mlg_report_per_cat      datalog-viewer --report over the time of cat FILE
#                           >/dev/null (median of the runs each): at most 4
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

echo "== building dlv-mlg-bench, dlv-bench, datalog-viewer and dlv-generate-log in $build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" --target dlv-mlg-bench dlv-bench datalog-viewer dlv-generate-log -j2; } >"$out/mlg_build.log" 2>&1; then
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
startup_runs=$((runs < 3 ? 3 : runs))
echo "== the window's start-up, $startup_runs fresh process(es)"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/dlv-bench" "$log" --mlg-startup --runs "$startup_runs" \
    2>>"$out/mlg_bench_$records.log" | tee -a "$out/mlg_$records.txt"

# Wall time of a command in ms, its output dropped.
wall_ms() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
cat_ms=$(for _ in $(seq "$startup_runs"); do wall_ms cat "$log"; done | median)
report_ms=$(for _ in $(seq "$startup_runs"); do wall_ms "$build/src/datalog-viewer" --report "$log"; done | median)
awk -v r="$report_ms" -v c="$cat_ms" 'BEGIN { printf "mlg_report_per_cat %.1f target 4 (report %d ms, cat %d ms)\n", r / (c > 0 ? c : 1), r, c }' |
    tee -a "$out/mlg_$records.txt"
