// The window as a tuner uses it day to day, through real widgets and events:
// the standard keys, the framed take after a curve click, F5 on a log that
// grew, and View, Follow Log on a log being written.
#include "window/form1.h"

#include "datalog/take_store.h"
#include "support/temp_logs.h"
#include "support/window_fixture.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"

#include <QAction>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using dlv::CellGrid;
using dlv::CellRange;
using dlv::CurveSurface;
using dlv::Form1;

namespace {

// "t", names Time,Val,Gear, then takes t = first .. last holding t, 2t, t % 5.
std::string takes(int first, int last)
{
    std::string out;
    for (int t = first; t <= last; ++t)
        out += std::to_string(t) + "," + std::to_string(2 * t) + "," + std::to_string(t % 5) + "\n";
    return out;
}
std::string header()
{
    return "t\nTime,Val,Gear\n";
}

class EverydayTest : public dlvtest::LogWindowFixture {
protected:
    void SetUp() override
    {
        LogWindowFixture::SetUp();
        picture = form->findChild<CurveSurface*>("Picture1");
    }

    [[nodiscard]] QString label(const char* name) const { return form->findChild<QLabel*>(name)->text(); }
    [[nodiscard]] QAction* action(const char* name) const { return form->findChild<QAction*>(name); }
    void clickAt(double x) const
    {
        const QPointF p = picture->toWidget(QPointF(x, picture->userScale().top() + picture->userScale().height() / 2));
        QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, p.toPoint());
    }
    [[nodiscard]] bool bookmarked(int row) const
    {
        return grid1->CellBackColor(CellRange::cell(row, 0)) == dlv::kBookmarkBack;
    }
    [[nodiscard]] int columnMiddle(int col) const
    {
        return grid1->visualRect(grid1->model()->index(0, col - 1)).center().x();
    }
    [[nodiscard]] bool lastColumnInView() const
    {
        const QRect last = grid1->visualRect(grid1->model()->index(0, grid1->ColCount() - 2));
        return grid1->viewport()->rect().contains(last);
    }

    CurveSurface* picture = nullptr;
};

// ------------------------------------------------------------------- keys

