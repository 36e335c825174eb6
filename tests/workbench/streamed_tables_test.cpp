// --tables over logs streamed a chunk at a time against the same logs read
// whole: the same cells to the bit, the same takes behind them, whatever the
// chunks' size and however far the look-backs reach over their edges.
#include "workbench/batch.h"
#include "workbench_support.h"
#include "support/temp_logs.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

using namespace dlv::workbench;

// Takes of RPM, MAP, BLM, TPS, CLT with now and then an empty field, a text
// or a field missing at the end, lines ended by LF or CR LF.
std::string randomLog(int takes, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes = "title\nRPM,MAP,BLM,TPS,CLT\n";
    for (int t = 0; t < takes; ++t) {
        const int fields = random() % 97 == 0 ? static_cast<int>(random() % 5) : 5;
        for (int f = 0; f < fields; ++f) {
            if (f)
                bytes += ',';
            const unsigned odd = random() % 53;
            if (odd == 0)
                continue;  // empty
            if (odd == 1) {
                bytes += "x";
                continue;
            }
            static const int spans[] = {3000, 110, 60, 100, 120};
            bytes += std::to_string(static_cast<int>(random() % spans[f]) - (f == 3 ? 0 : 5));
            if (random() % 4 == 0)
                bytes += "." + std::to_string(random() % 1000);
        }
        bytes += random() % 7 == 0 ? "\r\n" : "\n";
    }
    return bytes;
}

// Channels that look back over each other (dTPS[-2] reaches 3 takes back),
// a channel of no parameter looked back at, and every statistic.
const char* const kWorkspace = R"({
  "channels": [
    {"name": "dTPS", "expr": "TPS - TPS[-1]"},
    {"name": "one", "expr": "1"},
    {"name": "slow", "expr": "abs(dTPS[-2]) < 30 && one[-1]"}
  ],
  "tables": [
    {"name": "mean", "x": "MAP", "xAxis": [10, 30, 50, 70, 90], "y": "RPM", "yAxis": [500, 1500, 2500],
     "z": "BLM", "stat": "mean", "filter": "CLT > 20 && slow"},
    {"name": "median", "x": "RPM", "xAxis": [0, 1000, 2000, 3000], "z": "BLM + dTPS[-1]", "stat": "median"},
    {"name": "stddev", "x": "TPS", "xAxis": [0, 50, 100], "z": "MAP[-3] - MAP", "stat": "stddev",
     "filter": "one[-2]"},
    {"name": "count", "x": "RPM", "xAxis": [1000], "z": "BLM", "stat": "count"},
    {"name": "min", "x": "MAP", "xAxis": [50], "z": "CLT", "stat": "min"},
    {"name": "max", "x": "MAP", "xAxis": [50], "z": "CLT", "stat": "max"}
  ]
})";

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// Empty when both hold the same counts, statistics (to the bit) and takes;
// else the first difference.
std::string difference(const std::vector<TableResult>& got, const std::vector<TableResult>& want)
{
    if (got.size() != want.size())
        return "tables: " + std::to_string(got.size()) + " for " + std::to_string(want.size());
    for (std::size_t t = 0; t < got.size(); ++t) {
        const TableResult& a = got[t];
        const TableResult& b = want[t];
        const std::string table = "table " + std::to_string(t) + ": ";
        if (a.takes != b.takes || a.kept != b.kept || a.binned != b.binned)
            return table + "takes " + std::to_string(a.takes) + "/" + std::to_string(a.kept) + "/" +
                   std::to_string(a.binned) + " for " + std::to_string(b.takes) + "/" + std::to_string(b.kept) + "/" +
                   std::to_string(b.binned);
        if (a.cells.size() != b.cells.size() || a.cellTakes != b.cellTakes)
            return table + "other cells or takes behind them";
        for (std::size_t c = 0; c < a.cells.size(); ++c) {
            const dlv::workbench::CellStats& x = a.cells[c];
            const dlv::workbench::CellStats& y = b.cells[c];
            if (x.count != y.count || !sameBits(x.sum, y.sum) || !sameBits(x.min, y.min) || !sameBits(x.max, y.max) ||
                !sameBits(x.median, y.median) || !sameBits(x.stddev, y.stddev))
                return table + "cell " + std::to_string(c) + " differs";
        }
    }
    return {};
}

