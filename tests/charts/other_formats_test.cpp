// What the workbench and the charts make of logs of other formats, whose
// tools name the same channels differently: the default table and page
// found by name, headings with units, and the time axis in seconds.
#include "charts/chart_data.h"
#include "charts/chart_page.h"
#include "datalog/columns.h"
#include "workbench/default_table.h"
#include "workbench/table_session.h"

#include "support/memory_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using dlv::ChannelRole;

std::shared_ptr<dlvtest::MemoryLog> logNamed(std::vector<std::string> names, std::vector<dlv::ChannelInfo> infos = {})
{
    std::vector<std::vector<double>> columns(names.size());
    for (std::size_t p = 0; p < names.size(); ++p)
        for (int t = 0; t < 6; ++t)
            columns[p].push_back(static_cast<double>(t * 10 + p));
    infos.resize(names.size());
    return std::make_shared<dlvtest::MemoryLog>(std::move(names), std::move(columns), std::move(infos));
}

TEST(ChannelRoles, UsualNamesThenWordsOfTheName)
{
    const std::vector<std::string> plx{"Time (msec)", "PLX Engine Speed (rpm)", "PLX Manifold Pressure (kPa)",
                                       "Throttle Position (%)", "PLX Wideband AFR"};
    EXPECT_EQ(dlv::findChannelFor(plx, ChannelRole::Rpm), 1);
    EXPECT_EQ(dlv::findChannelFor(plx, ChannelRole::Map), 2);
    EXPECT_EQ(dlv::findChannelFor(plx, ChannelRole::Tps), 3);
    EXPECT_EQ(dlv::findChannelFor(plx, ChannelRole::Mixture), 4);

    const std::vector<std::string> ecu{"Time", "rpm", "MAP", "TPS", "Lambda", "AFR"};
    EXPECT_EQ(dlv::findChannelFor(ecu, ChannelRole::Rpm), 1) << "any case";
    EXPECT_EQ(dlv::findChannelFor(ecu, ChannelRole::Mixture), 5) << "AFR before Lambda";
    const std::vector<std::string> none{"Time", "Mapping table", "RPMish", "Throttled"};
    EXPECT_FALSE(dlv::findChannelFor(none, ChannelRole::Rpm)) << "words, not parts of words";
    EXPECT_FALSE(dlv::findChannelFor(none, ChannelRole::Map));
    EXPECT_FALSE(dlv::findChannelFor(none, ChannelRole::Tps));
    EXPECT_FALSE(dlv::findChannelFor({}, ChannelRole::Mixture));

    EXPECT_EQ(dlv::defaultTargetFor("Lambda"), 1.0);
    EXPECT_EQ(dlv::defaultTargetFor("PLX Wideband AFR (AFR)"), 14.7);
    EXPECT_EQ(dlv::defaultTargetFor("BLM"), dlv::kDefaultTableTarget);
}

TEST(OtherFormatDefaults, TableAndPageFindTheChannelsByName)
{
    auto log = logNamed({"Time", "Engine Speed", "TPS", "MAP", "AFR"});
    dlv::ColumnCache columns{std::shared_ptr<const dlv::LogChannels>(log)};
    const dlv::Workspace workspace = dlv::defaultWorkspace(columns);
    ASSERT_EQ(workspace.tables.size(), 1u);
    const dlv::Table& table = workspace.tables.front();
    EXPECT_EQ(table.name, "AFR by Engine Speed and MAP");
    EXPECT_EQ(table.x, "MAP");
    EXPECT_EQ(table.y, "{Engine Speed}");
    EXPECT_EQ(table.z, "AFR");
    EXPECT_EQ(table.target, 14.7);

    const dlv::ChartPage page = dlv::defaultChartPage({"Time", "Engine Speed", "TPS", "MAP", "AFR"}, true);
    std::vector<std::string> shown;
    for (const auto& pane : page.panes)
        shown.push_back(pane.channels.front().name);
    EXPECT_EQ(shown, (std::vector<std::string>{"Engine Speed", "MAP", "TPS", "AFR"}));
    // The own format's page is as before: exact names, then parameters 1 ...
    const dlv::ChartPage own = dlv::defaultChartPage({"Time", "Engine Speed", "TPS", "MAP", "AFR"});
    shown.clear();
    for (const auto& pane : own.panes)
        shown.push_back(pane.channels.front().name);
    EXPECT_EQ(shown, (std::vector<std::string>{"MAP", "TPS", "Engine Speed", "AFR"}));

    // A log with none of them takes the first channels after the time.
    auto plain = logNamed({"Time", "A", "B", "C"});
    dlv::ColumnCache plainColumns{std::shared_ptr<const dlv::LogChannels>(plain)};
    const dlv::Table fallback = dlv::defaultWorkspace(plainColumns).tables.front();
    EXPECT_EQ(fallback.y, "A");
    EXPECT_EQ(fallback.x, "B");
    EXPECT_EQ(fallback.z, "C");
    auto tiny = logNamed({"Only"});
    dlv::ColumnCache tinyColumns{std::shared_ptr<const dlv::LogChannels>(tiny)};
    EXPECT_EQ(dlv::defaultWorkspace(tinyColumns).tables.size(), 1u) << "one channel is no reason to fail";
}

TEST(OtherFormatDefaults, HeadingsCarryUnitsAndTheTimeAxisIsInSeconds)
{
    auto log = dlvtest::drive();
    EXPECT_EQ(dlv::expressionHeading(log.get(), "RPM"), "RPM [rpm]");
    EXPECT_EQ(dlv::expressionHeading(log.get(), "{RPM}"), "{RPM}") << "only the names the table writes";
    EXPECT_EQ(dlv::expressionHeading(log.get(), "RPM / 2"), "RPM / 2");
    EXPECT_EQ(dlv::expressionHeading(log.get(), "Fan"), "Fan") << "no unit, nothing added";
    EXPECT_EQ(dlv::expressionHeading(nullptr, "RPM"), "RPM");

    auto columns = std::make_shared<dlv::ColumnCache>(std::shared_ptr<const dlv::LogChannels>(log));
    dlv::LogChannelSource source(columns);
    EXPECT_EQ(source.unitOf("RPM"), "rpm");
    EXPECT_EQ(source.unitOf("Fan"), "");
    EXPECT_EQ(source.unitOf("Nothing"), "");
    const dlv::ColumnPtr time = source.timeColumn();
    ASSERT_TRUE(time);
    EXPECT_EQ(*time, (dlv::Column{5, 35, 65, 95})) << "milliseconds become seconds";
    log->m_time.reset();
    dlv::LogChannelSource untimed(std::make_shared<dlv::ColumnCache>(std::shared_ptr<const dlv::LogChannels>(log)));
    EXPECT_FALSE(untimed.timeColumn());
}

}  // namespace