TEST_F(EverydayTest, CtrlOOpensCtrlQQuitsF1ShowsAboutMenuItemsKeepNoKeys)
{
    for (const char* item : {"mnuOpen", "mnuQuit", "mnuAbout"})
        EXPECT_TRUE(action(item)->shortcut().isEmpty()) << item;

    nextName = QString::fromStdString(logs.write("k.csv", header() + takes(0, 9)));
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_NE(form->store(), nullptr);
    EXPECT_EQ(form->store()->takeCount(), 10);

    QTest::keyClick(grid1, Qt::Key_F1);
    ASSERT_EQ(abouts.size(), 1);
    EXPECT_TRUE(abouts[0].contains("Ctrl+O"));

    QSignalSpy quits(action("mnuQuit"), &QAction::triggered);
    QTest::keyClick(grid1, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits.count(), 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(errors.isEmpty());
}

// ------------------------------------------------------- the framed take

TEST_F(EverydayTest, CurveClickFramesTheTakesColumnInTheMiddleOfTheGrid)
{
    openLog(header() + takes(0, 1999));
    grid1->selectGridRow(2);
    const auto backBefore = grid1->CellBackColor(CellRange::cell(2, 1001));

    picture->setVisibleRange(990, 20);  // a take every few pixels
    clickAt(1000.2);
    EXPECT_EQ(label("lblValue"), "2000");
    EXPECT_EQ(grid1->outlinedColumn(), 1001);  // take 1000's own column
    const int middle = grid1->viewport()->width() / 2;
    EXPECT_LE(std::abs(columnMiddle(1001) - middle), grid1->columnWidth(1000));
    EXPECT_EQ(grid1->CellBackColor(CellRange::cell(2, 1001)), backBefore);

    // Near the end the grid cannot centre: the take is in view all the same.
    picture->setVisibleRange(1980, 20);
    clickAt(1998);
    EXPECT_EQ(grid1->outlinedColumn(), 1999);
    EXPECT_TRUE(grid1->viewport()->rect().contains(grid1->visualRect(grid1->model()->index(0, 1998))));

    // Beyond the takes nothing is framed; another row's curve drops the frame.
    picture->showWholeLog();
    clickAt(1000.2);
    ASSERT_TRUE(grid1->outlinedColumn());
    clickAt(2100);
    EXPECT_FALSE(grid1->outlinedColumn());
    clickAt(10);
    ASSERT_TRUE(grid1->outlinedColumn());
    grid1->selectGridRow(3);
    EXPECT_FALSE(grid1->outlinedColumn());
}

// ------------------------------------------------------------------- F5

TEST_F(EverydayTest, F5OnAGrownLogKeepsSelectionBookmarksScrollAndRedrawsTheCurve)
{
    openLog(header() + takes(0, 299));
    grid1->selectGridRow(1);
    form->BookMark();  // Time
    grid1->selectGridRow(3);
    form->BookMark();  // Gear
    grid1->selectGridRow(2);
    ASSERT_EQ(label("lblMax"), "598.00");
    clickAt(100);
    ASSERT_EQ(label("lblValue"), "200");
    picture->setVisibleRange(50, 100);
    grid1->ScrollToCell(1, 60);
    const CellGrid::ScrollPlace place = grid1->scrollPlace();
    ASSERT_FALSE(place.atEnd);

    append(takes(300, 376));  // 77 more takes
    QTest::keyClick(grid1, Qt::Key_F5);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    ASSERT_EQ(form->store()->takeCount(), 377);

    EXPECT_EQ(grid1->SelectedRow(), 2);
    EXPECT_EQ(label("lblParameterName"), "Val");
    EXPECT_EQ(label("lblMax"), "752.00");  // from the new takes, without a click
    EXPECT_EQ(label("lblValue"), "200");
    EXPECT_EQ(picture->markerTake(), 100);
    EXPECT_EQ(grid1->outlinedColumn(), 101);
    EXPECT_TRUE(bookmarked(1));
    EXPECT_FALSE(bookmarked(2));
    EXPECT_TRUE(bookmarked(3));
    EXPECT_EQ(grid1->CellBackColor(CellRange::cell(3, 377)), dlv::kBookmarkBack);  // new takes too
    EXPECT_EQ(grid1->scrollPlace().col, place.col);
    EXPECT_EQ(grid1->scrollPlace().row, place.row);
    EXPECT_TRUE(picture->isZoomed());
    EXPECT_DOUBLE_EQ(picture->userScale().left(), 50);
    EXPECT_DOUBLE_EQ(picture->userScale().width(), 100);
}

TEST_F(EverydayTest, F5KeepsWhatStillFitsOnAShorterLog)
{
    openLog(header() + takes(0, 299));
    grid1->selectGridRow(3);
    form->BookMark();
    picture->setVisibleRange(240, 20);
    clickAt(250);
    ASSERT_EQ(grid1->outlinedColumn(), 251);
    grid1->ScrollToCell(3, 280);

    std::ofstream(path, std::ios::binary | std::ios::trunc) << "t\nTime,Val\n" + takes(0, 99);
    QTest::keyClick(grid1, Qt::Key_F5);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(grid1->RowCount(), 4);  // Gear is gone, and its bookmark with it
    EXPECT_FALSE(bookmarked(3));
    EXPECT_EQ(grid1->SelectedRow(), 0);  // Gear is not selected in its place either
    EXPECT_FALSE(grid1->outlinedColumn());  // take 250 is gone
    EXPECT_TRUE(lastColumnInView());
}

TEST_F(EverydayTest, F5AtTheNewestTakesStaysAtTheNewestTakes)
{
    openLog(header() + takes(0, 499));
    grid1->selectGridRow(2);
    picture->setVisibleRange(400, 100);  // the curve's last hundred takes
    grid1->ScrollToCell(2, grid1->ColCount() - 1);
    ASSERT_TRUE(grid1->scrollPlace().atEnd);

    append(takes(500, 799));
    QTest::keyClick(grid1, Qt::Key_F5);
    ASSERT_EQ(form->store()->takeCount(), 800);
    EXPECT_TRUE(grid1->scrollPlace().atEnd);
    EXPECT_TRUE(lastColumnInView());
    EXPECT_DOUBLE_EQ(picture->userScale().left() + picture->userScale().width(),
                     picture->fullScale().left() + picture->fullScale().width());
    EXPECT_DOUBLE_EQ(picture->userScale().width(), 100);
}

// ------------------------------------------------------------- Follow Log

TEST_F(EverydayTest, FollowLogShowsTakesAppendedWhileItIsOn)
{
    QAction* follow = action("mnuFollowLog");
    ASSERT_NE(follow, nullptr);
    EXPECT_TRUE(follow->isCheckable());
    EXPECT_FALSE(follow->isChecked());
    EXPECT_EQ(follow->text(), "F&ollow Log");

    openLog(header() + takes(0, 199));
    grid1->selectGridRow(2);
    grid1->ScrollToCell(2, grid1->ColCount() - 1);
    follow->trigger();
    ASSERT_TRUE(form->followsLog());

    append(takes(200, 260));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->store()->takeCount() == 261; }, 10000));
    EXPECT_EQ(label("lblMax"), "520.00");
    EXPECT_EQ(grid1->SelectedRow(), 2);
    EXPECT_TRUE(lastColumnInView());
    append(takes(261, 300));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->store()->takeCount() == 301; }, 10000));
    EXPECT_TRUE(lastColumnInView());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();

    // Off: the file grows, the window stays as it is.
    follow->trigger();
    append(takes(301, 320));
    QTest::qWait(1200);
    EXPECT_EQ(form->store()->takeCount(), 301);
}

