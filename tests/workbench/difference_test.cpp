// One table compared between two sets of logs: B - A per cell and in percent
// of A against two --tables computations subtracted, minHits on either side,
// A of 0, tints by sign, tooltips, and --compare in process.
#include "app/compare_command.h"
#include "support/temp_logs.h"
#include "workbench/table_difference.h"
#include "workbench/table_session.h"
#include "workbench/table_tint.h"
#include "workbench_support.h"

#include <cmath>
#include <limits>
#include <sstream>

namespace {

using dlv::DifferenceOutcome;
using dlv::workbench::LogSession;
using dlv::workbench::Workspace;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* const kWorkspace = R"({
  "channels": [{"name": "Trim", "expr": "(BLM / 128 - 1) * 100"}],
  "tables": [{"name": "BLM", "x": "MAP", "xAxis": [20, 40, 60], "y": "RPM", "yAxis": [800, 1600],
              "z": "BLM", "stat": "mean", "minHits": 2},
             {"name": "Trim", "x": "RPM", "xAxis": [800, 1600], "z": "Trim", "stat": "median"},
             {"name": "Hits", "x": "RPM", "xAxis": [800, 1600, 2400], "z": "BLM", "stat": "count"}]
})";

// Per cell of "BLM" (minHits 2):
//   800 / 20:  a 120, 124        b 131, 133, 129   both enough
//   800 / 40:  a 126, 130, 128   b 140             b short
//   1600 / 40: a 135             b 120, 122        a short
//   1600 / 60: a 0, 0 (BLM 0)    b 10, 12          a's mean is 0
const char* const kLogA1 = "title\nRPM,MAP,BLM\n800,20,120\n800,40,126\n800,40,130\n1600,40,135\n";
const char* const kLogA2 = "title\nRPM,MAP,BLM\n800,20,124\n800,40,128\n1600,60,0\n1600,60,0\n";
const char* const kLogB = "title\nMAP,RPM,BLM\n20,800,131\n20,800,133\n40,800,140\n40,1600,120\n40,1600,122\n"
                          "20,800,129\n60,1600,10\n60,1600,12\n";

class Difference : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_workspace = dlvtest::parsed(kWorkspace);
        m_workspacePath = m_files.write("w.json", kWorkspace);
        for (const auto& [name, text] : {std::pair{"a1.csv", kLogA1}, {"a2.csv", kLogA2}, {"b.csv", kLogB}}) {
            m_paths.push_back(m_files.write(name, text));
            m_sessions.push_back(std::make_unique<LogSession>(dlvtest::makeSession(dlv::readDataLog(m_paths.back()).store)));
        }
    }
    [[nodiscard]] std::vector<LogSession*> sideA() const { return {m_sessions[0].get(), m_sessions[1].get()}; }
    [[nodiscard]] std::vector<LogSession*> sideB() const { return {m_sessions[2].get()}; }
    DifferenceOutcome difference(std::size_t table)
    {
        const std::vector<LogSession*> a = sideA();
        const std::vector<LogSession*> b = sideB();
        return dlv::computeShownDifference(a, b, m_workspace, table);
    }

    dlvtest::TempLogs m_files;
    Workspace m_workspace;
    std::string m_workspacePath;
    std::vector<std::string> m_paths;
    std::vector<std::unique_ptr<LogSession>> m_sessions;
};

TEST_F(Difference, IsBMinusAOfTwoTablesComputationsCellByCell)
{
    using namespace dlv::workbench;
    const std::vector<std::filesystem::path> a{m_paths[0], m_paths[1]};
    const std::vector<std::filesystem::path> b{m_paths[2]};
    const BatchResult overA = computeTables(m_workspace, a);
    const BatchResult overB = computeTables(m_workspace, b);
    ASSERT_TRUE(overA.ok() && overB.ok());
    for (std::size_t t = 0; t < m_workspace.tables.size(); ++t) {
        const Table& table = m_workspace.tables[t];
        const DifferenceOutcome outcome = difference(t);
        ASSERT_TRUE(outcome.table) << outcome.errors.front().message;
        const dlv::ShownDifference& shown = *outcome.table;
        ASSERT_EQ(shown.cells.size(), overA.tables[t].cells.size());
        for (std::size_t i = 0; i < shown.cells.size(); ++i) {
            const std::optional<double> va = statisticValue(table, overA.tables[t].cells[i]);
            const std::optional<double> vb = statisticValue(table, overB.tables[t].cells[i]);
            std::string expected;
            std::string expectedPercent;
            if (va && vb) {
                const double d = *vb - *va;
                expected = table.stat == Stat::Count ? std::to_string(std::llround(d)) : formatStatistic(d);
                if (*va != 0)
                    expectedPercent = formatStatistic(d / std::fabs(*va) * 100);
            }
            const std::size_t row = i / shown.cols + 1;  // line 0 holds the x breakpoints
            const std::size_t column = i % shown.cols + 1;
            EXPECT_EQ(shown.texts[row][column], expected) << table.name << " cell " << i;
            EXPECT_EQ(shown.percentTexts[row][column], expectedPercent) << table.name << " cell " << i;
            EXPECT_EQ(shown.cells[i].numbers.takesA, overA.tables[t].cells[i].count);
            EXPECT_EQ(shown.cells[i].numbers.takesB, overB.tables[t].cells[i].count);
        }
        ASSERT_EQ(shown.texts[0].size(), table.xAxis.size() + 1);
        EXPECT_EQ(shown.texts[0][1], formatBreakpoint(table.xAxis[0]));
    }
}

