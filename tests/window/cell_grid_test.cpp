#include "window/cell_grid.h"
#include "window/cell_grid_model.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace dlv {
namespace {

using Cell = CellRange;

// A grid with a model tester watching every change it makes.
struct TestedGrid {
    TestedGrid() : tester(grid.gridModel(), QAbstractItemModelTester::FailureReportingMode::Fatal) {}
    CellGrid grid;
    QAbstractItemModelTester tester;
};

QString text(const CellGrid& grid, int row, int col)
{
    return grid.CellText(Cell::cell(row, col));
}

void fill(CellGrid& grid, int rows, int cols)
{
    grid.setColCount(cols);
    for (int r = 0; r < rows; ++r) {
        std::string line;
        for (int c = 0; c < cols; ++c) {
            if (c > 0)
                line += '\t';
            line += std::to_string(r) + ":" + std::to_string(c);
        }
        grid.AppendRow(line);
    }
}

QString label(int row, int col)
{
    return QString::number(row) + ":" + QString::number(col);
}

void showGrid(CellGrid& grid, int width, int height)
{
    grid.resize(width, height);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
}

class VectorSource final : public CellRowSource {
public:
    explicit VectorSource(std::vector<std::vector<std::string>> rows) : m_rows(std::move(rows)) {}
    int rowCount() const override { return static_cast<int>(m_rows.size()); }
    std::string_view cell(int row, int col) const override
    {
        const auto& r = m_rows[static_cast<std::size_t>(row)];
        return static_cast<std::size_t>(col) < r.size() ? std::string_view(r[static_cast<std::size_t>(col)])
                                                        : std::string_view{};
    }
    std::uint32_t maxCellBytes(int col) const override
    {
        std::uint32_t most = 0;
        for (int r = 0; r < rowCount(); ++r)
            most = std::max(most, static_cast<std::uint32_t>(cell(r, col).size()));
        return most;
    }

private:
    std::vector<std::vector<std::string>> m_rows;
};

// ------------------------------------------------------------- AppendRow

TEST(CellGridAppendRow, TabsCutTextIntoColumnsInOrder)
{
    TestedGrid t;
    t.grid.setColCount(4);
    t.grid.AppendRow("name\tA\tB\tC");
    t.grid.AppendRow("rpm\t800\t1200\t1600");
    ASSERT_EQ(t.grid.RowCount(), 2);
    EXPECT_EQ(text(t.grid, 0, 0), "name");
    EXPECT_EQ(text(t.grid, 0, 3), "C");
    EXPECT_EQ(text(t.grid, 1, 0), "rpm");
    EXPECT_EQ(text(t.grid, 1, 2), "1200");
    EXPECT_EQ(text(t.grid, 1, 3), "1600");
}

TEST(CellGridAppendRow, EmptyPiecesKeepLaterPiecesInTheirColumns)
{
    TestedGrid t;
    t.grid.setColCount(5);
    t.grid.AppendRow("\t\tx\t\ty");
    EXPECT_EQ(text(t.grid, 0, 0), "");
    EXPECT_EQ(text(t.grid, 0, 1), "");
    EXPECT_EQ(text(t.grid, 0, 2), "x");
    EXPECT_EQ(text(t.grid, 0, 3), "");
    EXPECT_EQ(text(t.grid, 0, 4), "y");
}

TEST(CellGridAppendRow, PiecesBeyondLastColumnStayDroppedWhenColumnsGrow)
{
    TestedGrid t;
    t.grid.setColCount(2);
    t.grid.AppendRow("a\tb\tc\td");
    EXPECT_EQ(text(t.grid, 0, 1), "b");
    t.grid.setColCount(4);
    EXPECT_EQ(text(t.grid, 0, 2), "");
    EXPECT_EQ(text(t.grid, 0, 3), "");
}

TEST(CellGridAppendRow, PiecesOfEveryLengthLandInTheirColumns)
{
    // Pieces of 0 to 12 bytes put TABs at every offset of the 8-byte words the
    // row is scanned in; the last 7 pieces have no column.
    TestedGrid t;
    t.grid.setColCount(30);
    std::string line;
    std::vector<std::string> pieces;
    for (int c = 0; c < 37; ++c) {
        pieces.push_back(std::string(static_cast<std::size_t>(c % 13), static_cast<char>('a' + c % 26)));
        if (c > 0)
            line += '\t';
        line += pieces.back();
    }
    t.grid.AppendRow(line);
    for (int c = 0; c < 30; ++c)
        EXPECT_EQ(text(t.grid, 0, c), QString::fromStdString(pieces[static_cast<std::size_t>(c)])) << c;
    t.grid.setColCount(37);
    for (int c = 30; c < 37; ++c)
        EXPECT_EQ(text(t.grid, 0, c), "") << c;
}

TEST(CellGridAppendRow, ShortRowLeavesLaterColumnsEmpty)
{
    TestedGrid t;
    t.grid.setColCount(3);
    t.grid.AppendRow("only");
    t.grid.AppendRow("");
    EXPECT_EQ(text(t.grid, 0, 0), "only");
    EXPECT_EQ(text(t.grid, 0, 2), "");
    EXPECT_EQ(text(t.grid, 1, 0), "");
}

TEST(CellGridAppendRow, RowOfAGridWithoutColumnsHoldsNothing)
{
    TestedGrid t;
    t.grid.AppendRow("a\tb");
    EXPECT_EQ(t.grid.RowCount(), 1);
    t.grid.setColCount(2);
    EXPECT_EQ(text(t.grid, 0, 0), "");
}

TEST(CellGridAppendRow, InvalidUtf8IsShownAsLatin1)
{
    TestedGrid t;
    t.grid.setColCount(2);
    t.grid.AppendRow("\xB0" "C\t\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(text(t.grid, 0, 0), QString::fromLatin1("\xB0" "C"));
    EXPECT_EQ(text(t.grid, 0, 1), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
}

TEST(CellGridAppendRow, TwentyFiveMillionCellsHoldTheirTexts)
{
    constexpr int kRows = 256;
    constexpr int kCols = 100'000;
    CellGrid grid;
    grid.setColCount(kCols);
    std::string line;
    for (int r = 0; r < kRows; ++r) {
        line.clear();
        line += "name" + std::to_string(r);
        for (int c = 1; c < kCols; ++c) {
            line += '\t';
            if (c == kCols / 2)
                line += "mid" + std::to_string(r);
            else if (c == kCols - 1)
                line += "last" + std::to_string(r);
            else
                line += static_cast<char>('0' + (c + r) % 10);
        }
        grid.AppendRow(line);
    }
    ASSERT_EQ(grid.RowCount(), kRows);
    ASSERT_EQ(grid.gridModel()->rowCount(), kRows - 1);
    ASSERT_EQ(grid.gridModel()->columnCount(), kCols - 1);
    EXPECT_EQ(text(grid, 0, 0), "name0");
    EXPECT_EQ(text(grid, kRows - 1, 0), "name255");
    EXPECT_EQ(text(grid, 0, kCols - 1), "last0");
    EXPECT_EQ(text(grid, kRows - 1, kCols - 1), "last255");
    EXPECT_EQ(text(grid, 128, kCols / 2), "mid128");
    EXPECT_EQ(text(grid, 128, kCols / 2 + 1), QString::number((kCols / 2 + 1 + 128) % 10));
    EXPECT_EQ(text(grid, 77, 12345), QString::number((12345 + 77) % 10));

    grid.AutoSizeColumns(0, kCols - 1);
    const QHeaderView* across = grid.horizontalHeader();
    EXPECT_GT(across->sectionSize(kCols / 2 - 1), across->sectionSize(kCols / 2 - 2));
    EXPECT_GT(across->sectionSize(kCols - 2), across->sectionSize(kCols / 2 - 2));
    EXPECT_EQ(across->sectionSize(10), across->sectionSize(20));
}

// ---------------------------------------------------- RowCount / ColCount

TEST(CellGridSize, ShrinkingRowsKeepsTheRemainingRows)
{
    TestedGrid t;
    fill(t.grid, 6, 3);
    t.grid.setRowCount(3);
    ASSERT_EQ(t.grid.RowCount(), 3);
    EXPECT_EQ(text(t.grid, 2, 2), label(2, 2));
    EXPECT_EQ(text(t.grid, 0, 1), label(0, 1));
    EXPECT_THROW((void)text(t.grid, 3, 0), std::out_of_range);
}

TEST(CellGridSize, GrowingRowsAddsEmptyRowsAfterTheKeptOnes)
{
    TestedGrid t;
    fill(t.grid, 3, 3);
    t.grid.setCellBackColor({1, 0, 2, 2}, 255);
    t.grid.setRowCount(1);
    t.grid.setRowCount(4);
    EXPECT_EQ(text(t.grid, 0, 2), label(0, 2));
    EXPECT_EQ(text(t.grid, 1, 1), "");
    EXPECT_EQ(text(t.grid, 3, 2), "");
    // Removed rows take their colours with them.
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 1)), 0xFFFFFFu);
    t.grid.AppendRow("x");
    EXPECT_EQ(t.grid.RowCount(), 5);
}

