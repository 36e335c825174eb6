# Prints the benchmark tables from the result files of bench/run.sh, one file
# per log in order of size, each holding "key value" lines as dlv-bench writes
# them (plus pandas_ms and DuckDB's figures from the script). Values "n/a"
# stay "n/a".
#
#   awk [-v targets=1] [-v kind=wide|tall] -f bench/tables.awk bench/out/result_1000.txt ...
#
# targets=1 adds the targets on the largest log: those of wide logs (256
# fields) or of tall ones (10 fields, millions of takes).

FNR == 1 { n++ }
{ v[n, $1] = $2 }
$1 == "file_bytes" { v[n, "file_kb"] = $2 / 1024 }

function isnum(x) { return x != "" && x != "n/a" }
function cell(x, fmt) { return isnum(x) ? sprintf(fmt, x) : "n/a" }
function ratio(a, b) { return isnum(a) && isnum(b) && b > 0 ? a / b : "n/a" }
function mb(kb) { return isnum(kb) ? kb / 1024 : "n/a" }
function grouped(x,    s, out) {
    s = sprintf("%d", x)
    out = ""
    while (length(s) > 3) {
        out = "," substr(s, length(s) - 2) out
        s = substr(s, 1, length(s) - 3)
    }
    return s out
}

function header(title,    i) {
    printf "\n%s\n%-44s", title, ""
    for (i = 1; i <= n; i++)
        printf " %12s", grouped(v[i, "takes"])
    printf "   takes\n"
}

function row(label, key, fmt, scale,    i, x) {
    printf "%-44s", label
    for (i = 1; i <= n; i++) {
        x = v[i, key]
        if (scale == "mb") x = mb(x)
        if (scale == "fmb") x = isnum(x) ? x / 1048576 : "n/a"
        printf " %12s", cell(x, fmt)
    }
    printf "\n"
}

function ratioRow(label, a, b,    i, x, y) {
    printf "%-44s", label
    for (i = 1; i <= n; i++) {
        x = v[i, a]; y = v[i, b]
        printf " %12s", cell(ratio(x, y), "%.2f")
    }
    printf "\n"
}

# Cost per take of a figure: microseconds (times) or bytes (memory), and the
# per-take cost of the largest log against that of the next smaller one, which
# stays near 1 for linear growth and falls for costs that do not grow.
function growthRow(label, key, unit,    i, x, first, last) {
    printf "%-44s", label
    first = ""; last = ""
    for (i = 1; i <= n; i++) {
        x = v[i, key]
        if (isnum(x) && v[i, "takes"] > 0) {
            x = unit == "B" ? x * 1024 / v[i, "takes"] : x * 1000 / v[i, "takes"]
            if (i == (n > 1 ? n - 1 : 1)) first = x
            if (i == n) last = x
        } else {
            x = "n/a"
        }
        printf " %12s", cell(x, unit == "B" ? "%.0f" : "%.4f")
    }
    printf "   %s", cell(ratio(last, first), "%.2f")
    printf "\n"
}

# One target line: the figure, whether it is met and, when an aim is given,
# whether the aim is met too. Lower is better unless op is ">=".
function target(label, x, op, limit, aim,    met, aimed) {
    if (!isnum(x)) {
        printf "  %-46s %10s   n/a\n", label, "n/a"
        return
    }
    met = op == ">=" ? x >= limit : (op == "<" ? x < limit : x <= limit)
    aimed = aim == "" ? "" : ((op == ">=" ? x >= aim : x <= aim) ? ", aim met" : ", aim not met")
    printf "  %-46s %10.2f   %s%s\n", label, x, met ? "met" : "MISSED", aimed
}

