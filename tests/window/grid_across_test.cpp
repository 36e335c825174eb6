// A grid of millions of takes, scrolled as a user would: Home, End,
// Ctrl+Home and Ctrl+End reach the first and the last take at once, and the
// scroll bar across spans the whole grid, so that dragging it goes anywhere.
#include "window/cell_grid.h"
#include "window/cell_grid_model.h"

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace dlv {
namespace {

// Cell (r, c) reads "r:c".
class NumberedRows final : public CellRowSource {
public:
    explicit NumberedRows(int rows) : m_rows(rows) {}
    [[nodiscard]] int rowCount() const override { return m_rows; }
    [[nodiscard]] std::string_view cell(int row, int col) const override
    {
        m_text = std::to_string(row) + ":" + std::to_string(col);
        return m_text;
    }
    [[nodiscard]] std::uint32_t maxCellBytes(int) const override { return 10; }

private:
    int m_rows;
    mutable std::string m_text;
};

// A shown grid of 10 parameter rows over `takes` take columns (plus the
// names and the empty take-0 column, as the general grid has them).
struct TallGrid {
    explicit TallGrid(int takes, int page = CellGridModel::kPageColumns)
    {
        grid.setPageColumns(page);
        grid.setColCount(takes + 1);
        grid.AppendRow("");
        grid.appendSourceRows(std::make_shared<NumberedRows>(10));
        grid.AutoSizeColumns(0, takes);
        grid.resize(700, 300);
        grid.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid));
        grid.selectGridRow(3);
        grid.setFocus();
        QApplication::processEvents();
    }
    [[nodiscard]] int firstInView() const { return grid.pageFirstColumn() + grid.columnAt(0); }
    [[nodiscard]] bool inView(int row, int col) const
    {
        const int section = col - grid.pageFirstColumn();
        if (section < 0 || section >= grid.gridModel()->columnCount())
            return false;
        return grid.viewport()->rect().contains(grid.visualRect(grid.gridModel()->index(row - 1, section)));
    }
    [[nodiscard]] int currentColumn() const { return grid.pageFirstColumn() + grid.currentIndex().column(); }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(&grid, key, modifiers);
        QApplication::processEvents();  // the page follows the view
    }
    // Drags the thumb of the bar across from where it is to x in the bar.
    void dragThumbTo(int x)
    {
        QScrollBar* bar = grid.acrossBar();
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = Qt::Horizontal;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.pageStep = bar->pageStep();
        option.singleStep = bar->singleStep();
        const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
        QTest::mousePress(bar, Qt::LeftButton, {}, thumb.center());
        QMouseEvent move(QEvent::MouseMove, QPointF(x, thumb.center().y()), bar->mapToGlobal(QPointF(x, thumb.center().y())),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(x, thumb.center().y()));
        QApplication::processEvents();
    }
    CellGrid grid;
};

constexpr int kTakes = 3'600'000;

}  // namespace

TEST(CellGridAcross, HomeEndAndCtrlHomeCtrlEndReachTheEndsOfTheWholeGridAtOnce)
{
    TallGrid t(kTakes);
    const int last = t.grid.ColCount() - 1;
    t.press(Qt::Key_End);
    EXPECT_EQ(t.currentColumn(), last);
    EXPECT_TRUE(t.inView(3, last));
    EXPECT_EQ(t.grid.SelectedRow(), 3);
    t.press(Qt::Key_Home);
    EXPECT_EQ(t.currentColumn(), 1);
    EXPECT_TRUE(t.inView(3, 1));
    t.press(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(t.currentColumn(), last);
    EXPECT_EQ(t.grid.currentIndex().row() + 1, t.grid.RowCount() - 1);
    EXPECT_TRUE(t.inView(t.grid.RowCount() - 1, last));
    t.press(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(t.currentColumn(), 1);
    EXPECT_EQ(t.grid.currentIndex().row(), 0);
    EXPECT_TRUE(t.inView(1, 1));
    // The page never grows for it.
    EXPECT_EQ(t.grid.gridModel()->columnCount(), CellGridModel::kPageColumns);
}

TEST(CellGridAcross, TheBarAcrossSpansTheWholeGridAndFollowsTheView)
{
    TallGrid t(kTakes);
    QScrollBar* bar = t.grid.acrossBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_FALSE(t.grid.horizontalScrollBar()->isVisible());
    EXPECT_GT(bar->maximum(), kTakes - 1000);
    EXPECT_EQ(bar->value(), 0);

    // Wherever the view goes, the thumb says where that is in the whole log.
    t.grid.ScrollToCell(2, 2'700'000);
    EXPECT_NEAR(bar->value(), 2'700'000, bar->pageStep() + 1);
    t.press(Qt::Key_End);
    EXPECT_EQ(bar->value(), bar->maximum());
    t.press(Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
}

TEST(CellGridAcross, DraggingTheThumbGoesAnywhereInTheWholeGrid)
{
    TallGrid t(kTakes);
    QScrollBar* bar = t.grid.acrossBar();
    t.dragThumbTo(bar->width() - 1);
    EXPECT_TRUE(t.inView(3, t.grid.ColCount() - 1));
    EXPECT_EQ(bar->value(), bar->maximum());

    t.dragThumbTo(bar->width() / 2);
    const int middle = t.firstInView();
    EXPECT_GT(middle, kTakes / 4);
    EXPECT_LT(middle, 3 * kTakes / 4);
    EXPECT_EQ(bar->value(), middle - 1);
    EXPECT_TRUE(t.inView(3, middle));

    t.dragThumbTo(0);
    EXPECT_TRUE(t.inView(3, 1));
    EXPECT_EQ(bar->value(), 0);
}

TEST(CellGridAcross, AGridWithinOnePageKeepsTheViewsOwnBar)
{
    TallGrid t(2000);
    EXPECT_FALSE(t.grid.acrossBar()->isVisible());
    EXPECT_TRUE(t.grid.horizontalScrollBar()->isVisible());
    t.press(Qt::Key_End);
    EXPECT_TRUE(t.inView(3, t.grid.ColCount() - 1));

    // Fewer columns than a page again after a paged grid: the view's bar is back.
    TallGrid paged(2000, 500);
    ASSERT_TRUE(paged.grid.acrossBar()->isVisible());
    paged.grid.setPageColumns(CellGridModel::kPageColumns);
    QApplication::processEvents();
    EXPECT_FALSE(paged.grid.acrossBar()->isVisible());
    EXPECT_TRUE(paged.grid.horizontalScrollBar()->isVisible());
}

}  // namespace dlv
