// Block selection, block copy, the outlined column and centring, through
// real mouse and key events on an offscreen CellGrid.
#include "window/cell_grid.h"
#include "window/cell_grid_model.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace dlv {
namespace {

struct ShownGrid {
    explicit ShownGrid(int rows = 8, int cols = 8, int width = 480, int height = 260)
        : tester(grid.gridModel(), QAbstractItemModelTester::FailureReportingMode::Fatal)
    {
        // Row 0 and column 0 are headers; data cell (r, c) holds "r:c".
        grid.setColCount(cols);
        for (int r = 0; r < rows; ++r) {
            std::string line = r == 0 ? "" : "name" + std::to_string(r);
            for (int c = 1; c < cols; ++c)
                line += "\t" + (r == 0 ? std::string() : std::to_string(r) + ":" + std::to_string(c));
            grid.AppendRow(line);
        }
        grid.resize(width, height);
        grid.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
    }
    [[nodiscard]] QPoint center(int row, int col) const
    {
        return grid.visualRect(grid.gridModel()->index(row - 1, col - 1)).center();
    }
    void click(int row, int col, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, mods, center(row, col));
    }
    [[nodiscard]] QString copied()
    {
        QApplication::clipboard()->setText(QStringLiteral("before"));
        QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
        return QApplication::clipboard()->text();
    }

    CellGrid grid;
    QAbstractItemModelTester tester;
};

// ------------------------------------------------------- selecting blocks

