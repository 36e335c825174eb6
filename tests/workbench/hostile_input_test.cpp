// Workspaces, expressions and tables under hostile input: nesting that would
// run the stack out, NUL characters and bytes, files that are no files,
// thousands of chained channels, sums beyond the largest double.
#include "app/tables_command.h"
#include "support/temp_logs.h"
#include "workbench/workspace_file.h"
#include "workbench_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <sstream>

namespace {

using namespace dlv::workbench;
using dlvtest::makeLog;

std::string errorOf(std::string_view json)
{
    const WorkspaceResult result = parseWorkspace(json);
    EXPECT_FALSE(result.ok()) << json.substr(0, 200);
    return result.error;
}

// `open` n times, then `inner`, then `close` n times.
std::string nested(const std::string& open, const std::string& inner, const std::string& close, int n)
{
    std::string text;
    text.reserve((open.size() + close.size()) * static_cast<std::size_t>(n) + inner.size());
    for (int i = 0; i < n; ++i)
        text += open;
    text += inner;
    for (int i = 0; i < n; ++i)
        text += close;
    return text;
}

TEST(HostileWorkspace, DeepNestingIsRefusedWithItsLineAndColumn)
{
    // 60,000 objects deep (360 KB), as in the report: refused where the
    // 257th level opens, not a stack overflow in a copy of the charts.
    const std::string objects = "{\"tables\": [], \"charts\": " + nested("{\"a\":", "1", "}", 60000) + "}";
    EXPECT_EQ(errorOf(objects), "bad JSON at line 1, column 1301: lists and objects nest more than 256 deep");
    // Lists a million deep, on a later line.
    const std::string lists = "{\"tables\": [],\n \"charts\": " + nested("[", "", "]", 1000000) + "}";
    EXPECT_EQ(errorOf(lists), "bad JSON at line 2, column 267: lists and objects nest more than 256 deep");
    // Brackets inside texts are no nesting; 256 levels are still read.
    const std::string texts = "{\"tables\": [], \"charts\": {\"panes\": [], \"note\": \"" + std::string(1000, '[') + "\"}}";
    EXPECT_TRUE(parseWorkspace(texts).ok());
    const std::string limit = "{\"tables\": [], \"charts\": " + nested("[", "", "]", 255) + "}";
    EXPECT_TRUE(parseWorkspace(limit).ok()) << parseWorkspace(limit).error;
    EXPECT_FALSE(parseWorkspace("{\"tables\": [], \"charts\": " + nested("[", "", "]", 256) + "}").ok());
    // A syntax error before the depth is reached is the error told.
    EXPECT_EQ(errorOf("{\"tables\": [}" + nested("[", "", "]", 1000)).substr(0, 30), "bad JSON at line 1, column 13:");
}

TEST(HostileWorkspace, NulCharactersAndBytesAreErrorsWhereverTheyStand)
{
    // \u0000 in an expression, a name, a charts text and a key: named with
    // the place and the column of the NUL.
    EXPECT_EQ(errorOf(R"({"tables": [{"name": "T", "x": "A \u0000+100", "xAxis": [1], "z": "A", "stat": "mean"}]})"),
              "table \"T\", x: a NUL character at column 3 of \"A \\u0000+100\"");
    EXPECT_EQ(errorOf(R"({"tables": [], "channels": [{"name": "ok", "expr": "1"}, {"name": "b\u0000", "expr": "1"}]})"),
              "channel \"b\\u0000\", name: a NUL character at column 2 of \"b\\u0000\"");
    EXPECT_EQ(errorOf(R"({"tables": [], "charts": {"filter": "Ä < 1 \u0000|| 1", "panes": []}})"),
              "charts.filter: a NUL character at column 7 of \"Ä < 1 \\u0000|| 1\"");
    EXPECT_EQ(errorOf(R"({"tables": [], "charts": {"pa\u0000nes": []}})"),
              "charts: a NUL character at column 3 of the key \"pa\\u0000nes\"");
    // Raw NUL bytes: inside the JSON, and after a whole workspace, where the
    // JSON library would stop reading and ignore the rest.
    using namespace std::string_literals;
    EXPECT_EQ(errorOf("{\"tables\": [\0]}"s), "bad JSON at line 1, column 13: a NUL byte, which JSON does not allow");
    EXPECT_EQ(errorOf("{\"tables\": []}\n\0{\"x\": 1}"s),
              "bad JSON at line 2, column 1: a NUL byte after the end of the workspace");
    EXPECT_EQ(errorOf(std::string(64, '\0')), "bad JSON at line 1, column 1: a NUL byte, which JSON does not allow");
}

TEST(HostileWorkspace, RepeatedKeysInsideChartsNameTheirPlace)
{
    EXPECT_EQ(errorOf(R"({"tables": [], "charts": {"panes": [{"channels": ["A"]},
                          {"type": "scatter", "x": "A", "x": "B", "y": "C"}]}})"),
              "charts.panes[1]: key \"x\" appears twice");
    EXPECT_EQ(errorOf(R"({"tables": [], "charts": {"panes": [], "panes": []}})"), "charts: key \"panes\" appears twice");
}

