#include "window/form1.h"

#include "datalog/take_store.h"
#include "support/temp_logs.h"
#include "support/window_fixture.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using dlv::CellGrid;
using dlv::CellRange;
using dlv::Form1;

namespace {

class Form1Test : public dlvtest::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        grid1 = form->findChild<CellGrid*>("Grid1");
        grid2 = form->findChild<CellGrid*>("Grid2");
        ASSERT_TRUE(grid1 && grid2);
    }

    void open(const std::string& path)
    {
        nextName = QString::fromStdString(path);
        trigger("mnuOpen");
    }
    QString label(const char* name) const { return form->findChild<QLabel*>(name)->text(); }
    QString cell(int r, int c) const { return grid1->CellText(CellRange::cell(r, c)); }

    dlvtest::TempLogs logs;
    CellGrid* grid1 = nullptr;
    CellGrid* grid2 = nullptr;
};

const std::string kThreeTakes = "title\nTime,RPM\n0,800\n60,900\n750,1000\n";

}  // namespace

TEST_F(Form1Test, StartsWithDesignTextsCaptionAndMenus)
{
    EXPECT_EQ(form->windowTitle(), "Datalog Viewer 0.5");
    auto* tabs = form->findChild<QTabWidget*>("Tab1");
    // The three design tabs first; the workbench's tabs follow them.
    ASSERT_GE(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "BLM");
    EXPECT_EQ(tabs->tabText(2), "Other");
    EXPECT_EQ(tabs->tabText(3), "Tables");
    EXPECT_EQ(label("Label2"), "Runtime:");
    EXPECT_EQ(label("lblRunTime"), "");
    EXPECT_EQ(label("lblParameterName"), "Parameter summary");
    EXPECT_EQ(label("Label4"), "(Click on curve to locate the actual take in the data grid)");
    EXPECT_EQ(grid2->CellText(CellRange::cell(0, 0)), "RPM/MAP");
    EXPECT_EQ(grid2->ColCount(), 10);
    EXPECT_EQ(form->findChild<QAction*>("mnuBookMark")->text(), "&Bookmark (F12)");
    EXPECT_TRUE(form->findChild<QAction*>("mnuBookMark")->shortcut().isEmpty());
    EXPECT_TRUE(form->findChild<QLabel*>("lblMax")->font().bold());
    EXPECT_FALSE(form->findChild<QLabel*>("Label4")->font().bold());
    // Design geometry: Grid1 sits 840 twips (56 px) below the tab control's top.
    const QPoint gridInTab = grid1->mapTo(tabs, QPoint(0, 0));
    EXPECT_EQ(gridInTab, QPoint(10, 56));
    EXPECT_EQ(grid1->size(), QSize(687, 305));
}

TEST_F(Form1Test, OpenFillsEveryTakeIntoTheGridAndTheRunTime)
{
    open(logs.write("a.csv", kThreeTakes));
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(grid1->RowCount(), 4);  // header, Time, RPM, the empty name
    EXPECT_EQ(grid1->ColCount(), 4);  // names + takes 0..2
    EXPECT_EQ(cell(1, 0), "Time");
    EXPECT_EQ(cell(2, 1), "800");     // take 0 is shown
    EXPECT_EQ(cell(2, 3), "1000");    // and the last take
    EXPECT_EQ(cell(3, 0), "");
    EXPECT_EQ(cell(0, 2), "");        // nothing writes the header row
    EXPECT_EQ(label("lblRunTime"), "12.5 minutes (3 takes)");
}

TEST_F(Form1Test, CancelledOpenChangesNothing)
{
    open(logs.write("a.csv", kThreeTakes));
    open("   ");
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(cell(2, 3), "1000");
    EXPECT_EQ(label("lblRunTime"), "12.5 minutes (3 takes)");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Form1Test, FailedOpenReportsAndKeepsThePreviousLogAndBookmarks)
{
    open(logs.write("a.csv", kThreeTakes));
    grid1->selectGridRow(2);
    trigger("mnuBookMark");
    const auto before = form->store();

    open(logs.path("missing.csv"));
    open(logs.write("short.csv", "just a title\n"));
    open(logs.dir().string());
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors[0].contains("does not exist")) << errors[0].toStdString();
    EXPECT_TRUE(errors[1].contains("fewer than two lines"));
    EXPECT_TRUE(errors[2].contains("directory"));
    EXPECT_EQ(form->store(), before);
    EXPECT_EQ(cell(2, 3), "1000");
    EXPECT_EQ(grid1->CellBackColor(CellRange::cell(2, 0)), 255u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    open(logs.write("b.csv", "t\nX\n5\n"));  // the window still works
    EXPECT_EQ(cell(1, 1), "5");
}