TEST(CellGridSize, ShrinkingColumnsThenGrowingLeavesNewCellsEmpty)
{
    TestedGrid t;
    fill(t.grid, 3, 5);
    t.grid.setCellBackColor({0, 3, 2, 4}, 0xFF0000);
    t.grid.setCellBold({1, 4, 1, 4}, true);
    t.grid.setColCount(3);
    EXPECT_EQ(text(t.grid, 2, 2), label(2, 2));
    EXPECT_THROW((void)text(t.grid, 0, 3), std::out_of_range);
    t.grid.setColCount(6);
    EXPECT_EQ(text(t.grid, 1, 2), label(1, 2));
    EXPECT_EQ(text(t.grid, 1, 3), "");
    EXPECT_EQ(text(t.grid, 1, 4), "");
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 3)), 0xFFFFFFu);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(0, 4)), kButtonFace);
    EXPECT_FALSE(t.grid.gridModel()->isBold(1, 4));
}

TEST(CellGridSize, HeadersHideWhenTheirRowOrColumnIsMissing)
{
    CellGrid grid;
    EXPECT_TRUE(grid.horizontalHeader()->isHidden());
    EXPECT_TRUE(grid.verticalHeader()->isHidden());
    grid.setColCount(3);
    EXPECT_TRUE(grid.horizontalHeader()->isHidden());
    EXPECT_FALSE(grid.verticalHeader()->isHidden());
    grid.setRowCount(2);
    EXPECT_FALSE(grid.horizontalHeader()->isHidden());
    grid.setColCount(0);
    EXPECT_TRUE(grid.verticalHeader()->isHidden());
}

