// The charts of a workspace: the page's filter in the file, and calculated
// channels and the filter computed by the workbench over one log.
#include "charts/chart_workspace.h"
#include "datalog/take_store.h"
#include "support/temp_logs.h"
#include "workbench/log_session.h"
#include "workbench/workspace.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace dlv {
namespace {

using nlohmann::json;

// Takes 0 .. 5 (take 0 is the first data line).
std::shared_ptr<ColumnCache> smallLog()
{
    const ReadResult log =
        readDataLogBytes("t\nTime,RPM,MAP\n0,800,30\n0.1,900,40\n0.2,1000,x\n0.3,1100,60\n0.4,1000,70\n0.5,900,80\n", "l.csv");
    EXPECT_TRUE(log.ok());
    return std::make_shared<ColumnCache>(log.store);
}

workbench::Workspace workspaceOf(const char* text)
{
    workbench::WorkspaceResult result = workbench::parseWorkspace(text);
    EXPECT_TRUE(result.ok()) << result.error;
    return result.ok() ? *result.workspace : workbench::Workspace{};
}

TEST(ChartWorkspace, ThePagesFilterIsPartOfTheChartsMember)
{
    const workbench::Workspace workspace =
        workspaceOf(R"({"tables": [], "charts": {"filter": " RPM > 800 ", "panes": [{"channels": ["RPM"]}]}})");
    const ChartPageResult page = workspaceChartPage(workspace);
    ASSERT_TRUE(page.ok()) << page.error;
    EXPECT_EQ(page.page->filter, " RPM > 800 ");

    // Written back through the workbench's writer, the page comes back the same.
    const workbench::WorkspaceResult again = workbench::parseWorkspace(workbench::workspaceToJson(withChartPage(workspace, *page.page)));
    ASSERT_TRUE(again.ok()) << again.error;
    EXPECT_EQ(*workspaceChartPage(*again.workspace).page, *page.page);

    EXPECT_EQ(parseChartPage(json::parse(R"({"panes": [{}], "filter": "  "})")).page->filter, "") << "blank: no filter";
    EXPECT_FALSE(chartPageJson(ChartPage{{ChartPane{}}, ""}).contains("filter"));
    EXPECT_EQ(parseChartPage(json::parse(R"({"panes": [{}], "filter": 5})")).error,
              "charts.filter: must be an expression in a text");
    EXPECT_FALSE(workspaceChartPage(workspaceOf(R"({"tables": []})")).ok());
    EXPECT_TRUE(workspaceChartPage(workspaceOf(R"({"tables": []})")).error.empty()) << "no charts: the default page";
}

TEST(ChartWorkspace, CalculatedChannelsAndTheFilterAreComputedOverTheLog)
{
    const workbench::Workspace workspace = workspaceOf(R"({"channels": [
        {"name": "Load", "expr": "MAP / 100"},
        {"name": "dRPM", "expr": "RPM - RPM[-1]"},
        {"name": "MAP", "expr": "MAP * 2"}], "tables": []})");
    const WorkspaceChannels channels = workspaceChannels(smallLog(), workspace, "dRPM > 0 && Load > 0.3");
    ASSERT_TRUE(channels.errors.empty()) << channels.errors.front();
    LogChannelSource& source = *channels.source;
    const ColumnPtr load = source.column("Load");
    ASSERT_TRUE(load);
    ASSERT_EQ(load->size(), 6u);
    EXPECT_DOUBLE_EQ((*load)[1], 0.4);
    EXPECT_TRUE(std::isnan((*load)[2])) << "no number in, no number out";
    EXPECT_DOUBLE_EQ((*source.column("MAP"))[3], 120) << "a channel hides the parameter of its name";
    EXPECT_EQ(source.channelNames().back(), "dRPM");
    ASSERT_TRUE(source.keepMask());
    // dRPM: -, 100, 100, 100, -100, -100; Load: 0.3, 0.4, -, 0.6, 0.7, 0.8.
    EXPECT_EQ(*source.keepMask(), (KeepMask{0, 1, 0, 1, 0, 0}));

    const WorkspaceChannels plain = workspaceChannels(smallLog(), workspace, "");
    EXPECT_FALSE(plain.source->keepMask()) << "no filter: every take is kept";
}