TEST_F(EverydayTest, FollowLogTellsAFailedReloadOnceAndGoesOnAfterTheNextGrowth)
{
    openLog(header() + takes(0, 9));
    bool refuse = true;
    form->setLogReader([&refuse](const std::filesystem::path& path, dlv::ReadControl& control) {
        dlv::ReadResult result;
        if (refuse)
            result.error = "Cannot read the log: refused for the test";
        else
            result = dlv::readDataLog(path, &control);
        return result;
    });
    form->setFollowLog(true);
    append(takes(10, 19));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 10000));
    QTest::qWait(1500);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(form->store()->takeCount(), 10);  // the log on show stays

    refuse = false;
    append(takes(20, 29));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->store()->takeCount() == 30; }, 10000));
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(EverydayTest, FollowLogReadsAFileCutShorterAsTheNewRecordingItIs)
{
    openLog(header() + takes(0, 99));
    form->setFollowLog(true);
    // The logger starts again into the same file: empty first, then a few takes.
    std::ofstream(path, std::ios::binary | std::ios::trunc).flush();
    QTest::qWait(1200);
    EXPECT_EQ(form->store()->takeCount(), 100);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << header() + takes(0, 19);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->store()->takeCount() == 20; }, 10000));
    append(takes(20, 29));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->store()->takeCount() == 30; }, 10000));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

TEST_F(EverydayTest, FollowLogWaitsQuietlyWhileTheFileIsGone)
{
    openLog(header() + takes(0, 9));
    form->setFollowLog(true);
    std::filesystem::remove(path);
    QTest::qWait(1200);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(form->store()->takeCount(), 10);
    std::ofstream(path, std::ios::binary) << header() + takes(0, 19);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->store()->takeCount() == 20; }, 10000));
}

}  // namespace
