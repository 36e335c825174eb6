// A grid of more data columns than one page: the view shows a page at a
// time, while every grid function keeps working in grid numbers.
#include "window/cell_grid.h"
#include "window/cell_grid_model.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace dlv {
namespace {

// Rows from a source, as the general data grid has them: cell (r, c) reads
// "r:c", and every 97th column holds a long text.
class CountingRows final : public CellRowSource {
public:
    CountingRows(int rows, int cols) : m_rows(rows), m_cols(cols) {}
    [[nodiscard]] int rowCount() const override { return m_rows; }
    [[nodiscard]] std::string_view cell(int row, int col) const override
    {
        m_text = col % 97 == 0 ? "a much longer text in this column" : std::to_string(row) + ":" + std::to_string(col);
        return m_text;
    }
    [[nodiscard]] std::uint32_t maxCellBytes(int col) const override { return col % 97 == 0 ? 33 : 8; }

private:
    int m_rows;
    int m_cols;
    mutable std::string m_text;
};

constexpr int kCols = 1001;  // grid columns: names and 1000 data columns
constexpr int kPage = 100;

// A shown grid of 4 rows and kCols columns in pages of kPage, watched by a model tester.
struct PagedGrid {
    PagedGrid() : tester(grid.gridModel(), QAbstractItemModelTester::FailureReportingMode::Fatal)
    {
        grid.setPageColumns(kPage);
        grid.setColCount(kCols);
        grid.AppendRow("");
        grid.appendSourceRows(std::make_shared<CountingRows>(4, kCols));
        grid.AutoSizeColumns(0, kCols - 1);
        grid.resize(500, 200);
        grid.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid));
    }
    [[nodiscard]] bool inPage(int col) const
    {
        return col >= grid.pageFirstColumn() && col < grid.pageFirstColumn() + grid.gridModel()->columnCount();
    }
    // Whether grid cell (row, col) is in the page and inside the viewport.
    [[nodiscard]] bool inView(int row, int col) const
    {
        if (!inPage(col))
            return false;
        const QRect rect = grid.visualRect(grid.gridModel()->index(row - 1, col - grid.pageFirstColumn()));
        return grid.viewport()->rect().contains(rect);
    }
    CellGrid grid;
    QAbstractItemModelTester tester;
};

}  // namespace

TEST(CellGridPages, TheViewHoldsOnePageWhileTheGridHoldsEveryColumn)
{
    PagedGrid t;
    EXPECT_EQ(t.grid.ColCount(), kCols);
    EXPECT_EQ(t.grid.gridModel()->columnCount(), kPage);
    EXPECT_EQ(t.grid.horizontalHeader()->count(), kPage);  // what the view keeps per column
    EXPECT_EQ(t.grid.pageFirstColumn(), 1);
    EXPECT_EQ(t.grid.CellText(CellRange::cell(2, 777)), "1:777");
    EXPECT_EQ(t.grid.CellText(CellRange::cell(0, 500)), "");
}

TEST(CellGridPages, ScrollToCellBringsAnyColumnIntoView)
{
    PagedGrid t;
    for (const int col : {750, 1000, 1, 101, 430}) {
        t.grid.ScrollToCell(3, col);
        EXPECT_TRUE(t.inView(3, col)) << col << " with the page at " << t.grid.pageFirstColumn();
        EXPECT_EQ(t.grid.gridModel()->columnCount(), kPage);
    }
    // The model's cells are the grid's cells of the page.
    const QModelIndex index = t.grid.gridModel()->index(1, 0);
    EXPECT_EQ(t.grid.gridModel()->data(index).toString(),
              "1:" + QString::number(t.grid.pageFirstColumn()));
}

TEST(CellGridPages, MovingThePageKeepsTheSelectedRowWithoutReportingIt)
{
    PagedGrid t;
    t.grid.selectGridRow(3);
    QSignalSpy selected(&t.grid, &CellGrid::rowSelected);
    t.grid.ScrollToCell(1, 900);
    ASSERT_GT(t.grid.pageFirstColumn(), 1);
    EXPECT_EQ(t.grid.SelectedRow(), 3);
    EXPECT_EQ(selected.count(), 0);
    EXPECT_TRUE(t.grid.selectionModel()->isRowSelected(2, {}));
    EXPECT_EQ(t.grid.currentCell(), std::optional(std::pair{3, 1}));
}

TEST(CellGridPages, TheCurrentCellStaysWherePageMovesLeaveItAndTheKeysGoOnFromIt)
{
    // A page moved by scrolling alone takes the current cell nowhere: it is
    // neither moved nor reported, and the keys go on from it.
    PagedGrid t;
    QTest::mouseClick(t.grid.viewport(), Qt::LeftButton, {},
                      t.grid.visualRect(t.grid.gridModel()->index(1, 4)).center());
    ASSERT_EQ(t.grid.currentCell(), std::optional(std::pair{2, 5}));
    QSignalSpy moved(&t.grid, &CellGrid::currentCellChanged);
    t.grid.ScrollToCell(1, 900);
    ASSERT_FALSE(t.inPage(5));
    EXPECT_EQ(t.grid.currentCell(), std::optional(std::pair{2, 5}));
    t.grid.ScrollToCell(1, 600);
    EXPECT_EQ(t.grid.currentCell(), std::optional(std::pair{2, 5}));
    EXPECT_EQ(moved.count(), 0);
    // Coming back by the keyboard, the grid keeps it too.
    QWidget other;
    other.show();
    other.setFocus();
    t.grid.activateWindow();
    t.grid.setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(t.grid.currentCell(), std::optional(std::pair{2, 5}));
    EXPECT_EQ(moved.count(), 0);

    QTest::keyClick(&t.grid, Qt::Key_Right);
    EXPECT_EQ(t.grid.currentCell(), std::optional(std::pair{2, 6}));
    EXPECT_TRUE(t.inView(2, 6));
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(1).toInt(), 6);

    // Away again, a click on a cell of the page shown makes that one current.
    t.grid.ScrollToCell(1, 900);
    const int col = t.grid.pageFirstColumn() + 10;
    QTest::mouseClick(t.grid.viewport(), Qt::LeftButton, {},
                      t.grid.visualRect(t.grid.gridModel()->index(3, 10)).center());
    EXPECT_EQ(t.grid.currentCell(), std::optional(std::pair{4, col}));
    // Home goes to the grid's first column in the current row.
    QTest::keyClick(&t.grid, Qt::Key_Home);
    EXPECT_EQ(t.grid.currentCell(), std::optional(std::pair{4, 1}));
}

