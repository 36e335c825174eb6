# DuckDB beside the viewer, for bench/run.sh and bench/tables_bench.sh (which
# source this file with $root and $out set). DuckDB comes from the npm
# package @duckdb/node-api, installed once into $out/duckdb (git-ignored)
# when Node (18 or later) and npm are there; bench/duckdb_bench.cjs times it.

duckdb_dir=$out/duckdb
duckdb=0
# The package publishes only versions of the form 1.5.6-r.1, which npm
# never picks for a range such as "1.5": the version is named whole.
duckdb_version=1.5.6-r.1

duckdb_loads() {
    node -e 'require(require("path").join(process.argv[1], "node_modules", "@duckdb", "node-api"))' \
        "$duckdb_dir" >/dev/null 2>&1
}

# Sets duckdb=1 when DuckDB can be timed, installing it first if need be;
# otherwise says why not (its figures are then n/a).
duckdb_setup() {
    if ! command -v node >/dev/null || ! node -e 'process.exit(require("os").availableParallelism ? 0 : 1)' 2>/dev/null; then
        echo "== DuckDB is skipped: Node 18 or later is not installed, so the DuckDB figures are n/a"
        return 0
    fi
    if ! duckdb_loads; then
        if ! command -v npm >/dev/null; then
            echo "== DuckDB is skipped: npm is not installed, so the DuckDB figures are n/a"
            return 0
        fi
        echo "== DuckDB is missing: installing @duckdb/node-api into $duckdb_dir"
        mkdir -p "$duckdb_dir"
        npm install --prefix "$duckdb_dir" --no-audit --no-fund --loglevel=error "@duckdb/node-api@$duckdb_version" \
            >"$out/duckdb_install.log" 2>&1 || true
        if ! duckdb_loads; then
            echo "== DuckDB is skipped: @duckdb/node-api could not be installed (see $out/duckdb_install.log)," \
                 "so the DuckDB figures are n/a"
            return 0
        fi
    fi
    duckdb=1
}

# duckdb_time MODE LOG RUNS [WORKSPACE]: DuckDB's "key value" lines for MODE
# (report or tables), n/a when it is not there or fails.
duckdb_time() {
    local mode=$1 lines
    if [ "$duckdb" = 1 ] && lines=$(node "$root/bench/duckdb_bench.cjs" "$duckdb_dir" "$@"); then
        echo "$lines"
        return 0
    fi
    echo "duckdb_${mode}_ms n/a"
    echo "duckdb_${mode}_peak_rss_kb n/a"
}