TEST(ChartWorkspace, ExpressionsThatDoNotFitTheLogAreToldAndLeftOut)
{
    const workbench::Workspace workspace = workspaceOf(R"({"channels": [
        {"name": "Bad", "expr": "ECT * 2"}, {"name": "Good", "expr": "RPM / 2"}],
        "tables": [{"name": "T", "x": "NoSuch", "xAxis": [1], "z": "RPM", "stat": "mean"}]})");
    const WorkspaceChannels channels = workspaceChannels(smallLog(), workspace, "Bad > 1");
    ASSERT_EQ(channels.errors.size(), 2u) << "the table's fault is not the charts' business";
    EXPECT_EQ(channels.errors[0], "channel \"Bad\": unknown name \"ECT\" at column 1 of \"ECT * 2\"");
    EXPECT_EQ(channels.errors[1], "charts, filter: channel \"Bad\" has an error at column 1 of \"Bad > 1\"");
    EXPECT_FALSE(channels.source->column("Bad"));
    EXPECT_TRUE(channels.source->column("Good"));
    EXPECT_FALSE(channels.source->keepMask()) << "a filter that fails keeps every take";

    const WorkspaceChannels syntax = workspaceChannels(smallLog(), workspace, "RPM >");
    ASSERT_EQ(syntax.errors.size(), 2u);
    EXPECT_TRUE(syntax.errors[1].starts_with("charts, filter: ")) << syntax.errors[1];
}

}  // namespace
}  // namespace dlv

namespace dlv {
namespace {

// A log with more parameters than any chart below reads.
std::string wideLog()
{
    std::string log = "t\nTime,RPM,MAP,TPS,BLM,ECT,IAT,BATT,O2\n";
    for (int t = 0; t < 500; ++t) {
        log += std::to_string(t / 10.0);
        for (int p = 1; p < 9; ++p)
            log += "," + std::to_string((t * 7 + p * 13) % 300 - (p == 4 ? 20 : 0));
        log += "\n";
    }
    return log;
}

// Same values, the same bits (NaN where no number).
bool sameColumns(const ColumnPtr& a, const ColumnPtr& b)
{
    return a && b && a->size() == b->size() && std::memcmp(a->data(), b->data(), a->size() * sizeof(double)) == 0;
}

TEST(ChartLog, TheChartsReadExactlyTheParametersTheirPageChannelsAndFilterName)
{
    const std::vector<std::string> names{"Time", "RPM", "MAP", "TPS", "BLM", "ECT", "IAT", "BATT", "O2", ""};
    const workbench::Workspace workspace = workspaceOf(R"({"channels": [{"name": "Load", "expr": "MAP / 100"}],
        "tables": [{"name": "T", "x": "O2", "xAxis": [1, 2], "z": "O2", "stat": "mean"}],
        "charts": {"filter": "TPS > 3", "panes": [{"channels": ["Load", "BATT"]},
                   {"type": "scatter", "x": "RPM", "y": "BLM", "color": "IAT"}]}})");
    const ChartPageResult page = workspaceChartPage(workspace);
    ASSERT_TRUE(page.ok()) << page.error;
    // The time axis (parameter 0) too; not the tables' O2, nor the unnamed ECT.
    EXPECT_EQ(chartParameters(names, workspace, page), (std::vector<long long>{0, 1, 2, 3, 4, 6, 7}));
    // No charts: the default page of RPM, MAP, TPS and BLM.
    EXPECT_EQ(chartParameters(names, workspaceOf(R"({"tables": []})"), {}), (std::vector<long long>{0, 1, 2, 3, 4}));
}

TEST(ChartLog, AStreamedLogGivesTheChartsOfTheWholeReading)
{
    dlvtest::TempLogs dir;
    const std::string bytes = wideLog();
    const std::string path = dir.write("wide.csv", bytes);
    const workbench::Workspace workspace = workspaceOf(R"({"channels": [{"name": "dRPM", "expr": "RPM - RPM[-1]"}],
        "tables": [], "charts": {"filter": "MAP > 100", "panes": [{"channels": ["dRPM", "O2"]}, {"channels": ["Time"]}]}})");
    const ChartPageResult page = workspaceChartPage(workspace);
    ASSERT_TRUE(page.ok()) << page.error;

