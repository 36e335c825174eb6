#!/usr/bin/env bash
# Times datalog-viewer --tables on the 300,000-take benchmark log with
# bench/tables_workspace.json (3 tables, 2 channels, one with a look-back,
# and filters) and prints the figures beside their targets:
#   --tables            at most 5 x the floor of the file (dlv-floor: mapping
#                       it and one vectorised pass over its bytes)
#   --report            of the same log, timed alike: --tables at most as long
#   DuckDB              the workspace's tables in one query (bench/duckdb.sh):
#                       at least 8 x slower than --tables
#   pandas.read_csv     of the same file at least 10 x slower than --tables
#   peak memory         at most 0.3 x the file (the log streams)
#   ten logs at once    linear: at most 10 x one log (the same file ten times)
#   an edit             a live table recomputed after an edit, columns
#                       parsed: at most 50 ms (dlv-tables-edit)
#   two logs pooled     the Tables tab's table over two open logs of
#                       300,000 takes (a second log of another seed), shown
#                       again after each edit, and their difference table:
#                       at most 50 ms each (dlv-tables-edit --with)
#
#   bench/tables_bench.sh [--quick] [--build-dir DIR] [--runs N] [--pandas-ms MS]
#
# --quick: the 10,000-take log, one run, no pandas or DuckDB, no targets (CI:
# checks that the command works). --pandas-ms: a pandas figure already measured on
# the same log (bench/run.sh passes its own). Logs live in bench/out/ as for
# bench/run.sh; results go to bench/out/tables_TAKES.txt ("key value" lines).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
out=$root/bench/out
quick=0
runs=3
pandas_ms=""
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1; runs=1 ;;
        --build-dir) build=$(realpath -m "${2:?--build-dir needs a directory}"); shift ;;
        --runs) runs=${2:?--runs needs a number}; shift ;;
        --pandas-ms) pandas_ms=${2:?--pandas-ms needs a number}; shift ;;
        -h|--help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "bench/tables_bench.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
    esac
    shift
done
takes=$([ "$quick" = 1 ] && echo 10000 || echo 300000)
workspace=$root/bench/tables_workspace.json
mkdir -p "$out"

echo "== building datalog-viewer, dlv-floor, dlv-tables-edit and dlv-generate-log in $build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" --target datalog-viewer dlv-floor dlv-tables-edit dlv-generate-log -j2; } >"$out/tables_build.log" 2>&1; then
    cat "$out/tables_build.log" >&2
    echo "bench/tables_bench.sh: the build failed" >&2
    exit 1
fi
viewer=$build/src/datalog-viewer
log=$out/log_$takes.csv
if [ ! -s "$log" ]; then
    echo "== generating $log"
    "$build/tools/dlv-generate-log" "$takes" "$log.part"
    mv "$log.part" "$log"
fi
cat "$log" >/dev/null  # into the page cache

now_ns() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs the viewer with the given arguments RUNS times after a warm-up;
# prints the median wall time in ms and leaves the largest peak RSS (KiB) in
# $out/tables_peak_kb.txt (it runs in a subshell).
time_viewer() {
    local times=() rss=0 start end kb
    "$viewer" "$@" >"$out/tables_output.txt"
    for ((i = 0; i < runs; i++)); do
        start=$(now_ns)
        /usr/bin/time -f "%M" -o "$out/tables_rss.txt" "$viewer" "$@" >/dev/null
        end=$(now_ns)
        times+=("$(( (end - start) / 1000 ))")
        kb=$(tail -1 "$out/tables_rss.txt")
        ((kb > rss)) && rss=$kb
    done
    echo "$rss" >"$out/tables_peak_kb.txt"
    printf '%s\n' "${times[@]}" | median | awk '{ printf "%.1f", $1 / 1000 }'
}
time_tables() { time_viewer --tables "$workspace" "$@"; }

echo "== $takes takes: --tables, $runs run(s)"
tables_ms=$(time_tables "$log")
tables_rss_kb=$(cat "$out/tables_peak_kb.txt")
grep -q '^# ' "$out/tables_output.txt" || { echo "bench/tables_bench.sh: --tables printed no table" >&2; exit 1; }
floor_ms=$("$build/bench/dlv-floor" "$log" --runs "$((runs < 3 ? 3 : runs))" | awk '{ print $2 }')
file_bytes=$(stat -c %s "$log")