TEST(CellGridBlock, ShiftClickShiftArrowsAndDragGrowABlock)
{
    ShownGrid t;
    t.click(2, 2);
    t.click(3, 4, Qt::ShiftModifier);
    EXPECT_EQ(t.copied(), QStringLiteral("2:2\t2:3\t2:4\n3:2\t3:3\t3:4\n"));

    QTest::keyClick(&t.grid, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&t.grid, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(t.copied(), QStringLiteral("2:2\t2:3\n3:2\t3:3\n4:2\t4:3\n"));

    // A plain arrow moves a one-cell selection again.
    QTest::keyClick(&t.grid, Qt::Key_Right);
    EXPECT_EQ(t.copied(), QStringLiteral("4:4\n"));

    // Press on one cell, drag to another, let go.
    QTest::mousePress(t.grid.viewport(), Qt::LeftButton, {}, t.center(5, 5));
    QMouseEvent move(QEvent::MouseMove, t.center(6, 6), t.grid.viewport()->mapToGlobal(t.center(6, 6)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(t.grid.viewport(), &move);
    QTest::mouseRelease(t.grid.viewport(), Qt::LeftButton, {}, t.center(6, 6));
    EXPECT_EQ(t.copied(), QStringLiteral("5:5\t5:6\n6:5\t6:6\n"));
    EXPECT_EQ(t.grid.SelectedRow(), 5);
}

TEST(CellGridBlock, CtrlASelectsEveryDataCellAndCopiesWithNames)
{
    ShownGrid t(3, 4);
    t.click(2, 2);
    QTest::keyClick(&t.grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(t.grid.SelectedRow(), 1);
    // All data columns are selected: each line starts with the row's name.
    EXPECT_EQ(t.copied(), QStringLiteral("name1\t1:1\t1:2\t1:3\nname2\t2:1\t2:2\t2:3\n"));
}

TEST(CellGridBlock, RowIsReportedWhenTheBlockStartsOnAnotherRow)
{
    ShownGrid t;
    QSignalSpy spy(&t.grid, &CellGrid::rowSelected);
    t.click(3, 2);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(t.grid.SelectedRow(), 3);

    // Growing the block down or across keeps its first row: no new curve.
    QTest::keyClick(&t.grid, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&t.grid, Qt::Key_Right, Qt::ShiftModifier);
    t.click(3, 5);  // another cell of the same row
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(t.grid.SelectedRow(), 3);

    // Growing it upwards moves its first row: reported.
    t.click(4, 2);
    QTest::keyClick(&t.grid, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(&t.grid, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(t.grid.SelectedRow(), 2);
    EXPECT_EQ(spy.count(), 4);
}

TEST(CellGridBlock, SameRowIsReportedAgainAfterTheRowsWereReplaced)
{
    ShownGrid t(5, 4);
    t.click(2, 2);
    QSignalSpy spy(&t.grid, &CellGrid::rowSelected);
    t.grid.setRowCount(1);  // a new log: the rows and the selection go
    for (int r = 1; r < 5; ++r)
        t.grid.AppendRow("n\tx\ty\tz");
    t.grid.viewport()->repaint();
    t.click(2, 2);
    EXPECT_EQ(spy.count(), 1);
}

TEST(CellGridBlock, ClickOnARowNameStillSelectsTheWholeRow)
{
    ShownGrid t(5, 4);
    QHeaderView* down = t.grid.verticalHeader();
    const QPoint at(down->width() / 2, down->sectionViewportPosition(2) + down->sectionSize(2) / 2);
    QTest::mouseClick(down->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(t.grid.SelectedRow(), 3);
    EXPECT_EQ(t.copied(), QStringLiteral("name3\t3:1\t3:2\t3:3\n"));
}

// ------------------------------------------------------- outline, centring

// The grid's pixels in the middle of data column col's left edge, and of
// the cell's inside.
struct ColumnPixels {
    QColor edge;
    QColor inside;
};
ColumnPixels pixelsOf(CellGrid& grid, int row, int col)
{
    const QImage image = grid.viewport()->grab().toImage();
    const QRect cell = grid.visualRect(grid.gridModel()->index(row - 1, col - 1));
    return {image.pixelColor(cell.left() + 1, cell.center().y()),
            image.pixelColor(cell.left() + cell.width() / 4, cell.top() + 2)};
}

TEST(CellGridOutline, FramesTheColumnWithoutTouchingCellColours)
{
    ShownGrid t(6, 6);
    t.grid.setCellBackColor(CellRange{2, 0, 2, 5}, 255);  // a bookmarked row
    const QColor frame = t.grid.palette().color(QPalette::Highlight);
    EXPECT_NE(pixelsOf(t.grid, 4, 3).edge, frame);

    t.grid.setOutlinedColumn(3);
    EXPECT_EQ(t.grid.outlinedColumn(), 3);
    EXPECT_EQ(pixelsOf(t.grid, 4, 3).edge, frame);
    EXPECT_EQ(pixelsOf(t.grid, 2, 3).edge, frame);   // over the bookmark's red too
    EXPECT_NE(pixelsOf(t.grid, 4, 3).inside, frame);  // a frame, not a fill
    EXPECT_NE(pixelsOf(t.grid, 4, 2).edge, frame);
    EXPECT_EQ(t.grid.CellBackColor(CellRange::cell(4, 3)), 0xFFFFFFu);
    EXPECT_EQ(t.grid.CellBackColor(CellRange::cell(2, 3)), 255u);

    t.grid.setOutlinedColumn(std::nullopt);
    EXPECT_NE(pixelsOf(t.grid, 4, 3).edge, frame);
}

TEST(CellGridOutline, GoesWithItsColumnAndRefusesTheNames)
{
    ShownGrid t(4, 6);
    EXPECT_THROW(t.grid.setOutlinedColumn(0), std::out_of_range);
    EXPECT_THROW(t.grid.setOutlinedColumn(6), std::out_of_range);
    t.grid.setOutlinedColumn(5);
    t.grid.setColCount(5);
    EXPECT_FALSE(t.grid.outlinedColumn());
    t.grid.setOutlinedColumn(4);
    t.grid.setColCount(8);
    EXPECT_EQ(t.grid.outlinedColumn(), 4);
}

TEST(CellGridOutline, CenterColumnPutsItInTheMiddleWhereTheGridCan)
{
    ShownGrid t(4, 400, 600, 200);
    const int middle = t.grid.viewport()->width() / 2;
    for (const int col : {150, 260, 37}) {
        t.grid.centerColumn(col);
        const QRect cell = t.grid.visualRect(t.grid.gridModel()->index(0, col - 1));
        // Per-column scrolling: the middle of the view lies within a column's
        // width of the column's middle.
        EXPECT_LE(std::abs(cell.center().x() - middle), t.grid.columnWidth(col - 1)) << col;
    }
    // Near the ends the grid cannot: it shows its first or its last columns.
    t.grid.centerColumn(2);
    EXPECT_EQ(t.grid.horizontalScrollBar()->value(), 0);
    t.grid.centerColumn(399);
    EXPECT_EQ(t.grid.horizontalScrollBar()->value(), t.grid.horizontalScrollBar()->maximum());
    EXPECT_TRUE(t.grid.viewport()->rect().contains(t.grid.visualRect(t.grid.gridModel()->index(0, 398))));
}

}  // namespace
}  // namespace dlv