TEST_F(Difference, NeedsMinHitsOnBothSidesAndNoPercentOfZero)
{
    const DifferenceOutcome outcome = difference(0);
    ASSERT_TRUE(outcome.table);
    const dlv::ShownDifference& shown = *outcome.table;
    // 800 / 20: A 122, B 131 -> +9, 7.38 % of 122.
    EXPECT_EQ(shown.at(0, 0).text, "9.00");
    EXPECT_EQ(shown.at(0, 0).percentText, "7.38");
    EXPECT_EQ(shown.at(0, 0).toolTip, "A: 122.00 from 2 takes\nB: 131.00 from 3 takes\nB - A: 9.00 (7.38 %)");
    // 800 / 40: one take of B; 1600 / 40: one of A. Either side short empties the cell.
    for (const auto& [row, column] : {std::pair{0, 1}, {1, 1}}) {
        const dlv::DifferenceShownCell& cell = shown.at(row, column);
        EXPECT_EQ(cell.text, "");
        EXPECT_EQ(cell.percentText, "");
        EXPECT_FALSE(cell.tint);
        EXPECT_FALSE(cell.percentTint);
    }
    EXPECT_EQ(shown.at(0, 1).toolTip,
              "A: 128.00 from 3 takes\nB: none from 1 take (below minHits 2)\nB - A: none");
    EXPECT_EQ(shown.at(1, 1).toolTip.find("A: none from 1 take (below minHits 2)\nB: 121.00 from 2 takes"), 0u);
    // 1600 / 60: A's mean is 0: a difference, but no percent (not infinite).
    EXPECT_EQ(shown.at(1, 2).text, "11.00");
    EXPECT_EQ(shown.at(1, 2).percentText, "");
    EXPECT_FALSE(shown.at(1, 2).percentTint);
    EXPECT_NE(shown.at(1, 2).toolTip.find("B - A: 11.00 (no percent of 0)"), std::string::npos);
    // No take on either side.
    EXPECT_EQ(shown.at(0, 2).toolTip, "A: no takes\nB: no takes\nB - A: none");
    EXPECT_EQ(shown.texts[2][0], "1600");
}

TEST_F(Difference, PercentIsOfTheSizeOfAAndCountsStayWhole)
{
    using namespace dlv::workbench;
    Table table = m_workspace.tables[2];
    TableResult a;
    a.columns = 3;
    a.rows = 1;
    a.cells = {CellStats{4, -40, -10, -10, -10, 0, -10}, CellStats{2, 2, 1, 1, 1, 0, 1}, CellStats{}};
    TableResult b = a;
    b.cells = {CellStats{1, -5, -5, -5, -5, kNaN, -5}, CellStats{5, 5, 1, 1, 1, 0, 1}, CellStats{3, 3, 1, 1, 1, 0, 1}};
    const TableDifference counts = differenceTable(table, a, b);
    EXPECT_EQ(differenceTexts(table, counts), (std::vector<std::string>{"-3", "3", ""}));
    EXPECT_EQ(percentTexts(counts), (std::vector<std::string>{"-75.00", "150.00", ""}));
    table.stat = Stat::Mean;
    // A mean of -10 rising to -5 is +5, +50 % of |A|.
    const TableDifference means = differenceTable(table, a, b);
    EXPECT_EQ(differenceTexts(table, means)[0], "5.00");
    EXPECT_EQ(percentTexts(means)[0], "50.00");
    // stddev of one take has no value: nothing to subtract.
    table.stat = Stat::Stddev;
    EXPECT_EQ(differenceTexts(table, differenceTable(table, a, b))[0], "");
}