    const ChartLog log = readChartLog(path, workspace, page);
    ASSERT_TRUE(log.columns) << log.error;
    EXPECT_FALSE(log.columns->hasStore()) << "a regular file streams";
    const WorkspaceCharts streamed = workspaceCharts(log.columns, workspace, page);
    const WorkspaceCharts whole =
        workspaceCharts(std::make_shared<ColumnCache>(readDataLogBytes(bytes, "wide.csv").store), workspace, page);
    ASSERT_TRUE(streamed.channels.errors.empty());
    EXPECT_EQ(streamed.page.takeCount, 500);
    ASSERT_EQ(streamed.page.panes.size(), whole.page.panes.size());
    for (std::size_t p = 0; p < whole.page.panes.size(); ++p)
        for (std::size_t c = 0; c < whole.page.panes[p].channels.size(); ++c)
            EXPECT_TRUE(sameColumns(streamed.page.panes[p].channels[c].values, whole.page.panes[p].channels[c].values))
                << "pane " << p << ", channel " << c;
    EXPECT_TRUE(sameColumns(streamed.page.time, whole.page.time));
    ASSERT_TRUE(streamed.page.keep && whole.page.keep);
    EXPECT_EQ(*streamed.page.keep, *whole.page.keep);

    // A parameter the charts did not read is streamed again when asked for.
    EXPECT_TRUE(sameColumns(log.columns->column(5), ColumnCache(readDataLogBytes(bytes, "w").store).column(5)));
}

TEST(ChartLog, ALogThatCannotBeReadIsToldAsTheWholeReadingTellsIt)
{
    dlvtest::TempLogs dir;
    const workbench::Workspace workspace = workspaceOf(R"({"tables": []})");
    const ChartLog missing = readChartLog(dir.path("none.csv"), workspace, {});
    EXPECT_FALSE(missing.columns);
    EXPECT_EQ(missing.error, readDataLog(dir.path("none.csv")).error);
    const ChartLog oneLine = readChartLog(dir.write("one.csv", "title only\n"), workspace, {});
    EXPECT_FALSE(oneLine.columns);
    EXPECT_NE(oneLine.error.find("fewer than two lines"), std::string::npos) << oneLine.error;
    // What streaming leaves to the whole reading is still read, warnings and all.
    const ChartLog ragged = readChartLog(dir.write("r.csv", "t\nRPM,MAP\n1,2\n3\n"), workspace, {});
    ASSERT_TRUE(ragged.columns) << ragged.error;
    ASSERT_EQ(ragged.warnings.size(), 1u);
    EXPECT_EQ(ragged.warnings[0].kind, ReadWarning::Kind::FewerFieldsThanNames);
}

// The Charts and Tables tabs of one window share each log's session: a
// channel the charts computed is the column the tables then bin, not a
// second evaluation, and an edit of the channels is computed anew.
TEST(ChartWorkspace, ChannelsComputedThroughALogsSessionStayInItForTheTables)
{
    workbench::Workspace workspace = workspaceOf(R"({"channels": [{"name": "Load", "expr": "MAP / 100"}],
        "tables": [{"name": "T", "x": "RPM", "xAxis": [800, 1000], "z": "Load", "stat": "mean"}]})");
    workbench::LogSession session(smallLog());
    const WorkspaceChannels charts = workspaceChannels(session, workspace, "RPM > 800");
    ASSERT_TRUE(charts.errors.empty()) << charts.errors.front();
    const ColumnPtr load = charts.source->column("Load");
    ASSERT_TRUE(load);
    EXPECT_FALSE(charts.source->keepMask()->empty());

    const workbench::Program program = workbench::compileWorkspace(workspace, session.paramNames());
    EXPECT_EQ(session.channel(program, 0), load) << "the tables find the charts' values";
    const WorkspaceChannels again = workspaceChannels(session, workspace, "");
    EXPECT_EQ(again.source->column("Load"), load) << "and so do the charts the next time";

    workspace.channels[0].expr = "MAP / 50";
    const WorkspaceChannels edited = workspaceChannels(session, workspace, "");
    ASSERT_TRUE(edited.source->column("Load"));
    EXPECT_DOUBLE_EQ((*edited.source->column("Load"))[1], 0.8) << "an edited channel is computed again";
    EXPECT_DOUBLE_EQ((*load)[1], 0.4) << "and the values already handed out stay as they were";
}

}  // namespace
}  // namespace dlv
