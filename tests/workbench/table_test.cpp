// Tables: binning onto breakpoints, the statistics of a cell, minHits, several
// logs folded in order, the takes behind a cell, and the texts.
#include "workbench_support.h"

#include <clocale>
#include <cmath>
#include <limits>

namespace {

using namespace dlv::workbench;
using dlvtest::makeLog;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Binning, NearestBreakpointWithHalvesGoingDown)
{
    const std::vector<double> axis = {20, 30, 50};
    EXPECT_EQ(binIndex(axis, 20), 0);
    EXPECT_EQ(binIndex(axis, 24.999), 0);
    EXPECT_EQ(binIndex(axis, 25), 0);  // exactly halfway: the lower one
    EXPECT_EQ(binIndex(axis, 25.001), 1);
    EXPECT_EQ(binIndex(axis, 40), 1);  // halfway in the wider gap
    EXPECT_EQ(binIndex(axis, 40.5), 2);
    EXPECT_EQ(binIndex(axis, 50), 2);
}

TEST(Binning, OffTheEndsBeyondHalfTheOuterGap)
{
    const std::vector<double> axis = {20, 30, 50};
    EXPECT_EQ(binIndex(axis, 15), 0);  // half the first gap below: still on
    EXPECT_EQ(binIndex(axis, 14.999), -1);
    EXPECT_EQ(binIndex(axis, 60), 2);  // half the last gap above: still on
    EXPECT_EQ(binIndex(axis, 60.001), -1);
    EXPECT_EQ(binIndex(axis, kNaN), -1);
    const std::vector<double> single = {7};
    EXPECT_EQ(binIndex(single, -1e300), 0);
    EXPECT_EQ(binIndex(single, 1e300), 0);
    EXPECT_EQ(binIndex(single, kNaN), -1);
    const std::vector<double> fractions = {0.1, 0.2};
    EXPECT_EQ(binIndex(fractions, 0.15), 0);
}

// A 1-D table of z by x over one log whose takes carry x,z pairs.
TableResult oneD(const std::string& table, const std::vector<std::string>& takes, bool withTakes = false)
{
    const Workspace workspace = dlvtest::parsed(R"({"tables": [{"name": "T", "x": "X", "z": "Z", )" + table + "}]}");
    const auto results = dlvtest::computeOver(workspace, {makeLog("X,Z,F", takes)}, withTakes);
    return results.empty() ? TableResult{} : results[0];
}

TEST(Statistics, EveryStatisticOfOneCell)
{
    // Takes 0 to U all count; 4 values in the cell at 10: 1, 4, 2, 9.
    const std::vector<std::string> takes = {"10,1,1", "10,4,1", "11,2,1", "9,9,1", "20,5,1", "10,x,1"};
    const TableResult result = oneD(R"("xAxis": [10, 20], "stat": "mean")", takes);
    const CellStats& cell = result.cell(0, 0);
    EXPECT_EQ(cell.count, 4u);
    EXPECT_EQ(cell.sum, 16);
    EXPECT_EQ(cell.min, 1);
    EXPECT_EQ(cell.max, 9);
    EXPECT_EQ(cell.median, 3);  // the mean of the two middle values, 2 and 4
    EXPECT_DOUBLE_EQ(cell.stddev, std::sqrt((9.0 + 0 + 4 + 25) / 3));
    EXPECT_EQ(result.cell(0, 1).count, 1u);
    EXPECT_EQ(result.cell(0, 1).median, 5);
    EXPECT_TRUE(std::isnan(result.cell(0, 1).stddev));
    EXPECT_EQ(result.takes, 6u);
    EXPECT_EQ(result.binned, 5u);

    const auto text = [&](const std::string& stat, const std::string& extra = "") {
        const TableResult r = oneD(R"("xAxis": [10, 20], "stat": ")" + stat + "\"" + extra, takes);
        const Table table = dlvtest::parsed(R"({"tables": [{"name": "T", "x": "X", "z": "Z", "xAxis": [10, 20], "stat": ")" +
                                            stat + "\"" + extra + "}]}").tables[0];
        return cellText(table, r.cell(0, 0)) + "|" + cellText(table, r.cell(0, 1));
    };
    EXPECT_EQ(text("count"), "4|1");
    EXPECT_EQ(text("mean"), "4.00|5.00");
    EXPECT_EQ(text("min"), "1.00|5.00");
    EXPECT_EQ(text("max"), "9.00|5.00");
    EXPECT_EQ(text("median"), "3.00|5.00");
    EXPECT_EQ(text("stddev"), "3.56|");  // empty below 2 takes
    EXPECT_EQ(text("diff%", R"(, "target": 5)"), "-20.00|0.00");
}

