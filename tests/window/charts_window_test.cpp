// The Charts tab inside the window: the default page of an opened log, a
// click on the charts scrolling Grid1 as a click on the curve does, and
// File, Export Chart.
#include "charts/chart_workspace.h"
#include "render/chart_renderer.h"
#include "support/temp_logs.h"
#include "window/cell_grid.h"
#include "window/charts_tab.h"
#include "window/form1.h"
#include "window/tables_tab.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

namespace {

using dlv::Form1;

TEST(ChartsWindow, TheTabShowsTheDefaultPageAndAClickScrollsGrid1ToTheTake)
{
    dlvtest::TempLogs logs;
    Form1 form;
    QStringList errors;
    form.setMessageHandler([&](Form1::MessageKind, const QString&, const QString& text) { errors << text; });
    form.show();
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("Tab1"));
    // After the design tabs, and after "Tables" where the window has it.
    const int chartsIndex = tabs->indexOf(form.charts());
    ASSERT_GE(chartsIndex, 3);
    EXPECT_EQ(tabs->tabText(chartsIndex), QStringLiteral("Charts"));
    for (int i = chartsIndex + 1; i < tabs->count(); ++i)
        EXPECT_NE(tabs->tabText(i), QStringLiteral("Tables"));
    EXPECT_TRUE(form.findChild<QAction*>(QStringLiteral("mnuExportChart")));

    std::string log = "t\nTime,RPM,MAP,TPS,BLM\n";
    for (int t = 0; t < 2000; ++t)
        log += std::to_string(t / 10.0) + "," + std::to_string(800 + t) + ",40,10,128\n";
    form.openFile(QString::fromStdString(logs.write("log.csv", log)));
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();

    tabs->setCurrentIndex(chartsIndex);
    dlv::ChartsTab* charts = form.charts();
    ASSERT_EQ(charts->page().panes.size(), 4u);
    EXPECT_EQ(charts->page().panes[3].channels[0].name, "BLM");
    dlv::ChartView* view = charts->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));

    auto* grid1 = form.findChild<dlv::CellGrid*>(QStringLiteral("Grid1"));
    auto columnInView = [&](int col) {
        return grid1->viewport()->rect().intersects(grid1->visualRect(grid1->model()->index(0, col - 1)));
    };
    const QRect plot = view->renderer().geometry(view->size())[1].plot;
    const int x = static_cast<int>(view->renderer().pixelOfTake(1500, view->size()));
    const int take = dlv::clickedTake(view->renderer().takeAtPixel(x, view->size()));
    ASSERT_FALSE(columnInView(take + 1));
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(x, plot.center().y()));
    EXPECT_EQ(view->cursorTake(), take);
    EXPECT_TRUE(columnInView(take + 1)) << "the take's own column is in view";

    // Export, then a failing export that leaves the chart alone.
    const QString png = QString::fromStdString(logs.path("chart.png"));
    form.exportChart(png);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(QImage(png).size(), view->size());
    form.exportChart(QString::fromStdString(logs.path("missing/chart.png")));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("missing/chart.png")));
    EXPECT_EQ(view->cursorTake(), take);

    // Zoomed in, F5 on the same file, then on the file grown: the view stays.
    QWheelEvent wheel(QPointF(x, plot.center().y()), view->mapToGlobal(QPointF(x, plot.center().y())), {}, {0, 480},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
    const dlv::CurveZoom zoomed = view->renderer().zoom();
    ASSERT_FALSE(zoomed.isWhole());
    QTest::keyClick(&form, Qt::Key_F5);
    EXPECT_EQ(view->renderer().zoom(), zoomed);
    EXPECT_EQ(view->cursorTake(), take);
    {
        std::ofstream grown(logs.path("log.csv"), std::ios::binary | std::ios::app);
        for (int t = 2000; t < 2100; ++t)
            grown << std::to_string(t / 10.0) + "," + std::to_string(800 + t) + ",40,10,128\n";
    }
    QTest::keyClick(&form, Qt::Key_F5);
    EXPECT_EQ(view->renderer().page().takeCount, 2100);
    EXPECT_DOUBLE_EQ(view->renderer().zoom().left(), zoomed.left());
    EXPECT_DOUBLE_EQ(view->renderer().zoom().width(), zoomed.width());
    EXPECT_EQ(view->cursorTake(), take);

    // Another log starts with its whole view.
    form.openFile(QString::fromStdString(logs.write("other.csv", log)));
    EXPECT_TRUE(view->renderer().zoom().isWhole());
}

}  // namespace