result=$out/tables_$takes.txt
{
    echo "takes $takes"
    echo "file_bytes $file_bytes"
    echo "floor_ms $floor_ms"
    echo "tables_ms $tables_ms"
    echo "tables_peak_rss_kb $tables_rss_kb"
} >"$result"
if [ "$quick" = 1 ]; then
    echo "--tables on $takes takes: $tables_ms ms (floor $floor_ms ms), peak $((tables_rss_kb / 1024)) MB"
    exit 0
fi

echo "== --report on the same log, $runs run(s)"
report_ms=$(time_viewer --report "$log")

# shellcheck source=bench/duckdb.sh
. "$root/bench/duckdb.sh"
duckdb_setup
if [ "$duckdb" = 1 ]; then
    echo "== DuckDB: the workspace's tables in one query, $runs run(s)"
fi
duckdb_time tables "$log" "$runs" "$workspace" >"$out/tables_duckdb.txt"
duckdb_ms=$(awk '$1 == "duckdb_tables_ms" { print $2 }' "$out/tables_duckdb.txt")

echo "== ten logs at once (the same file ten times), $runs run(s)"
ten_ms=$(time_tables "$log" "$log" "$log" "$log" "$log" "$log" "$log" "$log" "$log" "$log")
ten_rss_kb=$(cat "$out/tables_peak_kb.txt")

if [ -z "$pandas_ms" ]; then
    if /usr/bin/python3 -c 'import pandas' >/dev/null 2>&1; then
        echo "== pandas.read_csv, $runs run(s)"
        pandas_ms=$(/usr/bin/python3 - "$log" "$runs" <<'PY'
import statistics, sys, time
import pandas
path, runs = sys.argv[1], int(sys.argv[2])
pandas.read_csv(path, skiprows=1)
times = []
for _ in range(runs):
    start = time.perf_counter()
    pandas.read_csv(path, skiprows=1)
    times.append((time.perf_counter() - start) * 1000)
print(f"{statistics.median(times):.1f}")
PY
        ) || pandas_ms=n/a
    else
        pandas_ms=n/a
    fi
fi
second=$out/log_${takes}_b.csv
if [ ! -s "$second" ]; then
    echo "== generating $second"
    "$build/tools/dlv-generate-log" "$takes" "$second.part" 2
    mv "$second.part" "$second"
fi
cat "$second" >/dev/null
echo "== edits on one log, then on two pooled, $((runs < 5 ? 5 : runs)) run(s) each"
"$build/bench/dlv-tables-edit" "$log" "$workspace" --runs "$((runs < 5 ? 5 : runs))" --with "$second" \
    >"$out/tables_edit.txt"
edit() { awk -v key="$1" '$1 == key { print $2 }' "$out/tables_edit.txt"; }
{
    cat "$out/tables_edit.txt"
    echo "ten_logs_ms $ten_ms"
    echo "ten_logs_peak_rss_kb $ten_rss_kb"
    echo "pandas_ms $pandas_ms"
    echo "report_ms $report_ms"
    cat "$out/tables_duckdb.txt"
} >>"$result"

awk -v t="$tables_ms" -v f="$floor_ms" -v p="$pandas_ms" -v rss="$tables_rss_kb" -v bytes="$file_bytes" \
    -v takes="$takes" -v r="$report_ms" -v d="$duckdb_ms" -v ten="$ten_ms" -v tenrss="$ten_rss_kb" \
    -v efilter="$(edit edit_filter_ms)" -v eaxis="$(edit edit_axis_ms)" -v echannel="$(edit edit_channel_ms)" \
    -v estat="$(edit edit_stat_ms)" -v pfilter="$(edit pooled_filter_ms)" -v paxis="$(edit pooled_axis_ms)" \
    -v pchannel="$(edit pooled_channel_ms)" -v pstat="$(edit pooled_stat_ms)" -v pdiff="$(edit difference_ms)" \
    -v pfiltercpu="$(edit pooled_filter_cpu_ms)" -v paxiscpu="$(edit pooled_axis_cpu_ms)" \
    -v pchannelcpu="$(edit pooled_channel_cpu_ms)" -v pstatcpu="$(edit pooled_stat_cpu_ms)" \
    -v pdiffcpu="$(edit difference_cpu_ms)" '