TEST(HostileExpression, NulCharacterIsNamedAtItsColumn)
{
    const auto log = makeLog("A,I", {"1,0", "2,5"});
    const NameScope scope(log->ParamNames());
    using namespace std::string_literals;
    const CompileResult result = compileExpression("I < 1 \0|| 1"s, scope);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error.reason, "a NUL character");
    EXPECT_EQ(result.error.column, 7);
    EXPECT_EQ(errorMessage("charts, filter", result.error),
              "charts, filter: a NUL character at column 7 of \"I < 1 \\x00|| 1\"");
}

TEST(HostileExpression, RepeatedAndLoneOperatorsAreNamedAtTheirPlace)
{
    const auto log = makeLog("A,B", {"1,2"});
    const NameScope scope(log->ParamNames());
    struct Case {
        std::string expr;
        std::string reason;
        int column;
    };
    const Case cases[] = {
        {"--A", "unexpected \"-\"", 2},
        {"- -A", "unexpected \"-\"", 3},
        {"!!A", "unexpected \"!\"", 2},
        {"!-A", "unexpected \"-\"", 2},
        {"A + !", "\"!\" needs a value after it", 5},
        {"!", "\"!\" needs a value after it", 1},
        {"-", "\"-\" needs a value after it", 1},
    };
    for (const Case& c : cases) {
        const CompileResult result = compileExpression(c.expr, scope);
        ASSERT_FALSE(result.ok()) << c.expr;
        EXPECT_EQ(result.error.reason, c.reason) << c.expr;
        EXPECT_EQ(result.error.column, c.column) << c.expr;
        EXPECT_EQ(result.error.reason.find("nternal"), std::string::npos) << c.expr;
    }
    EXPECT_TRUE(compileExpression("-(-A)", scope).ok());
    EXPECT_TRUE(compileExpression("!(!A)", scope).ok());
}

// A workspace of n channels c0 .. c(n-1), each c(i) = c(i-1) + 1 when
// chained (c0 = A + 1), each A + i otherwise; one table of the last.
std::string manyChannels(int n, bool chained)
{
    std::string json = "{\"channels\": [";
    for (int i = 0; i < n; ++i) {
        json += i ? ", " : "";
        json += "{\"name\": \"c" + std::to_string(i) + "\", \"expr\": \"" +
                (chained && i > 0 ? "c" + std::to_string(i - 1) + " + 1" : "A + " + std::to_string(i + 1)) + "\"}";
    }
    return json + "], \"tables\": [{\"name\": \"T\", \"x\": \"A\", \"xAxis\": [1, 2], \"z\": \"c" +
           std::to_string(n - 1) + "\", \"stat\": \"mean\"}]}";
}