namespace {

// The workspace Save Workspace wrote at path, or none (the reason told).
std::optional<dlv::workbench::Workspace> readSaved(const QString& path)
{
    QFile saved(path);
    if (!saved.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no file " << path.toStdString();
        return std::nullopt;
    }
    dlv::workbench::WorkspaceResult read = dlv::workbench::parseWorkspace(saved.readAll().toStdString());
    if (!read.ok()) {
        ADD_FAILURE() << read.error;
        return std::nullopt;
    }
    return std::move(*read.workspace);
}

// A window whose messages are kept and whose file dialogs answer chosen.
class ChartsWorkspaceWindow : public ::testing::Test {
protected:
    ChartsWorkspaceWindow()
    {
        form.setMessageHandler([this](Form1::MessageKind, const QString&, const QString& text) { errors << text; });
        form.setPathChooser([this](const QString&, bool) { return chosen; });
    }

    dlvtest::TempLogs files;
    Form1 form;
    QStringList errors;
    QString chosen;
};

// The window has one workspace, which both tabs edit: opening one shows its
// charts and calculated channels, editing its channels reaches the charts,
// and saving it keeps the page the Charts tab shows.
TEST_F(ChartsWorkspaceWindow, TheChartsFollowTheWindowsWorkspace)
{
    auto trigger = [&](const char* name) { form.findChild<QAction*>(QString::fromLatin1(name))->trigger(); };
    form.openFile(QStringLiteral(DLV_SOURCE_DIR "/examples/sample.csv"));
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
    dlv::ChartsTab* charts = form.charts();
    ASSERT_EQ(charts->page().panes.size(), 4u) << "the default page";

    chosen = QString::fromStdString(files.write("w.json", R"({"channels": [{"name": "Load", "expr": "MAP / 100"}],
        "tables": [], "charts": {"filter": "RPM > 2000", "panes": [{"channels": ["Load", "RPM"]}]}})"));
    trigger("mnuOpenWorkspace");
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
    ASSERT_EQ(charts->page().panes.size(), 1u);
    EXPECT_EQ(charts->page().filter, "RPM > 2000");
    const dlv::ResolvedPage& shown = charts->view()->renderer().page();
    ASSERT_TRUE(shown.panes[0].channels[0].values) << "the workspace's channel";
    ASSERT_TRUE(shown.keep);
    EXPECT_EQ(charts->statusText(), QString());
    const double load = shown.panes[0].channels[0].values->at(10);

    // A channel edited in the window reaches the charts; the page stays.
    form.tablesTab()->setChannels({{"Load", "MAP / 50"}});
    const dlv::ResolvedPage& again = charts->view()->renderer().page();
    ASSERT_TRUE(again.panes[0].channels[0].values);
    EXPECT_DOUBLE_EQ(again.panes[0].channels[0].values->at(10), 2 * load);
    EXPECT_EQ(charts->page().panes.size(), 1u);

    // An edit on the Charts tab is saved with the workspace.
    charts->addPane(dlv::ChartPaneKind::Stacked);
    chosen = QString::fromStdString(files.path("saved.json"));
    trigger("mnuSaveWorkspace");
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
    const std::optional<dlv::workbench::Workspace> read = readSaved(chosen);
    ASSERT_TRUE(read);
    const dlv::ChartPageResult page = dlv::workspaceChartPage(*read);
    ASSERT_TRUE(page.ok()) << page.error;
    EXPECT_EQ(*page.page, charts->page());
    EXPECT_EQ(page.page->panes.size(), 2u);
    EXPECT_EQ(read->channels.at(0).expr, "MAP / 50");
}

// A page edited on the Charts tab is the workspace's page from then on: the
// next log the window opens (which brings its own default tables) shows it,
// and Save Workspace writes it beside those tables.
TEST_F(ChartsWorkspaceWindow, APageEditedOnTheChartsTabStaysInTheWorkspaceAcrossLogs)
{
    form.openFile(QStringLiteral(DLV_SOURCE_DIR "/examples/sample.csv"));
    dlv::ChartsTab* charts = form.charts();
    charts->addPane(dlv::ChartPaneKind::Stacked);
    charts->addChannel(QStringLiteral("RPM"));
    const dlv::ChartPage edited = charts->page();

    std::string log = "title\nTime,RPM,MAP\n";
    for (int t = 0; t < 50; ++t)
        log += std::to_string(t * 0.1) + ',' + std::to_string(900 + 20 * t) + ',' + std::to_string(30 + t) + '\n';
    form.openFile(QString::fromStdString(files.write("other.csv", log)));
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
    EXPECT_EQ(form.charts()->page(), edited);

    chosen = QString::fromStdString(files.path("saved.json"));
    form.findChild<QAction*>(QStringLiteral("mnuSaveWorkspace"))->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
    const std::optional<dlv::workbench::Workspace> read = readSaved(chosen);
    ASSERT_TRUE(read);
    const dlv::ChartPageResult page = dlv::workspaceChartPage(*read);
    ASSERT_TRUE(page.ok()) << page.error;
    EXPECT_EQ(*page.page, edited);
    EXPECT_EQ(read->tables, form.tablesTab()->workspace().tables) << "the new log's tables beside it";
}

}  // namespace
