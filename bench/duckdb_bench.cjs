// Times DuckDB (the npm package @duckdb/node-api) on a benchmark log, for
// bench/run.sh to print beside the viewer's figures on the same file:
//
//   node bench/duckdb_bench.cjs MODULES report LOG RUNS
//   node bench/duckdb_bench.cjs MODULES tables LOG RUNS WORKSPACE
//
// MODULES: the folder npm installed @duckdb/node-api into (its node_modules
// folder's parent). report: the maximum, average and minimum of every column,
// as --report gives them. tables: every table of the workspace file in one
// query, as --tables computes them: channels and filters as SQL expressions,
// look-backs as lag() over the takes in file order (the first column, the
// log's time, which only grows), values on the nearest breakpoint as the
// viewer puts them, then the table's statistic and its minimum of hits.
// DuckDB reads the file as a new user would, read_csv with its types
// sniffed, on every core. Prints, as "key value" lines, the median time in
// ms of RUNS queries after a warm-up (duckdb_MODE_ms) and the process's peak
// RSS in KiB (duckdb_MODE_peak_rss_kb). DUCKDB_BENCH_SHOW=1: also DuckDB's
// answer on standard error, to hold beside the viewer's.
"use strict";

const fs = require("fs");
const os = require("os");
const path = require("path");

function fail(message) {
    process.stderr.write(`duckdb_bench: ${message}\n`);
    process.exit(1);
}

const [modules, mode, log, runsText, workspacePath] = process.argv.slice(2);
const runs = Number(runsText);
if (!modules || !["report", "tables"].includes(mode) || !log || !(runs >= 1) || (mode === "tables" && !workspacePath))
    fail("usage: duckdb_bench.cjs MODULES report|tables LOG RUNS [WORKSPACE]");

const { DuckDBInstance } = require(path.join(path.resolve(modules), "node_modules", "@duckdb", "node-api"));

const quoted = (name) => `"${name.replaceAll('"', '""')}"`;
const text = (value) => `'${value.replaceAll("'", "''")}'`;
const source = `read_csv(${text(log)}, skip = 1, header = true)`;

// The log's second line: its names, as the viewer reads them (up to the
// first empty one).
function logNames() {
    const fd = fs.openSync(log, "r");
    const head = Buffer.alloc(1 << 20);
    const got = fs.readSync(fd, head, 0, head.length, 0);
    fs.closeSync(fd);
    const lines = head.subarray(0, got).toString("latin1").split(/\r\n|\r|\n/);
    if (lines.length < 2)
        fail(`${log}: no names line`);
    const names = lines[1].split(",");
    const empty = names.indexOf("");
    return empty < 0 ? names : names.slice(0, empty);
}

// Every column's maximum, average and minimum; a column DuckDB does not
// take for numbers is averaged over the fields that are.
function reportQuery(columns) {
    const numeric = /^(TINYINT|SMALLINT|INTEGER|BIGINT|HUGEINT|FLOAT|DOUBLE|DECIMAL)/;
    const parts = columns.map(({ name, type }) => {
        const c = quoted(name);
        const average = numeric.test(type) ? `avg(${c})` : `avg(TRY_CAST(${c} AS DOUBLE))`;
        return `max(${c}), ${average}, min(${c})`;
    });
    return `SELECT ${parts.join(", ")} FROM ${source}`;
}

// An expression of the workspace as SQL: names of the log or of channels
// (a channel stands for its expression), numbers, arithmetic, comparisons,
// && || !, abs/min/max/sqrt/exp/ln/log10, and look-backs of log names. What
// else the viewer knows fails with a message: the benchmark needs no more.
function sqlExpression(expr, names, channels) {
    const tokens = expr.match(/\{[^}]*\}|#\d+|[A-Za-z_][A-Za-z0-9_]*|\d*\.?\d+(?:[eE][+-]?\d+)?|&&|\|\||[<>=!]=|\[-\d+\]|\S/g) || [];
    const functions = { abs: "abs", sqrt: "sqrt", exp: "exp", ln: "ln", log10: "log10", min: "least", max: "greatest" };
    let out = "";
    for (let i = 0; i < tokens.length; ++i) {
        const token = tokens[i];
        const back = tokens[i + 1] && /^\[-\d+\]$/.test(tokens[i + 1]) ? Number(tokens[i + 1].slice(2, -1)) : 0;
        let name = null;
        if (token.startsWith("{"))
            name = token.slice(1, -1);
        else if (token.startsWith("#"))
            name = names[Number(token.slice(1))];
        else if (/^[A-Za-z_]/.test(token) && tokens[i + 1] === "(" && functions[token]) {
            out += ` ${functions[token]}`;
            continue;
        } else if (/^[A-Za-z_]/.test(token))
            name = token;
        if (name !== null) {
            if (channels.has(name)) {
                if (back)
                    fail(`a look-back of channel ${name} is not written for DuckDB`);
                out += ` (${channels.get(name)})`;
            } else if (names.includes(name)) {
                out += back ? ` lag(${quoted(name)}, ${back}) OVER takes` : ` ${quoted(name)}`;
            } else {
                fail(`unknown name ${name} in "${expr}"`);
            }
            if (back)
                ++i;
            continue;
        }
        const operators = { "&&": "AND", "||": "OR", "==": "=", "!": "NOT" };
        if (token === "?" || token === ":" || token.startsWith("["))
            fail(`"${expr}" uses what is not written for DuckDB`);
        out += ` ${operators[token] || token}`;
    }
    return out.trim();
}