TEST(HostileChannels, ThousandsChainedAndIndependentCompute)
{
    // 10,000 chained: keys stay short (each names the channels it reads by
    // number), and nothing recurses once a channel.
    const auto log = makeLog("A", {"1", "2"});
    const Workspace chained = dlvtest::parsed(manyChannels(10000, true));
    const Program program = compileWorkspace(chained, log->ParamNames());
    ASSERT_TRUE(program.ok());
    EXPECT_LT(program.channels.back().key.size(), 64u);
    const auto results = dlvtest::computeOver(chained, {log});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(cellText(chained.tables[0], results[0].cell(0, 0)), "10001.00");
    EXPECT_EQ(cellText(chained.tables[0], results[0].cell(0, 1)), "10002.00");

    // Equal definitions keep equal keys across compilations, so edits still
    // find the cached columns; a changed link changes every key after it.
    const Program again = compileWorkspace(chained, log->ParamNames());
    EXPECT_EQ(again.channels.back().key, program.channels.back().key);
    Workspace edited = chained;
    edited.channels[5000].expr = "c4999 + 2";
    const Program changed = compileWorkspace(edited, log->ParamNames());
    EXPECT_EQ(changed.channels[4999].key, program.channels[4999].key);
    EXPECT_NE(changed.channels.back().key, program.channels.back().key);

    // 100,000 independent channels: the duplicate-name check is a set.
    const Workspace wide = dlvtest::parsed(manyChannels(100000, false));
    EXPECT_EQ(wide.channels.size(), 100000u);
    std::string twice = manyChannels(3, false);
    twice.replace(twice.find("\"c2\""), 4, "\"c0\"");
    EXPECT_EQ(errorOf(twice), "channel \"c0\": a channel of this name comes before");
    // Past the limit: said plainly.
    EXPECT_EQ(errorOf(manyChannels(100001, false)), "workspace: channels has 100001 channels, more than 100000");
}

TEST(HostileTables, SumsBeyondTheLargestDoubleFollowTheReportsRule)
{
    const auto log = makeLog("X,Z", {"1,1.7e308", "1,1.7e308", "1,1e308", "2,1e200", "2,-1e200", "3,1e308",
                                     "3,-1e308"});
    const Workspace workspace = dlvtest::parsed(R"({"tables": [
        {"name": "mean", "x": "X", "xAxis": [1, 2, 3], "z": "Z", "stat": "mean"},
        {"name": "sd", "x": "X", "xAxis": [1, 2, 3], "z": "Z", "stat": "stddev"},
        {"name": "diff", "x": "X", "xAxis": [1, 2, 3], "z": "Z", "stat": "diff%", "target": 1e308}]})");
    const auto results = dlvtest::computeOver(workspace, {log});
    ASSERT_EQ(results.size(), 3u);
    // The plain sum overflows; the mean is that of the sum carried scaled.
    EXPECT_TRUE(std::isinf(results[0].cell(0, 0).sum));
    EXPECT_DOUBLE_EQ(*statisticValue(workspace.tables[0], results[0].cell(0, 0)), (1.7e308 / 3 * 2 + 1e308 / 3));
    EXPECT_EQ(*statisticValue(workspace.tables[0], results[0].cell(0, 1)), 0.0);
    EXPECT_DOUBLE_EQ(*statisticValue(workspace.tables[2], results[2].cell(0, 0)),
                     ((1.7e308 / 3 * 2 + 1e308 / 3) / 1e308 - 1) * 100);
    // The squares of deviations of 1e200 overflow too.
    EXPECT_DOUBLE_EQ(*statisticValue(workspace.tables[1], results[1].cell(0, 1)), std::sqrt(2.0) * 1e200);
    EXPECT_DOUBLE_EQ(*statisticValue(workspace.tables[1], results[1].cell(0, 2)), std::sqrt(2.0) * 1e308);
    EXPECT_FALSE(cellText(workspace.tables[1], results[1].cell(0, 0)).empty());
}

