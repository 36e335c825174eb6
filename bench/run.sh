#!/usr/bin/env bash
# Benchmarks the viewer on big generated logs and prints the figures, their
# ratios to a floor and to pandas, and how they grow with the number of takes.
#
#   bench/run.sh [--quick] [--build-dir DIR] [--runs N]
#
# Builds dlv-bench, datalog-viewer and dlv-generate-log (RelWithDebInfo) into
# build-bench/, or into DIR; generates once into bench/out/ (git-ignored;
# about 800 MB, kept for later runs) wide logs of 256 fields and 1,000,
# 10,000, 100,000 and 300,000 takes, and tall logs of 10 fields at 1 kHz
# with 360,000 and 3,600,000 takes (one hour); reads each log once so it is
# in the page cache; then for each log runs one dlv-bench process (so that
# its peak memory belongs to that log alone), which also runs
# `datalog-viewer --report` as processes of their own, and pandas.read_csv on
# the same file. dlv-bench first checks what the window and the report show
# against a plain reference reading and fails on any difference, which fails
# this script.
#
# Runs: median of 5 runs after a warm-up (3 for logs of 300,000 takes or
# more), or N. --quick: the 10,000-take wide log and a 100,000-take tall log,
# one run each, no pandas; asserts no timing (for CI: well under a minute once
# built).
#
# pandas comes from Debian's python3-pandas (/usr/bin/python3; a python3 found
# first on PATH may lack it). When it is missing the script installs it if run
# as root, and otherwise says so and prints n/a for the pandas figures.
# DuckDB (max/avg/min of every column, as --report gives them) comes from the
# npm package @duckdb/node-api, installed into bench/out/duckdb when Node and
# npm are there (see bench/duckdb.sh); without them its figures are n/a.
# Then two logs in the real window (dlv-logs-bench: switching, the overlay,
# Align, the pooled table, memory after closing) and the automatic alignment
# (dlv-align-bench), beside their targets.
# Results: bench/out/result_TAKES.txt ("key value" lines) and bench/out/summary.txt.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
out=$root/bench/out
quick=0
runs=""
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --build-dir) build=$(realpath -m "${2:?--build-dir needs a directory}"); shift ;;
        --runs) runs=${2:?--runs needs a number}; shift ;;
        -h|--help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "bench/run.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
    esac
    shift
done

export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
mkdir -p "$out"

echo "== building dlv-bench, datalog-viewer and dlv-generate-log in $build"
build_log=$out/build.log
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" --target dlv-bench datalog-viewer dlv-generate-log -j2; } >"$build_log" 2>&1; then
    cat "$build_log" >&2
    echo "bench/run.sh: the build failed" >&2
    exit 1
fi
bench=$build/bench/dlv-bench
viewer=$build/src/datalog-viewer
generate=$build/tools/dlv-generate-log

# Logs by name: TAKES for a wide log, TAKESx10 for a tall one.
if [ "$quick" = 1 ]; then
    wide=(10000)
    tall=(100000x10)
else
    wide=(1000 10000 100000 300000)
    tall=(360000x10 3600000x10)
fi

runs_for() {
    if [ -n "$runs" ]; then echo "$runs"
    elif [ "$quick" = 1 ]; then echo 1
    elif [ "$1" -ge 300000 ]; then echo 3
    else echo 5
    fi
}

have_pandas() { /usr/bin/python3 -c 'import pandas' >/dev/null 2>&1; }