TEST(DifferenceTints, FollowTheSignAndGrowWithTheSize)
{
    const std::vector<std::optional<dlv::Rgb>> tints = dlv::differenceTints(std::vector<double>{-2, -1, 0, 4, kNaN});
    ASSERT_EQ(tints.size(), 5u);
    const dlv::Rgb white{255, 255, 255};
    EXPECT_EQ(*tints[2], white);
    EXPECT_EQ(*tints[3], dlv::kBlmAddingFuel);  // the largest difference: full colour
    EXPECT_FALSE(tints[4]);
    // Below 0 towards the other colour of the pair, more so the further.
    const auto distance = [&](const dlv::Rgb& c) {
        return std::abs(255 - c.r) + std::abs(255 - c.g) + std::abs(255 - c.b);
    };
    EXPECT_GT(distance(*tints[0]), distance(*tints[1]));
    EXPECT_EQ(*tints[0], *dlv::tableTint(-2, dlv::tintScaleFor(std::vector<double>{4}, 0.0), false));
    EXPECT_NE(*tints[0], *dlv::tableTint(2, dlv::tintScaleFor(std::vector<double>{4}, 0.0), false));
    // Nothing but zeros: white throughout.
    for (const auto& tint : dlv::differenceTints(std::vector<double>{0, 0}))
        EXPECT_EQ(*tint, white);
}

TEST_F(Difference, ErrorsOfBCountAfterTheLogsOfA)
{
    LogSession noBlm = dlvtest::makeSession(dlvtest::makeLog("RPM,MAP", {"800,20"}));
    const std::vector<LogSession*> a = sideA();
    const std::vector<LogSession*> b{m_sessions[2].get(), &noBlm};
    const DifferenceOutcome outcome = dlv::computeShownDifference(a, b, m_workspace, 0);
    EXPECT_FALSE(outcome.table);
    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_EQ(outcome.errors[0].log, 3u);  // b's second log, after a's two
    EXPECT_EQ(outcome.errors[0].field, dlv::TableField::Z);
    // The same session on both sides compares a log with itself: all zeros.
    const DifferenceOutcome same = dlv::computeShownDifference(a, a, m_workspace, 0);
    ASSERT_TRUE(same.table);
    EXPECT_EQ(same.table->at(0, 0).text, "0.00");
    EXPECT_FALSE(dlv::computeShownDifference(a, {}, m_workspace, 0).table);
}

// ---------------------------------------------------------------- --compare

struct CompareRun {
    int code;
    std::string out;
    std::string err;
};

CompareRun runCompare(const std::string& workspace, const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = dlv::runCompareCommand(workspace, {a.begin(), a.end()}, {b.begin(), b.end()}, out, err);
    return {code, out.str(), err.str()};
}

TEST_F(Difference, CompareCommandPrintsEachTableThenItsPercent)
{
    const CompareRun run = runCompare(m_workspacePath, {m_paths[0], m_paths[1]}, {m_paths[2]});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string blm = "# BLM (B - A)\n"
                            "\t20\t40\t60\n"
                            "800\t9.00\t\t\n"
                            "1600\t\t\t11.00\n"
                            "\n"
                            "# BLM (B - A, %)\n"
                            "\t20\t40\t60\n"
                            "800\t7.38\t\t\n"
                            "1600\t\t\t\n"
                            "\n";
    EXPECT_EQ(run.out.substr(0, blm.size()), blm);
    // 5 takes of A at 800 against 4 of B, 3 at 1600 against 4, none at 2400.
    EXPECT_NE(run.out.find("# Hits (B - A)\n\t800\t1600\t2400\n\t-1\t1\t\n\n"
                           "# Hits (B - A, %)\n\t800\t1600\t2400\n\t-20.00\t33.33\t\n\n"),
              std::string::npos)
        << run.out;
    // The same cells as the window's difference table.
    const DifferenceOutcome shown = difference(1);
    ASSERT_TRUE(shown.table);
    const std::string trim = dlv::workbench::printedTable("Trim (B - A)", shown.table->texts) +
                             dlv::workbench::printedTable("Trim (B - A, %)", shown.table->percentTexts);
    EXPECT_NE(run.out.find(trim), std::string::npos) << run.out;
}

TEST_F(Difference, CompareCommandFailsAsTablesDoes)
{
    // A before B: the first failing log in that order is named.
    CompareRun run = runCompare(m_workspacePath, {m_files.path("gone-a.csv")}, {m_files.path("gone-b.csv")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("gone-a.csv"), std::string::npos) << run.err;
    run = runCompare(m_workspacePath, {m_paths[0]}, {m_files.path("gone-b.csv")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("gone-b.csv"), std::string::npos) << run.err;

    const std::string noBlm = m_files.write("nob.csv", "t\nRPM,MAP\n800,20\n");
    run = runCompare(m_workspacePath, {m_paths[0]}, {noBlm});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("unknown name \"BLM\""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nob.csv"), std::string::npos) << run.err;

    run = runCompare(m_files.write("bad.json", "{"), {m_paths[0]}, {m_paths[2]});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("bad.json"), std::string::npos) << run.err;
    for (const auto& [a, b] : {std::pair{std::vector<std::string>{}, std::vector<std::string>{m_paths[2]}},
                               {std::vector<std::string>{m_paths[0]}, std::vector<std::string>{}}}) {
        run = runCompare(m_workspacePath, a, b);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find("usage"), std::string::npos) << run.err;
    }
}

}  // namespace