TEST_F(Form1Test, SecondLogReplacesTheFirstAndDropsItsBookmarks)
{
    open(logs.write("a.csv", kThreeTakes));
    grid1->selectGridRow(1);
    trigger("mnuBookMark");
    open(logs.write("b.csv", "t\nSpeed\n1\n2\n"));
    EXPECT_EQ(grid1->RowCount(), 3);
    EXPECT_EQ(grid1->ColCount(), 3);
    EXPECT_EQ(cell(1, 0), "Speed");
    EXPECT_NE(grid1->CellBackColor(CellRange::cell(1, 0)), 255u);
    EXPECT_EQ(label("lblRunTime"), "0.03 minutes (2 takes)");
}

TEST_F(Form1Test, RunTimeLineForOddLogs)
{
    open(logs.write("none.csv", "t\nTime,RPM\n"));
    EXPECT_EQ(label("lblRunTime"), "0 minutes (0 takes)");
    EXPECT_EQ(grid1->ColCount(), 1);
    open(logs.write("text.csv", "t\nTime\n0\nlate\n"));
    EXPECT_EQ(label("lblRunTime"), "? minutes (2 takes)");
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Form1Test, F12TogglesTheBookmarkLookWithAnyModifiers)
{
    open(logs.write("a.csv", kThreeTakes));
    grid1->selectGridRow(2);
    grid1->setFocus();
    const CellRange nameCell = CellRange::cell(2, 0);
    const CellRange lastCell = CellRange::cell(2, 3);

    QTest::keyClick(grid1, Qt::Key_F12);
    EXPECT_EQ(grid1->CellBackColor(nameCell), 255u);
    EXPECT_EQ(grid1->CellBackColor(lastCell), 255u);

    QTest::keyClick(grid1, Qt::Key_F12, Qt::ShiftModifier);
    EXPECT_EQ(grid1->CellBackColor(nameCell), dlv::kButtonFace);
    EXPECT_EQ(grid1->CellBackColor(lastCell), 0xFFFFFFu);

    QTest::keyClick(grid1, Qt::Key_F12, Qt::ControlModifier);
    EXPECT_EQ(grid1->CellBackColor(nameCell), 255u);
    trigger("mnuBookMark");  // the menu undoes what the key did
    EXPECT_EQ(grid1->CellBackColor(nameCell), dlv::kButtonFace);
    EXPECT_EQ(grid1->CellBackColor(CellRange::cell(1, 0)), dlv::kButtonFace);  // other rows untouched
    EXPECT_EQ(grid1->SelectedRow(), 2);
}

TEST_F(Form1Test, F12GoesOnToTheFocusedControl)
{
    open(logs.write("a.csv", kThreeTakes));
    grid1->selectGridRow(1);
    grid1->setFocus();
    // The key is not consumed: a filter behind the window still sees it.
    struct Seen : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_F12)
                ++count;
            return false;
        }
    } seen;
    grid1->installEventFilter(&seen);
    QTest::keyClick(grid1, Qt::Key_F12);
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(grid1->CellBackColor(CellRange::cell(1, 0)), 255u);  // toggled once, not per parent
}

TEST_F(Form1Test, BookmarkWithoutSelectedRowDoesNothing)
{
    open(logs.write("a.csv", kThreeTakes));
    trigger("mnuBookMark");
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(grid1->CellBackColor(CellRange::cell(0, 0)), dlv::kButtonFace);
    EXPECT_EQ(grid1->CellBackColor(CellRange::cell(1, 0)), dlv::kButtonFace);
}

TEST_F(Form1Test, AboutNamesTheProgramAndVersion)
{
    trigger("mnuAbout");
    ASSERT_EQ(abouts.size(), 1);
    EXPECT_TRUE(abouts[0].contains("Datalog Viewer 0.5"));
}

TEST_F(Form1Test, OpenFileArgumentReadsWithoutTheDialog)
{
    form->setFileNameChooser([] { ADD_FAILURE() << "no dialog expected"; return QString(); });
    form->openFile(QString::fromStdString(logs.write("a.csv", kThreeTakes)));
    EXPECT_EQ(cell(2, 2), "900");
}
