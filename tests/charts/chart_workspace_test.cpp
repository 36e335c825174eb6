// The charts of a workspace: the page's filter in the file, and calculated
// channels and the filter computed by the workbench over one log.
#include "charts/chart_workspace.h"
#include "datalog/take_store.h"
#include "workbench/workspace.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>

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
