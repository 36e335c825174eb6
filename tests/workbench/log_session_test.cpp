// A log session across edits: what did not change comes from the cache,
// what changed is computed again, and what is no longer used is dropped.
#include "workbench_support.h"

namespace {

using namespace dlv::workbench;

Workspace withFilter(const std::string& filter, const std::string& channel = "TPS - TPS[-1]")
{
    return dlvtest::parsed(R"({"channels": [{"name": "dTPS", "expr": ")" + channel + R"("}],
      "tables": [{"name": "a", "x": "RPM", "xAxis": [800, 900], "z": "BLM", "stat": "mean", "filter": ")" + filter +
                           R"("},
                 {"name": "b", "x": "RPM", "xAxis": [800], "z": "BLM * 2", "stat": "max"}]})");
}

TEST(LogSession, EditsRecomputeOnlyWhatChanged)
{
    const auto log = dlvtest::makeLog("RPM,BLM,TPS", {"800,120,1", "900,130,2", "800,140,9"});
    LogSession session = dlvtest::makeSession(log);
    const Workspace before = withFilter("abs(dTPS) < 5");
    const Program first = compileWorkspace(before, log->ParamNames());
    const dlv::ColumnPtr channel = session.channel(first, 0);
    const dlv::ColumnPtr filter = session.evaluate(first, *first.tables[0].filter);
    const dlv::ColumnPtr doubled = session.evaluate(first, *first.tables[1].z);
    // A plain name is the log's column itself, not a copy.
    EXPECT_EQ(session.evaluate(first, *first.tables[0].x), session.columns().column(0));

    // The filter changes; the channel and the other table do not.
    const Workspace after = withFilter("abs(dTPS) < 8");
    const Program second = compileWorkspace(after, log->ParamNames());
    EXPECT_EQ(session.channel(second, 0), channel);
    EXPECT_EQ(session.evaluate(second, *second.tables[1].z), doubled);
    const dlv::ColumnPtr newFilter = session.evaluate(second, *second.tables[0].filter);
    EXPECT_NE(newFilter, filter);
    EXPECT_EQ((*newFilter)[2], 1);
    EXPECT_EQ((*filter)[2], 0);
    EXPECT_EQ(session.cachedResults(), 4u);
    EXPECT_NE(tableKey(second, 0), tableKey(first, 0));
    EXPECT_EQ(tableKey(second, 1), tableKey(first, 1));
    session.keepOnly(second);
    EXPECT_EQ(session.cachedResults(), 3u);

    // A changed channel changes everything that uses it, even where the
    // text of the user did not change.
    const Program third = compileWorkspace(withFilter("abs(dTPS) < 8", "TPS - TPS[-2]"), log->ParamNames());
    const dlv::ColumnPtr thirdFilter = session.evaluate(third, *third.tables[0].filter);
    EXPECT_NE(thirdFilter, newFilter);
    EXPECT_EQ((*thirdFilter)[2], 0);  // 9 - 1 is not below 8 (9 - 2 was)
    EXPECT_EQ((*thirdFilter)[1], 0);  // TPS[-2] has no value at take 1
}

TEST(LogSession, SameTextOnAnotherLogFindsItsOwnColumns)
{
    // The same workspace over logs whose names lie at other positions.
    const Workspace workspace = withFilter("dTPS < 5");
    const auto a = dlvtest::makeLog("RPM,BLM,TPS", {"800,120,1", "800,130,2"});
    const auto b = dlvtest::makeLog("TPS,RPM,BLM", {"1,800,150", "2,800,160"});
    const auto results = dlvtest::computeOver(workspace, {a, b});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].cell(0, 0).count, 2u);  // take 0 of each log has no dTPS
    EXPECT_EQ(results[0].cell(0, 0).sum, 130 + 160);
}

}  // namespace
