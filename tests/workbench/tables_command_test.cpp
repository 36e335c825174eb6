// The --tables command in process: output, exit codes and messages.
#include "app/tables_command.h"
#include "support/temp_logs.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

CommandRun run(const std::string& workspace, const std::vector<std::string>& logs)
{
    std::ostringstream out;
    std::ostringstream err;
    const std::vector<std::filesystem::path> paths(logs.begin(), logs.end());
    const int code = dlv::runTablesCommand(workspace, paths, out, err);
    return {code, out.str(), err.str()};
}

const char* const kWorkspace = R"({
  "channels": [{"name": "dTPS", "expr": "TPS - TPS[-1]"}],
  "tables": [{"name": "BLM", "x": "MAP", "xAxis": [20, 40], "y": "RPM", "yAxis": [800, 1600],
              "z": "BLM", "stat": "mean", "filter": "abs(dTPS) < 5"},
             {"name": "Hits", "x": "RPM", "xAxis": [800, 1600], "z": "BLM", "stat": "count"}]
})";

class TablesCommand : public ::testing::Test {
protected:
    std::string log(const std::string& name, const std::string& takes)
    {
        return m_files.write(name, "title\nRPM,MAP,BLM,TPS\n" + takes);
    }
    dlvtest::TempLogs m_files;
};

TEST_F(TablesCommand, PrintsEveryTableOverEveryLog)
{
    const std::string workspace = m_files.write("w.json", kWorkspace);
    const std::string a = log("a.csv", "800,20,120,10\n800,20,124,11\n1600,40,130,30\n");
    const std::string b = log("b.csv", "1600,40,140,0\n1600,41,150,2\n");
    const CommandRun result = run(workspace, {a, b});
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.err, "");
    // Take 0 of each log has no dTPS; the third take of a jumps by 19.
    EXPECT_EQ(result.out,
              "# BLM\n"
              "\t20\t40\n"
              "800\t124.00\t\n"
              "1600\t\t150.00\n"
              "\n"
              "# Hits\n"
              "\t800\t1600\n"
              "\t2\t3\n"
              "\n");
}

TEST_F(TablesCommand, UnreadableLogExitsOneAndPrintsNothing)
{
    const std::string workspace = m_files.write("w.json", kWorkspace);
    const std::string good = log("good.csv", "800,20,120,10\n");
    const CommandRun result = run(workspace, {good, m_files.path("missing.csv")});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("missing.csv"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("does not exist"), std::string::npos) << result.err;
    const std::string oneLine = m_files.write("one.csv", "only a title\n");
    EXPECT_EQ(run(workspace, {oneLine}).code, 1);
}

TEST_F(TablesCommand, BadWorkspaceExitsTwoNamingTheTable)
{
    const std::string good = log("good.csv", "800,20,120,10\n");
    const std::string bad = m_files.write("bad.json", R"({"tables": [{"name": "BLM", "x": "MAP", "xAxis": [40, 20],
        "z": "BLM", "stat": "mean"}]})");
    CommandRun result = run(bad, {good});
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "datalog-viewer: workspace '" + bad +
                              "': table \"BLM\": xAxis: breakpoints must increase strictly (20 after 40)\n");

    const std::string unknown = m_files.write("unknown.json", R"({"tables": [{"name": "BLM", "x": "MAPX",
        "xAxis": [20], "z": "BLM", "stat": "mean"}]})");
    result = run(unknown, {good});
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "datalog-viewer: workspace '" + unknown +
                              "': table \"BLM\", x: unknown name \"MAPX\" at column 1 of \"MAPX\" (in log '" + good +
                              "')\n");

    result = run(m_files.path("nowhere.json"), {good});
    EXPECT_EQ(result.code, 2);
    EXPECT_NE(result.err.find("nowhere.json"), std::string::npos);
    EXPECT_EQ(run(m_files.write("e.json", "{"), {good}).code, 2);
    EXPECT_EQ(run(m_files.dir().string(), {good}).code, 2);
}

TEST_F(TablesCommand, NoLogIsABadArgument)
{
    const CommandRun result = run(m_files.write("w.json", kWorkspace), {});
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("usage"), std::string::npos);
}

TEST_F(TablesCommand, FirstFailingLogInOrderIsReported)
{
    const std::string workspace = m_files.write("w.json", kWorkspace);
    const std::string noBlm = m_files.write("nob.csv", "t\nRPM,MAP,TPS\n800,20,1\n");
    const CommandRun result = run(workspace, {noBlm, m_files.path("missing.csv")});
    EXPECT_EQ(result.code, 2) << result.err;
    EXPECT_NE(result.err.find("unknown name \"BLM\""), std::string::npos) << result.err;
}

}  // namespace