// The breakpoint index of value on axis, as the viewer bins: the nearest
// breakpoint, the lower one at a tie, NULL more than half the first gap
// below the first breakpoint or half the last gap above the last.
function binExpression(value, axis) {
    if (axis.length === 1)
        return `CASE WHEN isfinite(${value}) THEN 0 END`;
    const n = axis.length;
    const below = axis[0] - (axis[1] - axis[0]) / 2;
    const above = axis[n - 1] + (axis[n - 1] - axis[n - 2]) / 2;
    let sql = `CASE WHEN ${value} IS NULL OR NOT isfinite(${value}) OR ${value} < ${below} OR ${value} > ${above} THEN NULL`;
    for (let i = 0; i + 1 < n; ++i)
        sql += ` WHEN ${value} - ${axis[i]} <= ${axis[i + 1]} - ${value} THEN ${i}`;
    return `${sql} ELSE ${n - 1} END`;
}

function tablesQuery(workspace, names) {
    const channels = new Map();
    for (const channel of workspace.channels || [])
        channels.set(channel.name, sqlExpression(channel.expr, names, channels));
    const columns = [];
    const selects = workspace.tables.map((table, t) => {
        const e = (expr) => `(${sqlExpression(expr, names, channels)})::DOUBLE`;
        columns.push(`${e(table.x)} AS x${t}`, `${table.y ? e(table.y) : "0"} AS y${t}`, `${e(table.z)} AS z${t}`,
                     `${table.filter ? e(table.filter) : "1"} AS f${t}`);
        const statistics = {
            mean: `avg(z)`, count: `count(z)`, min: `min(z)`, max: `max(z)`, median: `median(z)`,
            stddev: `stddev_samp(z)`, "diff%": `(avg(z) / ${table.target} - 1) * 100`,
        };
        if (!statistics[table.stat])
            fail(`table ${table.name}: statistic ${table.stat} is not written for DuckDB`);
        const yBin = table.y ? binExpression(`y${t}`, table.yAxis) : "0";
        return `SELECT ${t} AS t, row, col, ${statistics[table.stat]} AS value, count(*) AS hits FROM (` +
               `SELECT ${yBin} AS row, ${binExpression(`x${t}`, table.xAxis)} AS col, z${t} AS z FROM takes ` +
               `WHERE f${t} <> 0 AND isfinite(z${t})) WHERE row IS NOT NULL AND col IS NOT NULL ` +
               `GROUP BY row, col HAVING count(*) >= ${table.minHits || 1}`;
    });
    return `WITH takes AS (SELECT ${columns.join(", ")} FROM ${source} WINDOW takes AS (ORDER BY ${quoted(names[0])})) ` +
           `${selects.join(" UNION ALL ")} ORDER BY t, row, col`;
}

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    const middle = sorted.length >> 1;
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

async function main() {
    const instance = await DuckDBInstance.create(":memory:", { threads: String(os.availableParallelism()) });
    const connection = await instance.connect();
    let sql;
    if (mode === "report") {
        const described = await connection.runAndReadAll(`DESCRIBE SELECT * FROM ${source}`);
        sql = reportQuery(described.getRowObjects().map((row) => ({ name: row.column_name, type: row.column_type })));
    } else {
        sql = tablesQuery(JSON.parse(fs.readFileSync(workspacePath, "utf8")), logNames());
    }
    const first = await connection.runAndReadAll(sql);  // the warm-up, and a check that it answers
    if (first.currentRowCount === 0 && mode === "report")
        fail(`${log}: DuckDB gave no row`);
    if (process.env.DUCKDB_BENCH_SHOW)  // to compare its answer with the viewer's by eye
        for (const row of first.getRowsJS())
            process.stderr.write(`${row.join("\t")}\n`);
    const times = [];
    for (let run = 0; run < runs; ++run) {
        const start = process.hrtime.bigint();
        await connection.runAndReadAll(sql);
        times.push(Number(process.hrtime.bigint() - start) / 1e6);
    }
    process.stdout.write(`duckdb_${mode}_ms ${median(times).toFixed(2)}\n`);
    process.stdout.write(`duckdb_${mode}_peak_rss_kb ${process.resourceUsage().maxRSS}\n`);
}

main().catch((error) => fail(error.message));
