// The Charts tab over a workspace: its page, calculated channels and filter
// computed on the open log, the filter field, faults in the status line, and
// edits reported back into the workspace.
#include "charts/chart_workspace.h"
#include "datalog/take_store.h"
#include "render/chart_renderer.h"
#include "window/charts_tab.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr QRgb kShade = 0xFFDCDCDC;

// Takes 0 .. 200 with RPM = 800 + 10 t and MAP going round 30 .. 79.
std::shared_ptr<dlv::ColumnCache> testColumns()
{
    std::ostringstream log;
    log << "title\nTime,RPM,MAP,TPS,BLM\n";
    for (int t = 0; t <= 200; ++t)
        log << t * 0.1 << ',' << 800 + 10 * t << ',' << 30 + t % 50 << ',' << t % 100 << ',' << 125 + t % 7 << '\n';
    const dlv::ReadResult read = dlv::readDataLogBytes(log.str(), "test.csv");
    EXPECT_TRUE(read.ok());
    return std::make_shared<dlv::ColumnCache>(read.store);
}

dlv::workbench::Workspace workspaceOf(const char* text)
{
    dlv::workbench::WorkspaceResult result = dlv::workbench::parseWorkspace(text);
    EXPECT_TRUE(result.ok()) << result.error;
    return result.ok() ? *result.workspace : dlv::workbench::Workspace{};
}

class ChartsWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tab.resize(1000, 720);
        tab.setColumns(testColumns());
        tab.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tab));
        filter = tab.findChild<QLineEdit*>(QStringLiteral("chartFilter"));
        ASSERT_TRUE(filter);
    }
    // Pixels of the shade in the column of take in the first pane's plot (away
// from the grid lines at whole seconds).
    int shadeAt(double take) const
    {
        const QImage image = tab.view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const dlv::ChartRenderer& renderer = tab.view()->renderer();
        const QRect plot = renderer.geometry(tab.view()->size())[0].plot;
        const int x = static_cast<int>(renderer.pixelOfTake(take, tab.view()->size()));
        int n = 0;
        for (int y = plot.top() + 1; y < plot.bottom(); ++y)
            n += image.pixel(x, y) == kShade;
        return n;
    }

    dlv::ChartsTab tab;
    QLineEdit* filter = nullptr;
};

TEST_F(ChartsWorkspaceTest, TheWorkspacesPageChannelsAndFilterAreShown)
{
    tab.setWorkspace(workspaceOf(R"({"channels": [{"name": "Load", "expr": "MAP / 100"}], "tables": [],
        "charts": {"filter": "RPM < 1800", "panes": [{"channels": ["Load", "RPM"]}]}})"));
    ASSERT_EQ(tab.page().panes.size(), 1u);
    EXPECT_EQ(filter->text(), QStringLiteral("RPM < 1800"));
    EXPECT_EQ(tab.statusText(), QString());
    const dlv::ResolvedPage& shown = tab.view()->renderer().page();
    ASSERT_TRUE(shown.panes[0].channels[0].values) << "the calculated channel is drawn";
    EXPECT_DOUBLE_EQ(shown.panes[0].channels[0].values->at(10), 0.4);
    EXPECT_EQ(shadeAt(20), 0);
    EXPECT_GT(shadeAt(160), 100) << "RPM 2400 is dropped";

    // A new log keeps the workspace's page and computes its channels again.
    tab.setColumns(testColumns());
    EXPECT_EQ(tab.page().panes.size(), 1u);
    EXPECT_TRUE(tab.view()->renderer().page().panes[0].channels[0].values);
    EXPECT_GT(shadeAt(160), 100);
}

TEST_F(ChartsWorkspaceTest, TheFilterFieldShadesKeepsTheViewAndGoesIntoTheWorkspace)
{
    ASSERT_EQ(tab.page().panes.size(), 4u) << "the default page";
    dlv::CurveZoom zoom = tab.view()->renderer().zoom();
    zoom.setVisible(50, 130);
    tab.view()->renderer().setZoom(zoom);
    QSignalSpy edited(&tab, &dlv::ChartsTab::pageEdited);
    filter->setFocus();
    QTest::keyClicks(filter, QStringLiteral("TPS < 60"));
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(tab.page().filter, "TPS < 60");
    EXPECT_EQ(tab.page().panes.size(), 4u) << "the default page stays";
    EXPECT_EQ(tab.view()->renderer().zoom(), zoom) << "the view stays";
    EXPECT_GT(shadeAt(170), 100) << "TPS 70";
    EXPECT_EQ(shadeAt(110), 0) << "TPS 10";

    // Saving the workspace writes what is on show, the filter included.
    const dlv::ChartPageResult saved = dlv::workspaceChartPage(tab.workspace());
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(*saved.page, tab.page());
}

TEST_F(ChartsWorkspaceTest, FaultsAreToldInTheStatusLineAndTheRestIsDrawn)
{
    tab.setWorkspace(workspaceOf(R"({"channels": [{"name": "Bad", "expr": "ECT * 2"}], "tables": [],
        "charts": {"panes": [{"channels": ["Bad", "RPM"]}]}})"));
    EXPECT_TRUE(tab.statusText().startsWith(QStringLiteral("channel \"Bad\": unknown name \"ECT\""))) << tab.statusText().toStdString();
    EXPECT_TRUE(tab.view()->renderer().page().panes[0].channels[1].values) << "RPM is still drawn";

    tab.setFilter(QStringLiteral("NoSuch > 1"));
    EXPECT_EQ(shadeAt(100), 0) << "a filter that fails keeps every take";

    tab.setWorkspace(workspaceOf(R"({"tables": [], "charts": {"panes": 3}})"));
    EXPECT_TRUE(tab.statusText().contains(QStringLiteral("charts: needs \"panes\""))) << tab.statusText().toStdString();
    EXPECT_EQ(tab.page().panes.size(), 4u) << "the default page";
}

}  // namespace