TEST(Statistics, MedianOfAnOddCountAndEmptyCells)
{
    const TableResult result = oneD(R"("xAxis": [1, 2, 3], "stat": "median")", {"1,5,1", "1,1,1", "1,3,1", "3,2,1"});
    EXPECT_EQ(result.cell(0, 0).median, 3);
    EXPECT_EQ(result.cell(0, 1).count, 0u);
    const Table table = dlvtest::parsed(R"({"tables": [{"name": "T", "x": "X", "z": "Z", "xAxis": [1, 2, 3], "stat": "count", "minHits": 0}]})").tables[0];
    EXPECT_EQ(cellText(table, result.cell(0, 1)), "0");  // minHits 0 shows empty cells as 0
}

TEST(Statistics, MinHitsEmptiesCellsWhateverTheStatistic)
{
    const std::vector<std::string> takes = {"1,5,1", "1,6,1", "1,7,1", "2,1,1", "2,2,1"};
    for (const std::string stat : {"count", "mean", "min", "max", "median", "stddev"}) {
        const Table table =
            dlvtest::parsed(R"({"tables": [{"name": "T", "x": "X", "z": "Z", "xAxis": [1, 2], "minHits": 3, "stat": ")" +
                            stat + "\"}]}")
                .tables[0];
        const TableResult result = oneD(R"("xAxis": [1, 2], "stat": "count")", takes);
        EXPECT_FALSE(cellText(table, result.cell(0, 0)).empty()) << stat;
        EXPECT_EQ(cellText(table, result.cell(0, 1)), "") << stat;
        EXPECT_FALSE(statisticValue(table, result.cell(0, 1)).has_value()) << stat;
    }
}

TEST(Tables, FilterAndValuesDecideWhichTakesCount)
{
    // F keeps a take when it is a number other than 0; x or z without a value,
    // or off the axis, leave the take out.
    const TableResult result =
        oneD(R"("xAxis": [10], "stat": "count", "filter": "F")", {"10,1,1", "10,1,0", "10,1,", "10,1,-2", "10,,1", ",1,1",
                                                                 "10,1,x", "10,1,0.001"});
    EXPECT_EQ(result.cell(0, 0).count, 3u);
    EXPECT_EQ(result.kept, 5u);
}

TEST(Tables, TwoDimensionsWithChannelsAndLookBack)
{
    const Workspace workspace = dlvtest::parsed(R"({
      "channels": [{"name": "dTPS", "expr": "TPS - TPS[-1]"}, {"name": "Load", "expr": "MAP / 10"}],
      "tables": [{"name": "t", "x": "Load", "xAxis": [2, 4], "y": "RPM", "yAxis": [800, 1600],
                  "z": "BLM * 2", "stat": "max", "filter": "abs(dTPS) < 2"}]})");
    const auto log = makeLog("RPM,MAP,BLM,TPS", {"800,20,100,5", "800,20,110,6", "1600,40,120,6", "1700,41,130,9",
                                                 "900,39,140,10"});
    const auto results = dlvtest::computeOver(workspace, {log});
    ASSERT_EQ(results.size(), 1u);
    const TableResult& result = results[0];
    EXPECT_EQ(result.rows, 2u);
    EXPECT_EQ(result.columns, 2u);
    // Take 0 has no dTPS (nothing before it); take 3 jumps by 3.
    EXPECT_EQ(result.cell(0, 0).count, 1u);
    EXPECT_EQ(result.cell(0, 0).max, 220);
    EXPECT_EQ(result.cell(1, 1).max, 240);
    EXPECT_EQ(result.cell(0, 1).max, 280);
    EXPECT_EQ(result.cell(1, 0).count, 0u);
}