pandas=0
if [ "$quick" = 0 ]; then
    if have_pandas; then
        pandas=1
    elif [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        echo "== pandas is missing: installing python3-pandas"
        apt-get update -qq >/dev/null 2>&1 || true
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-pandas >/dev/null 2>&1 || true
        have_pandas && pandas=1
    fi
    if [ "$pandas" = 0 ]; then
        echo "== pandas is missing (Debian's python3-pandas is not installed and could not be installed)," \
             "so the pandas figures are n/a"
    fi
fi

# shellcheck source=bench/duckdb.sh
. "$root/bench/duckdb.sh"
[ "$quick" = 0 ] && duckdb_setup

# Times pandas.read_csv inside Python: a warm-up, then the median of RUNS reads.
pandas_script='
import statistics, sys, time
import pandas
path, runs, takes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
frame = pandas.read_csv(path, skiprows=1)
if len(frame) != takes:
    print(f"pandas read {len(frame)} rows, the log has {takes} takes", file=sys.stderr)
del frame
times = []
for _ in range(runs):
    start = time.perf_counter()
    frame = pandas.read_csv(path, skiprows=1)
    times.append((time.perf_counter() - start) * 1000)
    del frame
print(f"{statistics.median(times):.2f}")
'

# bench_log NAME: generates log_NAME.csv once, runs dlv-bench (with the
# report) and pandas on it, and leaves the figures in result_NAME.txt.
bench_log() {
    local name=$1 takes=${1%%x*} log=$out/log_$1.csv result=$out/result_$1.txt
    if [ ! -s "$log" ]; then
        echo "== generating $log"
        if [ "$name" = "$takes" ]; then
            "$generate" "$takes" "$log.part"
        else
            "$generate" "$takes" "$log.part" --fields "${name#*x}" --rate 1000
        fi
        mv "$log.part" "$log"
    fi
    cat "$log" >/dev/null  # into the page cache, so that every reader starts alike
    local n
    n=$(runs_for "$takes")
    echo "== $name: dlv-bench and --report, $n run(s)"
    if ! "$bench" "$log" --runs "$n" --verbose --viewer "$viewer" >"$result" 2>"$out/bench_$name.log"; then
        cat "$out/bench_$name.log" >&2
        echo "bench/run.sh: dlv-bench failed on $log" >&2
        exit 1
    fi
    grep -E '^dlv-bench: ([0-9]+|report: [0-9]+) checks' "$out/bench_$name.log" || true
    local pandas_ms=n/a
    if [ "$pandas" = 1 ]; then
        echo "== $name: pandas.read_csv, $n run(s)"
        pandas_ms=$(/usr/bin/python3 -c "$pandas_script" "$log" "$n" "$takes") || pandas_ms=n/a
    fi
    echo "pandas_ms $pandas_ms" >>"$result"
    if [ "$duckdb" = 1 ]; then
        echo "== $name: DuckDB, max/avg/min of every column, $n run(s)"
    fi
    duckdb_time report "$log" "$n" >>"$result"
}

wide_results=()
for name in "${wide[@]}"; do
    bench_log "$name"
    wide_results+=("$out/result_$name.txt")
done
tall_results=()
for name in "${tall[@]}"; do
    bench_log "$name"
    tall_results+=("$out/result_$name.txt")
done

targets=$([ "$quick" = 0 ] && echo 1 || echo 0)
{
    echo "Wide logs: 256 fields"
    awk -v targets="$targets" -v kind=wide -f "$root/bench/tables.awk" "${wide_results[@]}"
    echo
    echo "Tall logs: 10 fields, 1,000 takes a second"
    awk -v targets="$targets" -v kind=tall -f "$root/bench/tables.awk" "${tall_results[@]}"
} | tee "$out/summary.txt"

# --tables beside its own targets (bench/tables_bench.sh).
if [ "$quick" = 1 ]; then
    bash "$root/bench/tables_bench.sh" --quick --build-dir "$build"
else
    pandas_300k=$(awk '$1 == "pandas_ms" { print $2 }' "$out/result_300000.txt" 2>/dev/null || true)
    bash "$root/bench/tables_bench.sh" --build-dir "$build" ${runs:+--runs "$runs"} \
        ${pandas_300k:+--pandas-ms "$pandas_300k"}
fi

# Opening a generated MLG log beside its own targets (bench/mlg_bench.sh).
if [ "$quick" = 1 ]; then
    bash "$root/bench/mlg_bench.sh" --quick --build-dir "$build"
else
    bash "$root/bench/mlg_bench.sh" --build-dir "$build" ${runs:+--runs "$runs"}
fi

# A ';'-separated log with decimal commas beside the own format (bench/text_bench.sh).
if [ "$quick" = 1 ]; then
    bash "$root/bench/text_bench.sh" --quick --build-dir "$build"
else
    bash "$root/bench/text_bench.sh" --build-dir "$build" ${runs:+--runs "$runs"}
fi

# Several logs in one window (dlv-logs-bench) and the automatic alignment on
# its own (dlv-align-bench): the widest log beside a second one of another
# seed, or the quick run's log beside one of its size.
echo "== several logs in one window and the automatic alignment"
if ! cmake --build "$build" --target dlv-logs-bench dlv-align-bench -j2 >>"$build_log" 2>&1; then
    cat "$build_log" >&2
    echo "bench/run.sh: the build of dlv-logs-bench failed" >&2
    exit 1
fi
first=${wide[${#wide[@]} - 1]}
second=$out/log_${first}_seed2.csv
if [ ! -s "$second" ]; then
    "$generate" "$first" "$second.part" 2 >/dev/null
    mv "$second.part" "$second"
fi
logs_runs=$([ "$quick" = 1 ] && echo 1 || echo "${runs:-7}")
"$build/bench/dlv-logs-bench" "$out/log_$first.csv" "$second" --runs "$logs_runs" | tee "$out/logs_$first.txt"
"$build/bench/dlv-align-bench" "$out/log_$first.csv" --runs "$logs_runs" --shift $((first / 5)) | tee "$out/align_$first.txt"
