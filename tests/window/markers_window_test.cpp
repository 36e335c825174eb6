// Markers in the window: M on the curve puts one with a note, the curve
// draws them with the log's own, the Markers panel lists every open log's,
// a double-click goes there, Delete removes the user's, F5 keeps them.
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "render/chart_renderer.h"
#include "window/charts_tab.h"
#include "window/curve_surface.h"

#include "support/memory_log.h"
#include "support/temp_logs.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string rampLog(int takes)
{
    std::string log = "title\nTime,RPM\n";
    for (int t = 0; t < takes; ++t)
        log += std::to_string(t) + "," + std::to_string(800 + 10 * t) + "\n";
    return log;
}

class MarkersWindow : public dlvtest::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        form->setMarkerNoteChooser([this](int take) -> std::optional<QString> {
            asked.push_back(take);
            if (nextNote.isNull())
                return std::nullopt;
            return nextNote;
        });
        picture = form->findChild<dlv::CurveSurface*>("Picture1");
        grid = form->findChild<dlv::CellGrid*>("Grid1");
        list = form->findChild<QTreeWidget*>("MarkerList");
        ASSERT_TRUE(picture && grid && list);
    }
    void open(const std::string& path)
    {
        nextName = QString::fromStdString(path);
        form->openCommand();
        ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }

    dlvtest::TempLogs dir;
    dlv::CurveSurface* picture = nullptr;
    dlv::CellGrid* grid = nullptr;
    QTreeWidget* list = nullptr;
    std::vector<int> asked;
    QString nextNote = QStringLiteral("pull");
};

TEST_F(MarkersWindow, MOnTheCurveMarksTheMarkedTakeWithANote)
{
    const std::string a = dir.write("a.csv", rampLog(100));
    open(a);
    grid->selectGridRow(2);
    picture->setFocus();
    QTest::keyClick(picture, Qt::Key_M);
    EXPECT_TRUE(asked.empty()) << "no take is marked and the pointer is elsewhere";
    form->findChild<dlv::CurveSurface*>("Picture1")->setMarkerTake(40);
    QTest::keyClick(picture, Qt::Key_M);
    ASSERT_EQ(asked, std::vector<int>{40});
    ASSERT_EQ(picture->markers().size(), 1u);
    EXPECT_EQ(picture->markers()[0].take, 40);
    EXPECT_EQ(picture->markers()[0].text, "pull");
    EXPECT_FALSE(picture->markers()[0].fromLog);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "a.csv");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "40");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "40") << "the take's time";
    EXPECT_EQ(list->topLevelItem(0)->text(3), "pull");

    // Cancelled, nothing is added.
    nextNote = QString();
    EXPECT_FALSE(form->addMarkerAt(10));
    EXPECT_EQ(picture->markers().size(), 1u);

    // F5 keeps them, as far as the log reaches.
    std::ofstream(a, std::ios::app) << "100,1800\n";
    form->reloadCommand();
    ASSERT_EQ(picture->markers().size(), 1u);
    EXPECT_EQ(list->topLevelItemCount(), 1);
}

TEST_F(MarkersWindow, PanelListsEveryLogGoesThereAndDeletesTheUsersOnly)
{
    open(dir.write("a.csv", rampLog(100)));
    ASSERT_TRUE(form->addMarkerAt(70));
    // A log of another format with markers of its own.
    auto log = dlvtest::drive();
    log->m_details.formatName = "MLG 2";
    log->m_markers = {{2, "MARK 1"}};
    form->setLogReader([log](const std::filesystem::path&, dlv::ReadControl&) {
        dlv::ReadResult result;
        result.log = log;
        return result;
    });
    form->openPath("b.mlg");
    ASSERT_EQ(picture->markers().size(), 1u) << "the log's own marker";
    EXPECT_TRUE(picture->markers()[0].fromLog);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_TRUE(list->topLevelItem(1)->text(3).contains("(in the log)"));

    // A double-click on a.csv's marker shows that log, its curve marked there.
    form->findChild<QAction*>("mnuMarkers")->trigger();  // as a click on View, Markers
    ASSERT_TRUE(form->findChild<QDockWidget*>("MarkersPanel")->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->viewport()->width() >= 200; }, 2000))
        << "the window makes room for the panel: " << list->viewport()->width();
    QTreeWidgetItem* first = list->topLevelItem(0);
    const QRect row = list->visualItemRect(first);
    const QPoint at(10, row.center().y());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QApplication::processEvents();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(form->shownLogIndex(), 0);
    EXPECT_EQ(picture->markerTake(), std::optional<int>(70));

    // Delete removes the user's marker, not the log's.
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->topLevelItemCount(), 2) << "the log's own stays";
    list->setCurrentItem(list->topLevelItem(0));
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "b.mlg");
    EXPECT_TRUE(picture->markers().empty()) << "a.csv, on show, has none left";
}

// The chart panes draw the markers of the log on show and take new ones by
// M at their cursor; Save Workspace keeps every open log's by file name and
// take, and Open Workspace gives them back to the logs of those names.
TEST_F(MarkersWindow, ChartPanesShowAndAddMarkersAndTheWorkspaceKeepsThemByLogName)
{
    const std::string a = dir.write("a.csv", rampLog(100));
    const std::string b = dir.write("b.csv", rampLog(50));
    open(a);
    ASSERT_TRUE(form->addMarkerAt(20));
    auto* tabs = form->findChild<QTabWidget*>("Tab1");
    auto* charts = form->findChild<dlv::ChartsTab*>();
    ASSERT_TRUE(tabs && charts);
    tabs->setCurrentWidget(charts);
    ASSERT_EQ(charts->view()->renderer().markers().size(), 1u);
    EXPECT_EQ(charts->view()->renderer().markers()[0].take, 20);
    EXPECT_FALSE(charts->view()->grab().isNull());

    // M on a pane marks the chart's cursor take.
    nextNote = QStringLiteral("shift");
    charts->view()->setCursorTake(60);
    charts->view()->setFocus();
    QTest::keyClick(charts->view(), Qt::Key_M);
    ASSERT_EQ(asked.back(), 60);
    EXPECT_EQ(charts->view()->renderer().markers().size(), 2u);
    EXPECT_EQ(picture->markers().size(), 2u) << "the General curve shows it too";

    open(b);
    ASSERT_TRUE(form->addMarkerAt(5));
    const QString saved = QString::fromStdString(dir.path("markers.json"));
    form->setPathChooser([&](const QString&, bool) { return saved; });
    form->findChild<QAction*>("mnuSaveWorkspace")->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(R"({"log": "a.csv", "take": 20, "note": "pull"})")) << text.toStdString();
    EXPECT_TRUE(text.contains(R"({"log": "a.csv", "take": 60, "note": "shift"})")) << text.toStdString();
    EXPECT_TRUE(text.contains(R"({"log": "b.csv", "take": 5, "note": "shift"})")) << text.toStdString();

    // Both logs closed and a opened again: the workspace marks it as before.
    form->closeLog(1);
    form->closeLog(0);
    open(a);
    EXPECT_TRUE(picture->markers().empty());
    form->findChild<QAction*>("mnuOpenWorkspace")->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    ASSERT_EQ(picture->markers().size(), 2u);
    EXPECT_EQ(picture->markers()[1].text, "shift");
    // And b, opened later, gets its own from the workspace on show.
    open(b);
    ASSERT_EQ(picture->markers().size(), 1u);
    EXPECT_EQ(picture->markers()[0].take, 5);
}

}  // namespace