TEST(CellGridSize, HeaderRowAndColumnAreServedAsHeaderData)
{
    TestedGrid t;
    fill(t.grid, 3, 4);
    const CellGridModel* model = t.grid.gridModel();
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), label(1, 1));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), label(0, 3));
    EXPECT_EQ(model->headerData(1, Qt::Vertical).toString(), label(2, 0));
}

// -------------------------------------------------------------- CellText

TEST(CellGridText, RangeWriteReachesEveryCellAndNoOther)
{
    TestedGrid t;
    fill(t.grid, 5, 5);
    t.grid.setCellText({1, 1, 3, 2}, QStringLiteral("x"));
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) {
            const bool inside = r >= 1 && r <= 3 && c >= 1 && c <= 2;
            EXPECT_EQ(text(t.grid, r, c), inside ? QString("x") : label(r, c)) << r << "," << c;
        }
    // Reading a range gives its first cell.
    EXPECT_EQ(t.grid.CellText({4, 3, 4, 4}), label(4, 3));
}

TEST(CellGridText, ReversedRangeCoversTheSameCells)
{
    TestedGrid t;
    fill(t.grid, 4, 4);
    t.grid.setCellText({3, 3, 2, 1}, QStringLiteral("r"));
    EXPECT_EQ(text(t.grid, 2, 1), "r");
    EXPECT_EQ(text(t.grid, 3, 3), "r");
    EXPECT_EQ(text(t.grid, 1, 1), label(1, 1));
}

TEST(CellGridText, NumbersAreWrittenAsPlainDecimals)
{
    TestedGrid t;
    t.grid.setRowCount(3);
    t.grid.setColCount(3);
    t.grid.setCellText(Cell::cell(1, 1), 20.0);
    t.grid.setCellText(Cell::cell(1, 2), 2.5);
    t.grid.setCellText(Cell::cell(2, 0), -0.125);
    EXPECT_EQ(text(t.grid, 1, 1), "20");
    EXPECT_EQ(text(t.grid, 1, 2), "2.5");
    EXPECT_EQ(text(t.grid, 2, 0), "-0.125");
}

TEST(CellGridText, WritingPastTheAppendedPiecesExtendsTheRow)
{
    TestedGrid t;
    t.grid.setColCount(4);
    t.grid.AppendRow("a");
    t.grid.setCellText(Cell::cell(0, 3), QStringLiteral("d"));
    EXPECT_EQ(text(t.grid, 0, 0), "a");
    EXPECT_EQ(text(t.grid, 0, 2), "");
    EXPECT_EQ(text(t.grid, 0, 3), "d");
}

TEST(CellGridText, ManySingleWritesToALongRowAllLand)
{
    // Enough writes to a long row to go through the collected writes and the
    // rewrite that folds them in, with neighbours that must not move. (No
    // model tester: it walks all 6000 cells on every write.)
    struct {
        CellGrid grid;
    } t;
    fill(t.grid, 2, 3000);
    for (int c = 1; c < 3000; c += 3)
        t.grid.setCellText(Cell::cell(1, c), QString("w%1").arg(c));
    t.grid.setCellText(Cell::cell(1, 7), QStringLiteral(""));
    for (int c = 0; c < 3000; ++c) {
        const QString expected = c == 7 ? QString() : (c % 3 == 1 ? QString("w%1").arg(c) : label(1, c));
        ASSERT_EQ(text(t.grid, 1, c), expected) << c;
    }
    EXPECT_EQ(text(t.grid, 0, 1), label(0, 1));
}

