// Several logs open in one window: File, Open adds one, the bar lists them,
// Ctrl+Tab and a click on a name switch between them, each keeps its own
// view, F5 reads the one on show again, File, Close closes it and gives its
// memory back, and a drop of several files opens each.
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"

#include "support/temp_logs.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTabBar>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using dlv::CellGrid;
using dlv::CellRange;

std::string rampLog(int takes, int scale)
{
    std::string log = "title\nTime,RPM,MAP\n";
    for (int t = 0; t < takes; ++t)
        log += std::to_string(t) + "," + std::to_string(scale * t) + "," + std::to_string(30 + t % 7) + "\n";
    return log;
}

class OpenLogs : public dlvtest::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        grid = form->findChild<CellGrid*>("Grid1");
        bar = form->findChild<QTabBar*>("LogTabs");
        picture = form->findChild<dlv::CurveSurface*>("Picture1");
        ASSERT_TRUE(grid && bar && picture);
    }
    void open(const std::string& path)
    {
        nextName = QString::fromStdString(path);
        form->openCommand();
        ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
    QString label(const char* name) const { return form->findChild<QLabel*>(name)->text(); }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(grid, static_cast<Qt::Key>(key), modifiers);
        QApplication::processEvents();
    }

    dlvtest::TempLogs dir;
    CellGrid* grid = nullptr;
    QTabBar* bar = nullptr;
    dlv::CurveSurface* picture = nullptr;
};

TEST_F(OpenLogs, OpenAddsEachLogAndTheBarListsThem)
{
    EXPECT_FALSE(form->findChild<QToolBar*>("LogBar")->isVisible()) << "no bar before a log";
    open(dir.write("a.csv", rampLog(100, 10)));
    open(dir.write("b.csv", rampLog(50, 20)));
    ASSERT_EQ(form->documents().size(), 2u);
    EXPECT_TRUE(form->findChild<QToolBar*>("LogBar")->isVisible());
    ASSERT_EQ(bar->count(), 2);
    EXPECT_EQ(bar->tabText(0), "a.csv");
    EXPECT_EQ(bar->tabText(1), "b.csv");
    EXPECT_EQ(bar->currentIndex(), 1) << "the log opened last is on show";
    EXPECT_EQ(label("lblRunTime"), "0.82 minutes (50 takes)");
    EXPECT_EQ(grid->CellText(CellRange::cell(2, 3)), "40");

    // The same file again takes its own place.
    open(dir.path("a.csv"));
    EXPECT_EQ(form->documents().size(), 2u);
    EXPECT_EQ(bar->currentIndex(), 0);
    EXPECT_EQ(label("lblRunTime"), "1.65 minutes (100 takes)");

    // Ctrl+Tab steps on, round the end; Ctrl+Shift+Tab back.
    key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form->shownLogIndex(), 1);
    key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form->shownLogIndex(), 0);
    key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->shownLogIndex(), 1);
    // A click on a name shows that log.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    EXPECT_EQ(form->shownLogIndex(), 0);
    EXPECT_EQ(label("lblRunTime"), "1.65 minutes (100 takes)");
}

TEST_F(OpenLogs, EachLogKeepsItsRowBookmarksMarkerAndScroll)
{
    open(dir.write("a.csv", rampLog(400, 10)));
    grid->selectGridRow(2);
    form->BookMark();
    picture->setFocus();
    QTest::keyClick(picture, Qt::Key_Right);  // marks the next take
    QApplication::processEvents();
    const QString aValue = label("lblValue");
    const QString aMax = label("lblMax");
    EXPECT_EQ(aMax, "3990.00");

    open(dir.write("b.csv", rampLog(50, 20)));
    EXPECT_EQ(grid->SelectedRow(0), 0) << "a new log starts with nothing selected";
    EXPECT_NE(grid->CellBackColor(CellRange::cell(2, 0)), 255u) << "and no bookmark";
    grid->selectGridRow(3);
    EXPECT_EQ(label("lblMax"), "36.00");

    form->showLog(0);
    EXPECT_EQ(grid->SelectedRow(0), 2);
    EXPECT_EQ(grid->CellBackColor(CellRange::cell(2, 0)), 255u) << "its bookmark is back";
    EXPECT_EQ(label("lblMax"), aMax) << "and its curve";
    EXPECT_EQ(picture->markerTake(), std::optional<int>(0)) << aValue.toStdString();
    // F12 acts on the log on show and is kept with it.
    form->BookMark();
    EXPECT_NE(grid->CellBackColor(CellRange::cell(2, 0)), 255u);
    form->showLog(1);
    EXPECT_EQ(grid->SelectedRow(0), 3);
    EXPECT_EQ(label("lblMax"), "36.00");
    form->showLog(0);
    EXPECT_NE(grid->CellBackColor(CellRange::cell(2, 0)), 255u) << "cleared stays cleared";
}

TEST_F(OpenLogs, ReloadActsOnTheLogOnShowAndCloseGivesItsMemoryBack)
{
    const std::string a = dir.write("a.csv", rampLog(30, 10));
    open(a);
    open(dir.write("b.csv", rampLog(20, 10)));
    form->showLog(0);
    std::ofstream(a, std::ios::app) << "30,300,33\n";
    form->reloadCommand();
    EXPECT_EQ(form->documents()[0]->log().takeCount(), 31);
    EXPECT_EQ(form->documents()[1]->log().takeCount(), 20);
    EXPECT_EQ(form->shownLogIndex(), 0);

    const std::weak_ptr<dlv::LogDocument> closed = form->document();
    form->findChild<QAction*>("mnuClose")->trigger();
    EXPECT_TRUE(closed.expired()) << "nothing keeps a closed log";
    ASSERT_EQ(form->documents().size(), 1u);
    EXPECT_EQ(bar->count(), 1);
    EXPECT_EQ(bar->tabText(0), "b.csv");
    EXPECT_EQ(label("lblRunTime"), "0.32 minutes (20 takes)");

    // Its close button closes a log too; the last leaves the window empty.
    QWidget* closeButton = bar->tabButton(0, QTabBar::RightSide);
    ASSERT_TRUE(closeButton);
    QTest::mouseClick(closeButton, Qt::LeftButton);
    EXPECT_TRUE(form->documents().empty());
    EXPECT_FALSE(form->document());
    EXPECT_EQ(grid->RowCount(), 0);
    EXPECT_EQ(label("lblRunTime"), "");
    EXPECT_EQ(label("lblParameterName"), "Parameter summary");
    EXPECT_FALSE(form->findChild<QAction*>("mnuClose")->isEnabled());
    form->reloadCommand();  // nothing to read again
    EXPECT_TRUE(errors.isEmpty());
    open(a);
    EXPECT_EQ(form->documents().size(), 1u);
}

TEST_F(OpenLogs, ADropOfSeveralFilesOpensEach)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.write("x.csv", rampLog(10, 1)))),
                  QUrl::fromLocalFile(QString::fromStdString(dir.write("y.csv", rampLog(12, 1))))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    ASSERT_EQ(form->documents().size(), 2u);
    EXPECT_EQ(bar->tabText(0), "x.csv");
    EXPECT_EQ(bar->tabText(1), "y.csv");
    EXPECT_EQ(label("lblRunTime"), "0.18 minutes (12 takes)");
}

}  // namespace