END {
    header("Figures (ms unless noted; median of the runs after a warm-up)")
    row("file size (MB)", "file_bytes", "%.1f", "fmb")
    row("read into the store (readDataLog)", "read_ms", "%.2f")
    row("DrawGeneral incl. AutoSizeColumns", "draw_general_ms", "%.2f")
    row("DrawBLM", "draw_blm_ms", "%.2f")
    row("ShowRuntime", "show_runtime_ms", "%.2f")
    row("open-to-ready (openFile .. window painted)", "open_to_ready_ms", "%.2f")
    row("  the same, first open of a fresh process", "first_open_ms", "%.2f")
    row("DrawCurve + paint of Picture1", "draw_curve_ms", "%.2f")
    row("curve click (mouse release) + paint", "curve_click_ms", "%.2f")
    row("Tables tab: default table for a new log", "tables_default_ms", "%.2f")
    row("Tables tab: recompute after a filter edit", "tables_filter_recompute_ms", "%.2f")
    row("Grid1 viewport repaint, middle of the log", "grid_repaint_ms", "%.2f")
    row("  first curve of a fresh process", "first_curve_ms", "%.2f")
    row("peak RSS over the first Open (MB)", "peak_rss_open_kb", "%.1f", "mb")
    row("  the same, first curve included (MB)", "peak_rss_curve_kb", "%.1f", "mb")
    row("peak RSS of the process (MB)", "peak_rss_kb", "%.1f", "mb")
    row("datalog-viewer --report, whole process", "report_ms", "%.2f")
    row("  its CPU time, user + system", "report_cpu_ms", "%.2f")
    row("  its peak RSS (MB)", "report_peak_rss_kb", "%.1f", "mb")
    row("floor: mmap(MAP_POPULATE) + AVX2 count", "floor_ms", "%.2f")
    row("plain floor: mmap + a plain byte loop", "floor_plain_ms", "%.2f")
    row("pandas.read_csv", "pandas_ms", "%.2f")
    row("DuckDB: max/avg/min of every column", "duckdb_report_ms", "%.2f")
    row("  its peak RSS (MB)", "duckdb_report_peak_rss_kb", "%.1f", "mb")
    printf "ratios:\n"
    ratioRow("  open-to-ready / floor", "open_to_ready_ms", "floor_ms")
    ratioRow("  first open / floor", "first_open_ms", "floor_ms")
    ratioRow("  pandas / open-to-ready", "pandas_ms", "open_to_ready_ms")
    ratioRow("  peak RSS over Open / file size", "peak_rss_open_kb", "file_kb")
    ratioRow("  the same, first curve included", "peak_rss_curve_kb", "file_kb")
    ratioRow("  first open / plain floor", "first_open_ms", "floor_plain_ms")
    ratioRow("  --report / floor", "report_ms", "floor_ms")
    ratioRow("  --report / plain floor", "report_ms", "floor_plain_ms")
    ratioRow("  --report CPU time / floor", "report_cpu_ms", "floor_ms")
    ratioRow("  pandas / --report", "pandas_ms", "report_ms")
    ratioRow("  DuckDB / --report", "duckdb_report_ms", "report_ms")
    ratioRow("  --report peak RSS / file size", "report_peak_rss_kb", "file_kb")

    header("Growth: cost per take (us per take; memory in bytes per take); last column: largest log vs the next smaller, 1.00 = linear")
    growthRow("read into the store", "read_ms", "us")
    growthRow("DrawGeneral incl. AutoSizeColumns", "draw_general_ms", "us")
    growthRow("DrawBLM", "draw_blm_ms", "us")
    growthRow("ShowRuntime", "show_runtime_ms", "us")
    growthRow("open-to-ready", "open_to_ready_ms", "us")
    growthRow("DrawCurve + paint", "draw_curve_ms", "us")
    growthRow("curve click + paint", "curve_click_ms", "us")
    growthRow("Grid1 viewport repaint", "grid_repaint_ms", "us")
    growthRow("peak RSS over the first Open", "peak_rss_open_kb", "B")
    growthRow("  the same, first curve included", "peak_rss_curve_kb", "B")
    growthRow("--report, whole process", "report_ms", "us")
    growthRow("  its peak RSS", "report_peak_rss_kb", "B")
    growthRow("floor", "floor_ms", "us")
    growthRow("plain floor", "floor_plain_ms", "us")
    growthRow("pandas.read_csv", "pandas_ms", "us")
    growthRow("DuckDB: max/avg/min of every column", "duckdb_report_ms", "us")

    if (targets) {
        printf "\nTargets on the %s-take log (informative; the script asserts none)\n", grouped(v[n, "takes"])
        if (kind == "tall") {
            target("peak RSS, Open and first curve <= 1.5 x file", ratio(v[n, "peak_rss_curve_kb"], v[n, "file_kb"]), "<=", 1.5)
            target("first curve of the slowest channel < 25 ms", v[n, "first_curve_ms"], "<", 25)
            target("DuckDB >= 4 x --report", ratio(v[n, "duckdb_report_ms"], v[n, "report_ms"]), ">=", 4)
            target("first open <= 8 x plain floor", ratio(v[n, "first_open_ms"], v[n, "floor_plain_ms"]), "<=", 8)
            target("--report <= 6 x plain floor", ratio(v[n, "report_ms"], v[n, "floor_plain_ms"]), "<=", 6)
            target("  (against the AVX2 floor: first open <= 8 x)", ratio(v[n, "first_open_ms"], v[n, "floor_ms"]), "<=", 8)
            target("  (against the AVX2 floor: --report <= 6 x)", ratio(v[n, "report_ms"], v[n, "floor_ms"]), "<=", 6)
            target("--report peak RSS <= 1.3 x file size", ratio(v[n, "report_peak_rss_kb"], v[n, "file_kb"]), "<=", 1.3)
        } else {
            target("open-to-ready <= 2.5 x floor", ratio(v[n, "open_to_ready_ms"], v[n, "floor_ms"]), "<=", 2.5)
            target("pandas >= 10 x open-to-ready", ratio(v[n, "pandas_ms"], v[n, "open_to_ready_ms"]), ">=", 10)
            target("peak RSS over Open <= 2 x file size", ratio(v[n, "peak_rss_open_kb"], v[n, "file_kb"]), "<=", 2)
            target("DrawCurve + paint < 16 ms (aim 4 ms)", v[n, "draw_curve_ms"], "<", 16, 4)
            target("curve click + paint < 16 ms (aim 4 ms)", v[n, "curve_click_ms"], "<", 16, 4)
            target("Grid1 viewport repaint < 16 ms (aim 4 ms)", v[n, "grid_repaint_ms"], "<", 16, 4)
            target("Tables recompute after a filter edit < 50 ms", v[n, "tables_filter_recompute_ms"], "<", 50)
            target("--report <= 4 x plain floor", ratio(v[n, "report_ms"], v[n, "floor_plain_ms"]), "<=", 4)
            target("--report <= 3 x floor", ratio(v[n, "report_ms"], v[n, "floor_ms"]), "<=", 3)
            target("DuckDB >= 8 x --report", ratio(v[n, "duckdb_report_ms"], v[n, "report_ms"]), ">=", 8)
            target("pandas >= 10 x --report", ratio(v[n, "pandas_ms"], v[n, "report_ms"]), ">=", 10)
            target("--report peak RSS <= 1.3 x file size", ratio(v[n, "report_peak_rss_kb"], v[n, "file_kb"]), "<=", 1.3)
        }
    }
}