TEST(CellGridText, NonAsciiTextReadsBackUnchanged)
{
    TestedGrid t;
    t.grid.setRowCount(2);
    t.grid.setColCount(2);
    const QString degrees = QString::fromUtf8("\xC2\xB0" "C \xE2\x82\xAC");
    t.grid.setCellText(Cell::cell(1, 1), degrees);
    EXPECT_EQ(text(t.grid, 1, 1), degrees);
}

// --------------------------------------------------------------- colours

TEST(CellGridColor, UnsetBackColourIsButtonFaceForHeadersAndWhiteElsewhere)
{
    TestedGrid t;
    t.grid.setRowCount(3);
    t.grid.setColCount(3);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(0, 0)), kButtonFace);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(0, 2)), kButtonFace);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(2, 0)), kButtonFace);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 1)), 0xFFFFFFu);
    EXPECT_FALSE(t.grid.gridModel()->data(t.grid.gridModel()->index(0, 0), Qt::BackgroundRole).isValid());
}

TEST(CellGridColor, RangeColourCoversTheRangeAndLaterWritesWin)
{
    TestedGrid t;
    t.grid.setRowCount(4);
    t.grid.setColCount(10);
    t.grid.setCellBackColor({1, 1, 3, 8}, 0x00FF00);
    t.grid.setCellBackColor({2, 4, 2, 5}, 255);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 1)), 0x00FF00u);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(3, 8)), 0x00FF00u);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(2, 3)), 0x00FF00u);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(2, 4)), 255u);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(2, 5)), 255u);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(2, 6)), 0x00FF00u);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(2, 9)), 0xFFFFFFu);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 0)), kButtonFace);
    // The colour the view gets is in red-green-blue order.
    const CellGridModel* model = t.grid.gridModel();
    EXPECT_EQ(model->data(model->index(1, 3), Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(model->data(model->index(0, 0), Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
}

TEST(CellGridColor, ExplicitButtonFaceIsDrawnAsThePaletteButtonColour)
{
    TestedGrid t;
    t.grid.setRowCount(2);
    t.grid.setColCount(2);
    t.grid.setCellBackColor(Cell::cell(1, 1), kButtonFace);
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 1)), kButtonFace);
    const CellGridModel* model = t.grid.gridModel();
    EXPECT_EQ(model->data(model->index(0, 0), Qt::BackgroundRole).value<QColor>(),
              t.grid.palette().color(QPalette::Button));
}