TEST(Tables, SeveralLogsInOrderWithLookBackStartingAfreshInEach)
{
    const Workspace workspace = dlvtest::parsed(R"({"tables": [
        {"name": "sum", "x": "X", "xAxis": [1], "z": "Z", "stat": "mean"},
        {"name": "prev", "x": "X", "xAxis": [1], "z": "Z[-1]", "stat": "count"}]})");
    // Summed in take order, the first log first: 1e16 + 1 + 1 - 1e16 ... in
    // double arithmetic gives 0, any other order 2 or 4.
    const auto first = makeLog("X,Z", {"1,1e16", "1,1"});
    const auto second = makeLog("X,Z", {"1,1", "1,-1e16"});
    const auto results = dlvtest::computeOver(workspace, {first, second}, true);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].cell(0, 0).count, 4u);
    EXPECT_EQ(results[0].cell(0, 0).sum, ((1e16 + 1) + 1) - 1e16);
    // Z[-1] has no value at the first take of each log.
    EXPECT_EQ(results[1].cell(0, 0).count, 2u);
    EXPECT_EQ(results[1].cellTakes[0], (std::vector<TakeRef>{{0, 1}, {1, 1}}));
    EXPECT_EQ(results[0].cellTakes[0], (std::vector<TakeRef>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
}

TEST(Tables, CellTakesOnlyWhenAsked)
{
    const TableResult without = oneD(R"("xAxis": [1, 2], "stat": "count")", {"1,1,1", "2,1,1", "1,1,1"});
    EXPECT_TRUE(without.cellTakes.empty());
    const TableResult with = oneD(R"("xAxis": [1, 2], "stat": "count")", {"1,1,1", "2,1,1", "1,1,1"}, true);
    EXPECT_EQ(with.cellTakes[0], (std::vector<TakeRef>{{0, 0}, {0, 2}}));
    EXPECT_EQ(with.cellTakes[1], (std::vector<TakeRef>{{0, 1}}));
}

TEST(Texts, BreakpointsAndStatistics)
{
    EXPECT_EQ(formatBreakpoint(20), "20");
    EXPECT_EQ(formatBreakpoint(2.5), "2.5");
    EXPECT_EQ(formatBreakpoint(0.1), "0.1");
    EXPECT_EQ(formatBreakpoint(-10), "-10");
    EXPECT_EQ(formatBreakpoint(-0.0), "0");
    EXPECT_EQ(formatBreakpoint(1e-5), "0.00001");
    EXPECT_EQ(formatBreakpoint(1e21), "1000000000000000000000");
    EXPECT_EQ(formatBreakpoint(0.1 + 0.2), "0.30000000000000004");  // reads back as the same double
    EXPECT_EQ(formatStatistic(2.675), "2.67");  // the double lies below the half
    EXPECT_EQ(formatStatistic(0.125), "0.12");  // exactly half: to even, as the double is exact
    EXPECT_EQ(formatStatistic(1.005), "1.00");
    EXPECT_EQ(formatStatistic(-0.001), "0.00");
    EXPECT_EQ(formatStatistic(-1.5), "-1.50");
    EXPECT_EQ(formatStatistic(123456.789), "123456.79");
}

TEST(Texts, ExactOutputFormatWhateverTheLocale)
{
    const Workspace workspace = dlvtest::parsed(R"({"tables": [
        {"name": "two", "x": "X", "xAxis": [0.5, 1, 2.5], "y": "Y", "yAxis": [-10, 100], "z": "Z", "stat": "mean"},
        {"name": "one", "x": "X", "xAxis": [1, 2], "z": "Z", "stat": "count", "minHits": 2}]})");
    const auto log = makeLog("X,Y,Z", {"1,-10,1.25", "1,-10,1", "2.5,100,3", "1,100,7"});
    const char* const german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const std::string text = tablesText(workspace, dlvtest::computeOver(workspace, {log}));
    std::setlocale(LC_ALL, "C");
    (void)german;  // the output is the same whether or not the machine has that locale
    EXPECT_EQ(text,
              "# two\n"
              "\t0.5\t1\t2.5\n"
              "-10\t\t1.12\t\n"  // 1.125 exactly: the tie goes to even
              "100\t\t7.00\t3.00\n"
              "\n"
              "# one\n"
              "\t1\t2\n"
              "\t3\t\n"
              "\n");
}

}  // namespace