function verdict(ok) { return ok ? "ok" : "MISSED" }
# A ratio beside its target, n/a when a figure is.
function ratioLine(label, a, b, op, limit) {
    if (a == "n/a" || b == "n/a" || b <= 0)
        printf "%-34s %12s %12s x %8s\n", label, "n/a", op " " limit, ""
    else
        printf "%-34s %11.2f x %12s x %8s\n", label, a / b, op " " limit,
               verdict(op == ">=" ? a / b >= limit : a / b <= limit)
}
BEGIN {
    limit_mb = 0.3 * bytes / 1048576
    printf "\n--tables, %d takes x 256 fields (%.0f MB), 3 tables, 2 channels, filters\n", takes, bytes / 1048576
    printf "%-34s %12s %14s %8s\n", "figure", "measured", "target", ""
    printf "%-34s %9.1f ms %14s %8s\n", "--tables", t, "", ""
    printf "%-34s %9.1f ms %14s %8s\n", "floor (map + one pass)", f, "", ""
    printf "%-34s %9.1f ms %14s %8s\n", "--report, the same log", r, "", ""
    printf "%-34s %12s %14s %8s\n", "DuckDB: the tables in one query", d == "n/a" ? "n/a" : sprintf("%9.1f ms", d), "", ""
    ratioLine("--tables / floor", t, f, "<=", 5)
    ratioLine("--tables / --report", t, r, "<=", 1)
    ratioLine("DuckDB / --tables", d, t, ">=", 8)
    ratioLine("pandas.read_csv / --tables", p, t, ">=", 10)
    printf "%-34s %9.0f MB %11.0f MB %8s\n", "peak memory", rss / 1024, limit_mb, verdict(rss / 1024 <= limit_mb)
    printf "%-34s %11.2f x %12s x %8s\n", "peak memory / file size", rss * 1024 / bytes, "<= 0.3", ""
    printf "%-34s %9.1f ms %14s %8s\n", "ten logs at once", ten, "", ""
    printf "%-34s %11.2f x %12s %8s\n", "ten logs / one log", ten / t, "<= 10 x", verdict(ten / t <= 10)
    printf "%-34s %9.0f MB %14s %8s\n", "ten logs: peak memory", tenrss / 1024, "", ""
    printf "%-34s %9.1f ms %11s ms %8s\n", "edit: a filter", efilter, "<= 50", verdict(efilter <= 50)
    printf "%-34s %9.1f ms %11s ms %8s\n", "edit: x breakpoints", eaxis, "<= 50", verdict(eaxis <= 50)
    printf "%-34s %9.1f ms %11s ms %8s\n", "edit: a channel (tables reading it)", echannel, "<= 50", verdict(echannel <= 50)
    printf "%-34s %9.1f ms %11s ms %8s\n", "edit: the statistic", estat, "<= 50", verdict(estat <= 50)
    printf "%-34s %9.1f ms %11s ms %8s  (processor %.1f ms)\n", "two logs pooled: a filter", pfilter, "<= 50", verdict(pfilter <= 50), pfiltercpu
    printf "%-34s %9.1f ms %11s ms %8s  (processor %.1f ms)\n", "two logs pooled: x breakpoints", paxis, "<= 50", verdict(paxis <= 50), paxiscpu
    printf "%-34s %9.1f ms %11s ms %8s  (processor %.1f ms)\n", "two logs pooled: a channel", pchannel, "<= 50", verdict(pchannel <= 50), pchannelcpu
    printf "%-34s %9.1f ms %11s ms %8s  (processor %.1f ms)\n", "two logs pooled: the statistic", pstat, "<= 50", verdict(pstat <= 50), pstatcpu
    printf "%-34s %9.1f ms %11s ms %8s  (processor %.1f ms)\n", "difference of two logs", pdiff, "<= 50", verdict(pdiff <= 50), pdiffcpu
}' | tee "$out/tables_summary.txt"