TEST(HostileTables, ControlCharactersInANameAreEscapedInTheText)
{
    Table table;
    table.name = "Boost \x1b[31mred\x1b[0m\tnow";
    table.x = "A";
    table.xAxis = {1};
    table.z = "A";
    TableResult result;
    result.columns = 1;
    result.rows = 1;
    result.cells.resize(1);
    EXPECT_EQ(tableText(table, result), "# Boost \\x1b[31mred\\x1b[0m\\tnow\n\t1\n\t\n\n");
}

// ------------------------------------------------------------ files

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun tables(const std::string& workspace, const std::string& log)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = dlv::runTablesCommand(workspace, {log}, out, err);
    return {code, out.str(), err.str()};
}

class HostileFiles : public ::testing::Test {
protected:
    std::string log() { return m_files.write("a.csv", "t\nA,B\n1,2\n"); }
    dlvtest::TempLogs m_files;
};

TEST_F(HostileFiles, OnlyRegularFilesOfBoundedSizeAreRead)
{
    // A FIFO without a writer: refused at once rather than waited on.
    const std::string fifo = m_files.path("w.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CommandRun run = tables(fifo, log());
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, "datalog-viewer: Cannot open workspace '" + fifo + "': it is not a regular file\n");
    EXPECT_EQ(run.out, "");
    // Devices: /dev/zero would fill the memory.
    EXPECT_EQ(tables("/dev/zero", log()).err,
              "datalog-viewer: Cannot open workspace '/dev/zero': it is not a regular file\n");
    EXPECT_EQ(readWorkspaceBytes("/dev/null").reason, "it is not a regular file");
    // A directory, a missing file, and a file beyond 64 MiB (sparse).
    EXPECT_EQ(readWorkspaceBytes(m_files.dir()).reason, "it is a directory");
    EXPECT_EQ(readWorkspaceBytes(m_files.path("none.json")).reason, "the file does not exist");
    const std::string big = m_files.write("big.json", "{}");
    std::filesystem::resize_file(big, kMaxWorkspaceFileBytes + 1);
    const WorkspaceBytes refused = readWorkspaceBytes(big);
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.opened);
    EXPECT_EQ(refused.reason, "it is larger than 64 MiB, more than a workspace holds");
    std::filesystem::resize_file(big, kMaxWorkspaceFileBytes);
    EXPECT_EQ(readWorkspaceBytes(big).text->size(), kMaxWorkspaceFileBytes);
    // A file the system cannot size is read to its end.
    const WorkspaceBytes proc = readWorkspaceBytes("/proc/self/status");
    ASSERT_TRUE(proc.ok()) << proc.reason;
    EXPECT_NE(proc.text->find("Name:"), std::string::npos);
}

TEST_F(HostileFiles, TheCommandNamesTheFileAndThePlace)
{
    const std::string deep =
        m_files.write("deep.json", "{\"tables\": [], \"charts\": " + nested("{\"a\":", "1", "}", 60000) + "}");
    CommandRun run = tables(deep, log());
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, "datalog-viewer: workspace '" + deep +
                           "': bad JSON at line 1, column 1301: lists and objects nest more than 256 deep\n");
    const std::string filter = m_files.write(
        "nul.json", R"({"tables": [{"name": "T", "x": "A", "xAxis": [1], "z": "B", "stat": "count", "filter": "A < 1 \u0000|| 1"}]})");
    run = tables(filter, log());
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("table \"T\", filter: a NUL character at column 7"), std::string::npos) << run.err;
    using namespace std::string_literals;
    const std::string trailing = m_files.write("trailing.json", "{\"tables\": []}\0junk"s);
    run = tables(trailing, log());
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("a NUL byte after the end of the workspace"), std::string::npos) << run.err;
    // Control bytes of a table's name reach standard output escaped.
    const std::string named = m_files.write(
        "named.json", R"({"tables": [{"name": "A\u001b[2J", "x": "A", "xAxis": [1], "z": "B", "stat": "count"}]})");
    run = tables(named, log());
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "# A\\x1b[2J\n\t1\n\t1\n\n");
}

}  // namespace