class StreamedTables : public ::testing::Test {
protected:
    // The tables over the logs' files, streamed in chunks of chunkBytes.
    std::vector<TableResult> streamed(const Workspace& workspace, const std::vector<std::string>& paths,
                                      std::size_t chunkBytes)
    {
        const std::vector<std::filesystem::path> logs(paths.begin(), paths.end());
        BatchResult result = computeTables(workspace, logs, true, dlv::LogFormat::Auto, chunkBytes);
        EXPECT_TRUE(result.ok()) << result.failure->message;
        return std::move(result.tables);
    }
    // The same logs read whole and computed by the window's road.
    std::vector<TableResult> whole(const Workspace& workspace, const std::vector<std::string>& bytes)
    {
        std::vector<std::shared_ptr<const dlv::TakeStore>> logs;
        for (const std::string& b : bytes)
            logs.push_back(dlv::readDataLogBytes(b, "log").store);
        return dlvtest::computeOver(workspace, logs, true);
    }
    dlvtest::TempLogs m_files;
};

TEST_F(StreamedTables, HoldTheWholeLogsCellsAndTakesWhateverTheChunks)
{
    const Workspace workspace = dlvtest::parsed(kWorkspace);
    const std::string a = randomLog(3000, 1);
    const std::string b = randomLog(1, 2);  // shorter than every look-back
    const std::string c = randomLog(0, 3);
    const std::vector<std::string> paths = {m_files.write("a.csv", a), m_files.write("b.csv", b),
                                            m_files.write("c.csv", c), m_files.write("a2.csv", a)};
    const std::vector<TableResult> want = whole(workspace, {a, b, c, a});
    ASSERT_EQ(want[0].takes, 6001u);
    ASSERT_GT(want[0].binned, 100u);
    // From a chunk of a few takes, whose look-backs reach into the chunk
    // before the one before, up to one that holds the whole log.
    for (const std::size_t chunk : {std::size_t{64}, std::size_t{100}, std::size_t{1000}, std::size_t{4096},
                                    std::size_t{1} << 20, kTablesChunkBytes})
        EXPECT_EQ(difference(streamed(workspace, paths, chunk), want), "") << "chunks of " << chunk << " bytes";
}

TEST_F(StreamedTables, LookBacksBeyondAChunkAndLinesLongerThanOneGiveTheSameTables)
{
    // 2,000 takes back: more than a chunk holds, so the log is computed whole.
    const Workspace deep = dlvtest::parsed(R"({
      "channels": [{"name": "far", "expr": "BLM - BLM[-2000]"}],
      "tables": [{"name": "far", "x": "RPM", "xAxis": [0, 1000, 2000, 3000], "z": "far", "stat": "mean"},
                 {"name": "near", "x": "RPM", "xAxis": [0, 1000, 2000, 3000], "z": "BLM[-1]", "stat": "max"}]
    })");
    const std::string a = randomLog(5000, 4);
    const std::string path = m_files.write("a.csv", a);
    const std::vector<TableResult> want = whole(deep, {a});
    ASSERT_GT(want[0].binned, 100u);
    EXPECT_EQ(difference(streamed(deep, {path}, 4096), want), "");
    // A line longer than a chunk: the stream gives up, the whole reading answers.
    EXPECT_EQ(difference(streamed(deep, {path}, 16), want), "");

    // Tables of no parameter still look back over the chunks' edges: only
    // take 0 has no value one take back.
    const Workspace none = dlvtest::parsed(R"({"channels": [{"name": "one", "expr": "1"}],
      "tables": [{"name": "t", "x": "one", "xAxis": [1], "z": "one[-1]", "stat": "count"}]})");
    const std::vector<TableResult> constant = streamed(none, {path}, 256);
    ASSERT_EQ(constant.size(), 1u);
    EXPECT_EQ(constant[0].binned, 4999u);
    EXPECT_EQ(difference(constant, whole(none, {a})), "");
}