TEST(CellGridPages, ColumnsOfANewPageGetTheirFittedWidths)
{
    PagedGrid t;
    t.grid.ScrollToCell(1, 970);  // 970 = 10 * 97: a long text
    const QHeaderView* header = t.grid.horizontalHeader();
    const int wide = 970 - t.grid.pageFirstColumn();
    const int narrow = wide + 1;
    EXPECT_GT(header->sectionSize(wide), 3 * header->sectionSize(narrow) / 2);
    EXPECT_LT(header->sectionSize(narrow), header->defaultSectionSize() * 2);
}

TEST(CellGridPages, ScrollingOnReachesTheLastColumnAndBack)
{
    PagedGrid t;
    QScrollBar* bar = t.grid.horizontalScrollBar();
    // As a user pressing End again and again: the page follows.
    for (int i = 0; i < 40 && !t.inView(1, kCols - 1); ++i) {
        bar->setValue(bar->maximum());
        QApplication::processEvents();
    }
    EXPECT_TRUE(t.inView(1, kCols - 1));
    EXPECT_EQ(t.grid.pageFirstColumn() + kPage, kCols);
    for (int i = 0; i < 40 && !t.inView(1, 1); ++i) {
        bar->setValue(bar->minimum());
        QApplication::processEvents();
    }
    EXPECT_TRUE(t.inView(1, 1));
}

TEST(CellGridPages, DoubleClickAndCopyAnswerInGridColumns)
{
    PagedGrid t;
    t.grid.ScrollToCell(2, 640);
    QSignalSpy clicked(&t.grid, &CellGrid::cellDoubleClicked);
    const QRect rect = t.grid.visualRect(t.grid.gridModel()->index(1, 640 - t.grid.pageFirstColumn()));
    ASSERT_TRUE(t.grid.viewport()->rect().contains(rect));
    QTest::mouseDClick(t.grid.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.first().at(0).toInt(), 2);
    EXPECT_EQ(clicked.first().at(1).toInt(), 640);

    const int first = t.grid.pageFirstColumn();
    const QModelIndex a = t.grid.gridModel()->index(0, 640 - first);
    const QModelIndex b = t.grid.gridModel()->index(0, 641 - first);
    t.grid.selectionModel()->select(QItemSelection(a, b), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(t.grid.copySelection(), "0:640\t0:641\n");
}

TEST(CellGridPages, ColoursSetOutsideThePageShowWhenItArrives)
{
    PagedGrid t;
    t.grid.setCellBackColor(CellRange::cell(2, 888), 255);
    t.grid.setCellBold(CellRange{2, 880, 2, 890}, true);
    t.grid.ScrollToCell(2, 888);
    const int col = 888 - t.grid.pageFirstColumn();
    EXPECT_EQ(t.grid.gridModel()->data(t.grid.gridModel()->index(1, col), Qt::BackgroundRole).value<QColor>(),
              QColor(255, 0, 0));
    EXPECT_TRUE(t.grid.gridModel()->data(t.grid.gridModel()->index(1, col), Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(t.grid.CellBackColor(CellRange::cell(2, 888)), 255u);
}

TEST(CellGridPages, FewerColumnsMoveThePageBackAndAGridWithinAPageNeverMoves)
{
    PagedGrid t;
    t.grid.ScrollToCell(1, 990);
    t.grid.setColCount(300);
    EXPECT_EQ(t.grid.pageFirstColumn(), 300 - kPage);
    EXPECT_EQ(t.grid.CellText(CellRange::cell(1, 299)), "0:299");
    t.grid.setColCount(50);
    EXPECT_EQ(t.grid.pageFirstColumn(), 1);
    EXPECT_EQ(t.grid.gridModel()->columnCount(), 49);
    t.grid.ScrollToCell(1, 49);
    EXPECT_EQ(t.grid.pageFirstColumn(), 1);
}

TEST(CellGridPages, MillionsOfColumnsCostTheViewOnePage)
{
    CellGrid grid;
    constexpr int kTakes = 3'600'000;
    grid.setColCount(kTakes + 1);
    grid.AppendRow("");
    grid.appendSourceRows(std::make_shared<CountingRows>(10, kTakes + 1));
    grid.AutoSizeColumns(0, kTakes);
    EXPECT_EQ(grid.horizontalHeader()->count(), CellGridModel::kPageColumns);
    grid.ScrollToCell(5, kTakes);
    EXPECT_EQ(grid.horizontalHeader()->count(), CellGridModel::kPageColumns);
    EXPECT_EQ(grid.pageFirstColumn() + CellGridModel::kPageColumns, kTakes + 1);
    EXPECT_EQ(grid.CellText(CellRange::cell(5, kTakes)), "4:" + QString::number(kTakes));
}

}  // namespace dlv
