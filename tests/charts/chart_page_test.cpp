// The chart page in the workspace file, the default page, and channels looked
// up by name in a log.
#include "charts/chart_data.h"
#include "charts/chart_page.h"
#include "datalog/take_store.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>

namespace dlv {
namespace {

using nlohmann::json;

ChartPage samplePage()
{
    ChartPage page;
    page.panes.push_back({ChartPaneKind::Stacked, {{"RPM", std::nullopt}, {"MAP", 0xD55E00}}, {}, {}, {}});
    page.panes.push_back({ChartPaneKind::Scatter, {}, "RPM", "BLM", "MAP"});
    page.panes.push_back({ChartPaneKind::Scatter, {}, "RPM", "BLM", ""});
    page.panes.push_back({ChartPaneKind::Stacked, {}, {}, {}, {}});
    return page;
}

TEST(ChartPage, APageSurvivesTheFileAndUnknownMembersAreIgnored)
{
    const ChartPage page = samplePage();
    const json written = chartPageJson(page);
    EXPECT_EQ(written["panes"][0]["channels"][0], "RPM") << "a channel without its own colour is a plain name";
    EXPECT_EQ(written["panes"][0]["channels"][1]["color"], "#d55e00");
    const ChartPageResult back = parseChartPage(json::parse(written.dump()));
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(*back.page, page);

    const ChartPageResult later = parseWorkspaceCharts(R"({"version": 9, "channels": [],
        "charts": {"panes": [{"channels": ["RPM"], "height": 3}], "theme": "dark"}})");
    ASSERT_TRUE(later.ok()) << later.error;
    EXPECT_EQ(later.page->panes[0].channels[0].name, "RPM");
}

TEST(ChartPage, AWorkspaceWithoutChartsHasNoPageAndNoError)
{
    const ChartPageResult none = parseWorkspaceCharts(R"({"filter": "RPM > 800"})");
    EXPECT_FALSE(none.ok());
    EXPECT_TRUE(none.error.empty());
    EXPECT_TRUE(parseWorkspaceCharts(R"({"charts": null})").error.empty());
}

TEST(ChartPage, ErrorsNameThePlaceInTheFile)
{
    auto error = [](const char* text) { return parseWorkspaceCharts(text).error; };
    EXPECT_EQ(error("{\"charts\": {\"panes\": [\n {\"channels\": [\"A\",]}]}}"), "not valid JSON at line 2, column 20");
    EXPECT_EQ(error("[1, 2]"), "a workspace is a JSON object");
    EXPECT_EQ(error(R"({"charts": []})"), "charts: must be an object with \"panes\"");
    EXPECT_EQ(error(R"({"charts": {"panes": []}})"), "charts.panes: needs 1 to 8 panes, not 0");
    EXPECT_EQ(error(R"({"charts": {"panes": [{},{},{},{},{},{},{},{},{}]}})"), "charts.panes: needs 1 to 8 panes, not 9");
    EXPECT_EQ(error(R"({"charts": {"panes": [{"channels": ["a","b","c","d","e","f","g"]}]}})"),
              "charts.panes[0].channels: a pane holds at most 6 channels, not 7");
    EXPECT_EQ(error(R"({"charts": {"panes": [{}, {"channels": ["RPM", {"name": "MAP", "color": "blue"}]}]}})"),
              "charts.panes[1].channels[1].color: a colour is written \"#rrggbb\"");
    EXPECT_EQ(error(R"({"charts": {"panes": [{"channels": [""]}]}})"),
              "charts.panes[0].channels[0]: a channel name must not be empty");
    EXPECT_EQ(error(R"({"charts": {"panes": [{"channels": [{"color": "#000000"}]}]}})"),
              "charts.panes[0].channels[0]: the channel has no \"name\"");
    EXPECT_EQ(error(R"({"charts": {"panes": [{"type": "pie"}]}})"),
              "charts.panes[0].type: must be \"stacked\" or \"scatter\", not \"pie\"");
    EXPECT_EQ(error(R"({"charts": {"panes": [{"type": "scatter", "x": "RPM"}]}})"),
              "charts.panes[0]: a scatter pane needs \"y\"");
    EXPECT_EQ(error(R"({"charts": {"panes": [{"type": "scatter", "x": "RPM", "y": 5}]}})"),
              "charts.panes[0].y: a channel name must be a text");
}

TEST(ChartDefaultPage, NamedChannelsComeFirstInTheirOrderThenParametersOneToFour)
{
    auto names = [](const ChartPage& page) {
        std::vector<std::string> out;
        for (const ChartPane& pane : page.panes) {
            EXPECT_EQ(pane.channels.size(), 1u);
            out.push_back(pane.channels.at(0).name);
        }
        return out;
    };
    EXPECT_EQ(names(defaultChartPage({"TIME", "BLM", "TPS", "x", "MAP", "RPM"})),
              (std::vector<std::string>{"RPM", "MAP", "TPS", "BLM"}));
    EXPECT_EQ(names(defaultChartPage({"Time", "A", "B", "C", "D", "E"})), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(names(defaultChartPage({"Time", "A", "rpm", "C"})), (std::vector<std::string>{"rpm", "A", "C"}))
        << "a missing name's slot takes the next parameter not yet shown";
    EXPECT_EQ(names(defaultChartPage({"Time"})), (std::vector<std::string>{"Time"}));
    EXPECT_TRUE(defaultChartPage({}).panes.empty());
}

TEST(ChartChannels, PagesResolveAgainstTheLogByNameAndTellWhatIsMissing)
{
    const ReadResult log = readDataLogBytes("title\n Time ,RPM,MAP,RPM\n0,800,30,1\n0.1,900,x,2\n0.2,1000,50,3\n", "t.csv");
    ASSERT_TRUE(log.ok());
    auto source = LogChannelSource(std::make_shared<ColumnCache>(log.store));
    EXPECT_EQ(source.channelNames(), (std::vector<std::string>{"Time", "RPM", "MAP", "RPM"}));
    source.addChannel("Load", std::make_shared<const Column>(Column{0.5, 0.6, 0.7}));
    auto keep = std::make_shared<const KeepMask>(KeepMask{1, 0, 1});
    source.setKeepMask(keep);

    ChartPage page;
    page.panes.push_back({ChartPaneKind::Stacked, {{"RPM", std::nullopt}, {"Nope", std::nullopt}, {"Load", 0x123456}}, {}, {}, {}});
    page.panes.push_back({ChartPaneKind::Scatter, {}, "RPM", "MAP", ""});
    const ResolvedPage resolved = resolveChartPage(page, source);
    EXPECT_EQ(resolved.takeCount, 3);
    ASSERT_TRUE(resolved.time) << "Time counts up in every take";
    EXPECT_EQ(resolved.keep, keep);
    ASSERT_EQ(resolved.panes.size(), 2u);
    const auto& stacked = resolved.panes[0].channels;
    ASSERT_TRUE(stacked[0].values);
    EXPECT_EQ(*stacked[0].values, (Column{800, 900, 1000})) << "the first RPM is meant";
    EXPECT_FALSE(stacked[1].values);
    EXPECT_EQ(stacked[2].color, 0x123456u);
    EXPECT_EQ(stacked[1].color, defaultChannelColor(1));
    EXPECT_EQ(stacked[2].values->at(1), 0.6);
    const auto& scatter = resolved.panes[1].channels;
    ASSERT_EQ(scatter.size(), 3u);
    EXPECT_TRUE(std::isnan(scatter[1].values->at(1)));
    EXPECT_FALSE(scatter[2].values) << "no colour channel";
    EXPECT_EQ(resolved.missing, (std::vector<std::string>{"pane 1: no channel \"Nope\""}));

    const ReadResult noClock = readDataLogBytes("t\nTime,RPM\n0,1\n,2\n", "n.csv");
    auto other = LogChannelSource(std::make_shared<ColumnCache>(noClock.store));
    EXPECT_FALSE(resolveChartPage(page, other).time) << "a take without a time: the axis shows takes";
}

}  // namespace
}  // namespace dlv