TEST(CellGridColor, TextColourAndBoldApplyPerRange)
{
    TestedGrid t;
    t.grid.setRowCount(3);
    t.grid.setColCount(4);
    t.grid.setCellTextColor({1, 1, 2, 2}, 0xFF0000);
    t.grid.setCellBold({0, 0, 2, 3}, true);
    t.grid.setCellBold({1, 2, 1, 2}, false);
    const CellGridModel* model = t.grid.gridModel();
    EXPECT_EQ(model->data(model->index(1, 1), Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
    EXPECT_FALSE(model->data(model->index(0, 2), Qt::ForegroundRole).isValid());
    EXPECT_TRUE(model->data(model->index(0, 0), Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(model->data(model->index(0, 1), Qt::FontRole).isValid());
    EXPECT_TRUE(model->headerData(0, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(model->isBold(1, 3));
    EXPECT_FALSE(model->isBold(1, 2));
}

TEST(CellGridColor, ColouringCellByCellKeepsEveryColour)
{
    TestedGrid t;
    t.grid.setRowCount(2);
    t.grid.setColCount(200);
    for (int c = 199; c >= 0; --c)
        t.grid.setCellBackColor(Cell::cell(1, c), static_cast<GridColor>(c % 3));
    for (int c = 0; c < 200; c += 2)
        t.grid.setCellBackColor(Cell::cell(1, c), 0xABCDEF);
    for (int c = 0; c < 200; ++c)
        ASSERT_EQ(t.grid.CellBackColor(Cell::cell(1, c)), c % 2 == 0 ? 0xABCDEFu : static_cast<GridColor>(c % 3)) << c;
}

TEST(ColumnRunsTest, AssignInsideARunSplitsIt)
{
    ColumnRuns runs;
    runs.assign(0, 9, 1);
    runs.assign(3, 4, 2);
    EXPECT_EQ(runs.find(2), 1u);
    EXPECT_EQ(runs.find(3), 2u);
    EXPECT_EQ(runs.find(4), 2u);
    EXPECT_EQ(runs.find(5), 1u);
    EXPECT_EQ(runs.find(9), 1u);
    EXPECT_FALSE(runs.find(10));
}

TEST(ColumnRunsTest, AssignOverSeveralRunsReplacesOnlyTheCoveredPart)
{
    ColumnRuns runs;
    runs.assign(0, 2, 1);
    runs.assign(5, 7, 2);
    runs.assign(9, 12, 3);
    runs.assign(1, 10, 4);
    EXPECT_EQ(runs.find(0), 1u);
    EXPECT_EQ(runs.find(1), 4u);
    EXPECT_EQ(runs.find(8), 4u);
    EXPECT_EQ(runs.find(10), 4u);
    EXPECT_EQ(runs.find(11), 3u);
    EXPECT_EQ(runs.find(12), 3u);
}

TEST(ColumnRunsTest, EraseInsideARunLeavesBothEnds)
{
    ColumnRuns runs;
    runs.assign(0, 9, 7);
    runs.erase(4, 5);
    EXPECT_EQ(runs.find(3), 7u);
    EXPECT_FALSE(runs.find(4));
    EXPECT_FALSE(runs.find(5));
    EXPECT_EQ(runs.find(6), 7u);
    runs.truncate(2);
    EXPECT_EQ(runs.find(1), 7u);
    EXPECT_FALSE(runs.find(2));
    EXPECT_FALSE(runs.find(6));
}

// ------------------------------------------------------ painted headers

TEST(CellGridPaint, SetHeaderColoursArePainted)
{
    CellGrid grid;
    fill(grid, 6, 5);
    grid.setCellText(Cell::cell(3, 0), QString());
    grid.setCellBackColor(Cell::cell(3, 0), 255);          // red name cell
    grid.setCellTextColor(Cell::cell(3, 0), 0xFFFFFF);
    grid.setCellBold(Cell::cell(3, 0), true);
    grid.setCellText(Cell::cell(0, 2), QString());
    grid.setCellBackColor(Cell::cell(0, 2), 0xFF0000);     // blue caption cell
    grid.setCellText(Cell::cell(0, 0), QStringLiteral(""));
    grid.setCellBackColor(Cell::cell(0, 0), 0x00FF00);     // green corner
    showGrid(grid, 400, 300);

    QHeaderView* down = grid.verticalHeader();
    const QImage names = down->grab().toImage();
    const int redY = down->sectionViewportPosition(2) + down->sectionSize(2) / 2;
    const int plainY = down->sectionViewportPosition(0) + down->sectionSize(0) / 2;
    EXPECT_EQ(QColor(names.pixel(down->width() / 2, redY)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(names.pixel(down->width() - 3, plainY)), grid.palette().color(QPalette::Button));

    QHeaderView* across = grid.horizontalHeader();
    const QImage captions = across->grab().toImage();
    const int blueX = across->sectionViewportPosition(1) + across->sectionSize(1) / 2;
    EXPECT_EQ(QColor(captions.pixel(blueX, across->height() / 2)), QColor(0, 0, 255));

    const QImage whole = grid.grab().toImage();
    EXPECT_EQ(QColor(whole.pixel(down->x() + 2, across->y() + 2)), QColor(0, 255, 0));
}

TEST(CellGridPaint, CornerShowsCellZeroZero)
{
    CellGrid grid;
    grid.setColCount(3);
    grid.AppendRow("RPM/MAP\t20\t30");
    grid.AppendRow("800\t1\t2");
    EXPECT_EQ(text(grid, 0, 0), "RPM/MAP");
    showGrid(grid, 300, 200);
    // The corner covers the cross of the two headers, so the text is drawn there.
    const QHeaderView* down = grid.verticalHeader();
    const QHeaderView* across = grid.horizontalHeader();
    const QImage whole = grid.grab().toImage();
    const QColor face = grid.palette().color(QPalette::Button);
    bool inked = false;
    for (int x = down->x() + 1; x < down->x() + down->width() - 2 && !inked; ++x)
        for (int y = across->y() + 1; y < across->y() + across->height() - 2 && !inked; ++y)
            inked = QColor(whole.pixel(x, y)) != face;
    EXPECT_TRUE(inked);
}

// ------------------------------------------------------------- selection

TEST(CellGridSelection, NothingSelectedGivesNoDataRow)
{
    TestedGrid t;
    fill(t.grid, 5, 3);
    EXPECT_LE(t.grid.SelectedRow(), 0);
}

TEST(CellGridSelection, SelectGridRowSelectsAndReports)
{
    TestedGrid t;
    fill(t.grid, 5, 3);
    QSignalSpy spy(&t.grid, &CellGrid::rowSelected);
    t.grid.selectGridRow(3);
    EXPECT_EQ(t.grid.SelectedRow(), 3);
    EXPECT_EQ(spy.count(), 1);
    t.grid.selectGridRow(3);
    EXPECT_EQ(spy.count(), 2);
    EXPECT_THROW(t.grid.selectGridRow(0), std::out_of_range);
    EXPECT_THROW(t.grid.selectGridRow(5), std::out_of_range);
}

TEST(CellGridSelection, SeveralSelectedRowsGiveTheFirst)
{
    TestedGrid t;
    fill(t.grid, 8, 3);
    const CellGridModel* model = t.grid.gridModel();
    QItemSelection selection(model->index(4, 0), model->index(5, 1));
    selection.select(model->index(1, 0), model->index(1, 1));
    t.grid.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(t.grid.SelectedRow(), 2);
    EXPECT_EQ(t.grid.SelectedRow(0), 2);
    EXPECT_EQ(t.grid.SelectedRow(1), 5);
    EXPECT_EQ(t.grid.SelectedRow(2), 6);
    EXPECT_LE(t.grid.SelectedRow(3), 0);
}

TEST(CellGridSelection, ProgramChangesRaiseNoRowSelected)
{
    TestedGrid t;
    fill(t.grid, 5, 3);
    t.grid.selectGridRow(4);
    QSignalSpy spy(&t.grid, &CellGrid::rowSelected);
    t.grid.setRowCount(3);
    t.grid.AppendRow("x\ty");
    t.grid.setColCount(2);
    t.grid.setCellText({1, 0, 3, 1}, QStringLiteral("z"));
    EXPECT_EQ(spy.count(), 0);
}

TEST(CellGridSelection, ClickOnACellSelectsItsRowAndReports)
{
    CellGrid grid;
    fill(grid, 10, 6);
    showGrid(grid, 400, 300);
    QSignalSpy spy(&grid, &CellGrid::rowSelected);
    const QRect cell = grid.visualRect(grid.gridModel()->index(2, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(grid.SelectedRow(), 3);
}

TEST(CellGridSelection, ClickOnARowNameSelectsTheRow)
{
    CellGrid grid;
    fill(grid, 10, 6);
    showGrid(grid, 400, 300);
    QSignalSpy spy(&grid, &CellGrid::rowSelected);
    QHeaderView* down = grid.verticalHeader();
    const QPoint at(down->width() / 2, down->sectionViewportPosition(4) + down->sectionSize(4) / 2);
    QTest::mouseClick(down->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(grid.SelectedRow(), 5);
}

TEST(CellGridSelection, ArrowKeyMovesTheSelectionAndReports)
{
    CellGrid grid;
    fill(grid, 10, 6);
    showGrid(grid, 400, 300);
    grid.setFocus();
    grid.selectGridRow(2);
    QSignalSpy spy(&grid, &CellGrid::rowSelected);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(grid.SelectedRow(), 3);
}

TEST(CellGridSelection, ThrowingListenerDoesNotEscapeTheClick)
{
    CellGrid grid;
    fill(grid, 5, 3);
    showGrid(grid, 300, 200);
    QObject::connect(&grid, &CellGrid::rowSelected, [] { throw std::runtime_error("listener"); });
    const QRect cell = grid.visualRect(grid.gridModel()->index(1, 0));
    EXPECT_NO_THROW(QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center()));
    EXPECT_EQ(grid.SelectedRow(), 2);
}

// ------------------------------------------------------------ scrolling

TEST(CellGridScroll, ScrollToCellMovesTheBarsButNotTheSelection)
{
    TestedGrid t;
    fill(t.grid, 60, 200);
    showGrid(t.grid, 400, 300);
    t.grid.selectGridRow(2);
    QSignalSpy spy(&t.grid, &CellGrid::rowSelected);

    t.grid.ScrollToCell(50, 150);
    EXPECT_GT(t.grid.verticalScrollBar()->value(), 0);
    EXPECT_GT(t.grid.horizontalScrollBar()->value(), 0);
    const QRect cell = t.grid.visualRect(t.grid.gridModel()->index(49, 149));
    EXPECT_TRUE(t.grid.viewport()->rect().contains(cell)) << cell.x() << "," << cell.y();
    EXPECT_EQ(t.grid.SelectedRow(), 2);
    EXPECT_EQ(spy.count(), 0);

    t.grid.ScrollToCell(50, 0);
    EXPECT_EQ(t.grid.horizontalScrollBar()->value(), 0);
    EXPECT_GT(t.grid.verticalScrollBar()->value(), 0);
    t.grid.ScrollToCell(0, 0);
    EXPECT_EQ(t.grid.verticalScrollBar()->value(), 0);
    t.grid.ScrollToCell(1, 1);
    EXPECT_EQ(t.grid.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(t.grid.SelectedRow(), 2);
    EXPECT_EQ(spy.count(), 0);
}

TEST(CellGridScroll, ScrollingBackToAnEarlierCellShowsIt)
{
    CellGrid grid;
    fill(grid, 60, 200);
    showGrid(grid, 400, 300);
    grid.ScrollToCell(59, 199);
    grid.ScrollToCell(10, 20);
    EXPECT_TRUE(grid.viewport()->rect().contains(grid.visualRect(grid.gridModel()->index(9, 19))));
}

// ------------------------------------------------------------ AutoSize

TEST(CellGridAutoSize, WiderTextGivesWiderColumn)
{
    TestedGrid t;
    t.grid.setColCount(4);
    t.grid.AppendRow("n\tshort\tA much longer caption\t1");
    t.grid.AppendRow("a very long parameter name\t1\t2\t1234567890.5");
    t.grid.AutoSizeColumns(0, 3);
    const QHeaderView* across = t.grid.horizontalHeader();
    EXPECT_GT(across->sectionSize(1), across->sectionSize(0));
    EXPECT_GT(across->sectionSize(2), across->sectionSize(0));
    const QFontMetrics metrics(t.grid.font());
    // Wide enough for the text and the margins the cell painter leaves, so
    // that nothing is elided.
    const int margins = 2 * (t.grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &t.grid) + 1);
    EXPECT_GE(across->sectionSize(1), metrics.horizontalAdvance("A much longer caption") + margins);
    EXPECT_GE(across->sectionSize(2), metrics.horizontalAdvance("1234567890.5") + margins);
    // Column 0 is the row header: its width follows the names.
    EXPECT_GE(t.grid.verticalHeader()->width(), metrics.horizontalAdvance("a very long parameter name"));
    EXPECT_LT(t.grid.verticalHeader()->width(), metrics.horizontalAdvance("a very long parameter name") * 2);
}

TEST(CellGridAutoSize, EstimatedWidthsFollowTheLongestNumber)
{
    // 300 x 10 cells is beyond the measured size: widths come from lengths.
    CellGrid grid;
    grid.setColCount(10);
    for (int r = 0; r < 300; ++r)
        grid.AppendRow(r == 150 ? "name\t1\t123456789.25\t1\t1\t1\t1\t1\t1\t1" : "name\t1\t1\t1\t1\t1\t1\t1\t1\t1");
    grid.setCellBold(Cell::cell(20, 4), true);
    grid.AutoSizeColumns(1, 9);
    const QHeaderView* across = grid.horizontalHeader();
    const QFontMetrics metrics(grid.font());
    EXPECT_GE(across->sectionSize(1), metrics.horizontalAdvance("123456789.25"));
    EXPECT_GT(across->sectionSize(1), across->sectionSize(0));
    EXPECT_GE(across->sectionSize(3), across->sectionSize(2));
    EXPECT_EQ(across->sectionSize(0), across->sectionSize(8));
}

TEST(CellGridAutoSize, OnlyTheGivenColumnsChange)
{
    TestedGrid t;
    fill(t.grid, 3, 5);
    const int before = t.grid.horizontalHeader()->sectionSize(3);
    t.grid.setCellText(Cell::cell(1, 4), QStringLiteral("a rather long text in column four"));
    t.grid.setCellText(Cell::cell(1, 1), QStringLiteral("a rather long text in column one"));
    t.grid.AutoSizeColumns(1, 2);
    EXPECT_EQ(t.grid.horizontalHeader()->sectionSize(3), before);
    EXPECT_GT(t.grid.horizontalHeader()->sectionSize(0), before);
}

// ---------------------------------------------------------- source rows

TEST(CellGridSource, SourceRowsShowTheSourceTexts)
{
    TestedGrid t;
    t.grid.setColCount(3);
    t.grid.AppendRow("name\tT0\tT1");
    t.grid.appendSourceRows(std::make_shared<VectorSource>(std::vector<std::vector<std::string>>{
        {"RPM", "800", "900", "hidden"}, {"MAP", "30"}, {"\xB0" "C", "\xB0"}}));
    ASSERT_EQ(t.grid.RowCount(), 4);
    EXPECT_EQ(text(t.grid, 1, 0), "RPM");
    EXPECT_EQ(text(t.grid, 1, 2), "900");
    EXPECT_EQ(text(t.grid, 2, 2), "");
    EXPECT_EQ(text(t.grid, 3, 0), QString::fromLatin1("\xB0" "C"));
    // Columns at or beyond ColCount when the rows came are not part of them.
    t.grid.setColCount(4);
    EXPECT_EQ(text(t.grid, 1, 3), "");
    const CellGridModel* model = t.grid.gridModel();
    EXPECT_EQ(model->headerData(1, Qt::Vertical).toString(), "MAP");
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), "800");
}

TEST(CellGridSource, SourceGridStartsWithItsHeaderRow)
{
    TestedGrid t;
    t.grid.setColCount(2);
    t.grid.appendSourceRows(std::make_shared<VectorSource>(
        std::vector<std::vector<std::string>>{{"corner", "caption"}, {"name", "value"}}));
    EXPECT_EQ(t.grid.RowCount(), 2);
    EXPECT_EQ(text(t.grid, 0, 1), "caption");
    EXPECT_EQ(t.grid.gridModel()->headerData(0, Qt::Horizontal).toString(), "caption");
    EXPECT_EQ(text(t.grid, 1, 1), "value");
}

TEST(CellGridSource, WritesOverSourceCellsWinAndLeaveTheOthers)
{
    std::vector<std::vector<std::string>> rows(3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2000; ++c)
            rows[static_cast<std::size_t>(r)].push_back(label(r, c).toStdString());
    TestedGrid t;
    t.grid.setColCount(2000);
    t.grid.appendSourceRows(std::make_shared<VectorSource>(rows));
    t.grid.setCellText(Cell::cell(1, 5), QStringLiteral("five"));
    t.grid.setCellText({2, 0, 2, 1999}, QStringLiteral("all"));
    EXPECT_EQ(text(t.grid, 1, 5), "five");
    EXPECT_EQ(text(t.grid, 1, 4), label(1, 4));
    EXPECT_EQ(text(t.grid, 1, 6), label(1, 6));
    EXPECT_EQ(text(t.grid, 2, 0), "all");
    EXPECT_EQ(text(t.grid, 2, 1999), "all");
    t.grid.setColCount(6);
    EXPECT_EQ(text(t.grid, 1, 5), "five");
    t.grid.setColCount(5);
    t.grid.setColCount(6);
    EXPECT_EQ(text(t.grid, 1, 5), "");
}

TEST(CellGridSource, AutoSizeUsesTheSourceColumnMaxima)
{
    std::vector<std::vector<std::string>> rows(400, std::vector<std::string>{"n", "1", "1"});
    rows[399][2] = "-12345678.5";
    CellGrid grid;
    grid.setColCount(3);
    grid.appendSourceRows(std::make_shared<VectorSource>(rows));
    grid.AutoSizeColumns(1, 2);
    const QHeaderView* across = grid.horizontalHeader();
    EXPECT_GE(across->sectionSize(1), QFontMetrics(grid.font()).horizontalAdvance("-12345678.5"));
    EXPECT_GT(across->sectionSize(1), across->sectionSize(0));
}

// ---------------------------------------------------------- out of range

TEST(CellGridRange, OutOfRangeRowsAndColumnsThrow)
{
    CellGrid grid;
    fill(grid, 3, 3);
    EXPECT_THROW((void)grid.CellText(Cell::cell(3, 0)), std::out_of_range);
    EXPECT_THROW((void)grid.CellText(Cell::cell(0, -1)), std::out_of_range);
    EXPECT_THROW(grid.setCellText({0, 0, 3, 2}, QStringLiteral("x")), std::out_of_range);
    EXPECT_THROW(grid.setCellText({0, 0, 2, 3}, 1.0), std::out_of_range);
    EXPECT_THROW((void)grid.CellBackColor(Cell::cell(-1, 0)), std::out_of_range);
    EXPECT_THROW(grid.setCellBackColor({0, 0, 0, 5}, 0), std::out_of_range);
    EXPECT_THROW(grid.setCellTextColor({4, 0, 4, 0}, 0), std::out_of_range);
    EXPECT_THROW(grid.setCellBold({0, 3, 0, 3}, true), std::out_of_range);
    EXPECT_THROW(grid.AutoSizeColumns(0, 3), std::out_of_range);
    EXPECT_THROW(grid.ScrollToCell(3, 0), std::out_of_range);
    EXPECT_THROW(grid.ScrollToCell(0, 3), std::out_of_range);
    EXPECT_THROW(grid.setRowCount(-1), std::out_of_range);
    EXPECT_THROW(grid.setColCount(-1), std::out_of_range);
    EXPECT_THROW((void)grid.SelectedRow(-1), std::out_of_range);
    // A failed write leaves the grid as it was.
    EXPECT_EQ(text(grid, 2, 2), label(2, 2));
}

}  // namespace
}  // namespace dlv