TEST_F(StreamedTables, FaultsAreTheWholeReadingsOnes)
{
    const std::string log = m_files.write("a.csv", randomLog(500, 5));
    const std::vector<std::filesystem::path> logs = {log, m_files.path("missing.csv")};
    const BatchResult missing = computeTables(dlvtest::parsed(kWorkspace), logs, false, dlv::LogFormat::Auto, 256);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.failure->kind, BatchFailure::Kind::UnreadableLog);
    EXPECT_NE(missing.failure->message.find("missing.csv"), std::string::npos) << missing.failure->message;

    const Workspace unknown = dlvtest::parsed(
        R"({"tables": [{"name": "t", "x": "RPMX", "xAxis": [1000], "z": "BLM", "stat": "mean"}]})");
    const BatchResult bad = computeTables(unknown, std::span(logs).first(1), false, dlv::LogFormat::Auto, 256);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.failure->kind, BatchFailure::Kind::BadWorkspace);
    EXPECT_NE(bad.failure->message.find("RPMX"), std::string::npos) << bad.failure->message;
    EXPECT_NE(bad.failure->message.find("a.csv"), std::string::npos) << bad.failure->message;
}

TEST(LookBackDepth, SumsTheLookBacksThroughChannelsTheTablesUse)
{
    const std::vector<std::string> names = {"RPM", "MAP", "BLM", "TPS", "CLT", ""};
    const auto depthOf = [&](const std::string& channels, const std::string& filter) {
        const Workspace workspace = dlvtest::parsed(R"({"channels": [)" + channels +
                                                    R"(], "tables": [{"name": "t", "x": "RPM", "xAxis": [1000],
            "z": "BLM", "stat": "mean", "filter": ")" + filter + R"("}]})");
        const Program program = compileWorkspace(workspace, names);
        EXPECT_TRUE(program.ok());
        return lookBackDepth(program);
    };
    EXPECT_EQ(depthOf("", "CLT > 80"), 0);
    EXPECT_EQ(depthOf("", "CLT[-4] > 80 && TPS[-1] < 3"), 4);
    const std::string chain = R"({"name": "d", "expr": "TPS - TPS[-1]"}, {"name": "dd", "expr": "d - d[-2]"})";
    EXPECT_EQ(depthOf(chain, "d < 1"), 1);
    EXPECT_EQ(depthOf(chain, "dd < 1"), 3);
    EXPECT_EQ(depthOf(chain, "dd[-5] < 1 || d < 2"), 8);
    // A channel no table uses reaches nothing.
    EXPECT_EQ(depthOf(R"({"name": "far", "expr": "TPS[-100]"})", "CLT > 80"), 0);
}

TEST(ProgramParameters, AreThoseTheTablesReadThroughTheirChannelsSortedOnce)
{
    const Workspace workspace = dlvtest::parsed(R"({
      "channels": [{"name": "d", "expr": "TPS - TPS[-1]"}, {"name": "unused", "expr": "CLT"}],
      "tables": [{"name": "t", "x": "MAP", "xAxis": [10], "y": "RPM", "yAxis": [1], "z": "d + MAP", "stat": "mean"},
                 {"name": "u", "x": "#0", "xAxis": [1], "z": "d", "stat": "mean", "filter": "#4 > 1"}]
    })");
    const Program program = compileWorkspace(workspace, {"RPM", "MAP", "BLM", "TPS", "CLT", ""});
    ASSERT_TRUE(program.ok());
    EXPECT_EQ(programParameters(program), (std::vector<long long>{0, 1, 3, 4}));
}

}  // namespace
