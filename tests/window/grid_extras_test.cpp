#include "window/cell_grid.h"
#include "window/cell_grid_model.h"
#include "window/find_bar.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dlv {
namespace {

using Cell = CellRange;

struct TestedGrid {
    TestedGrid() : tester(grid.gridModel(), QAbstractItemModelTester::FailureReportingMode::Fatal) {}
    CellGrid grid;
    QAbstractItemModelTester tester;
};

// A BLM-like grid: 4 x 5 cells, row 0 captions, column 0 labels, data "r:c".
void fillSmall(CellGrid& grid, int rows = 4, int cols = 5)
{
    grid.setColCount(cols);
    for (int r = 0; r < rows; ++r) {
        std::string line;
        for (int c = 0; c < cols; ++c) {
            if (c > 0)
                line += '\t';
            if (r == 0 || c == 0)
                line += "h" + std::to_string(r) + std::to_string(c);
            else if (r == 1 && c == 1)
                line += "";  // an empty data cell: its background shows whole
            else
                line += std::to_string(r) + ":" + std::to_string(c);
        }
        grid.AppendRow(line);
    }
}

void showGrid(QWidget& widget, int width = 480, int height = 240)
{
    widget.resize(width, height);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

// The style shades the focused current cell; tint tests look elsewhere.
void parkCurrentCell(CellGrid& grid)
{
    grid.selectionModel()->setCurrentIndex(grid.gridModel()->index(grid.RowCount() - 2, 0),
                                           QItemSelectionModel::NoUpdate);
}

QRect cellRect(const CellGrid& grid, int row, int col)
{
    return grid.visualRect(grid.gridModel()->index(row - 1, col - 1));
}

QColor pixelIn(CellGrid& grid, int row, int col)
{
    const QRect rect = cellRect(grid, row, col);
    const QImage image = grid.viewport()->grab().toImage();
    // Right of the short texts, clear of the grid lines.
    return QColor(image.pixel(rect.right() - 4, rect.center().y()));
}

QVariant modelData(const CellGrid& grid, int row, int col, int role)
{
    return grid.gridModel()->data(grid.gridModel()->index(row - 1, col - 1), role);
}

// ------------------------------------------------------------------ tints

TEST(CellGridTint, DrawnAsBackgroundWithoutChangingBackColorOrText)
{
    TestedGrid t;
    fillSmall(t.grid);
    showGrid(t.grid);
    parkCurrentCell(t.grid);
    t.grid.setCellTint(1, 1, QColor(0xE6, 0x61, 0x01));
    t.grid.setCellTint(2, 3, QColor(0x5E, 0x3C, 0x99));
    QApplication::processEvents();

    EXPECT_EQ(pixelIn(t.grid, 1, 1), QColor(0xE6, 0x61, 0x01));
    EXPECT_EQ(pixelIn(t.grid, 2, 3), QColor(0x5E, 0x3C, 0x99));
    EXPECT_EQ(pixelIn(t.grid, 2, 2), QColor(Qt::white));
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 1)), GridColor{0xFFFFFF});
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(2, 3)), GridColor{0xFFFFFF});
    EXPECT_EQ(t.grid.CellText(Cell::cell(2, 3)), QStringLiteral("2:3"));
}

TEST(CellGridTint, SetBackColorWinsOverTint)
{
    TestedGrid t;
    fillSmall(t.grid);
    showGrid(t.grid);
    parkCurrentCell(t.grid);
    t.grid.setCellTint(1, 1, QColor(0x5E, 0x3C, 0x99));
    t.grid.setCellBackColor(Cell::cell(1, 1), 0x00FF00);  // green (BGR order)
    QApplication::processEvents();
    EXPECT_EQ(pixelIn(t.grid, 1, 1), QColor(0, 255, 0));
    EXPECT_EQ(t.grid.CellBackColor(Cell::cell(1, 1)), GridColor{0x00FF00});
}

TEST(CellGridTint, RemovedByNulloptAndByClearTints)
{
    TestedGrid t;
    fillSmall(t.grid);
    showGrid(t.grid);
    parkCurrentCell(t.grid);
    t.grid.setCellTint(1, 1, QColor(0xE6, 0x61, 0x01));
    t.grid.setCellTint(3, 4, QColor(0xE6, 0x61, 0x01));
    t.grid.setCellToolTip(3, 4, QStringLiteral("Takes: 5"));
    t.grid.setCellTint(1, 1, std::nullopt);
    QApplication::processEvents();
    EXPECT_EQ(pixelIn(t.grid, 1, 1), QColor(Qt::white));
    EXPECT_FALSE(modelData(t.grid, 1, 1, Qt::BackgroundRole).isValid());

    QSignalSpy changed(t.grid.gridModel(), &QAbstractItemModel::dataChanged);
    t.grid.clearTints();
    EXPECT_GE(changed.count(), 1);  // views must hear of it to repaint
    QApplication::processEvents();
    EXPECT_EQ(pixelIn(t.grid, 3, 4), QColor(Qt::white));
    EXPECT_FALSE(modelData(t.grid, 3, 4, Qt::ToolTipRole).isValid());
}

TEST(CellGridTint, RowsRemovedAndAddedAgainStartPlain)
{
    TestedGrid t;
    fillSmall(t.grid);
    t.grid.setCellTint(3, 2, QColor(Qt::red));
    t.grid.setCellToolTip(3, 2, QStringLiteral("old"));
    t.grid.setRowCount(2);
    t.grid.AppendRow("x\ty\tz\tw\tv");
    t.grid.AppendRow("x\ty\tz\tw\tv");
    EXPECT_FALSE(modelData(t.grid, 3, 2, Qt::BackgroundRole).isValid());
    EXPECT_FALSE(modelData(t.grid, 3, 2, Qt::ToolTipRole).isValid());
}

TEST(CellGridTint, OutsideTheGridThrows)
{
    CellGrid grid;
    fillSmall(grid);
    EXPECT_THROW(grid.setCellTint(4, 1, QColor(Qt::red)), std::out_of_range);
    EXPECT_THROW(grid.setCellToolTip(1, 5, QStringLiteral("x")), std::out_of_range);
}

TEST(CellGridToolTip, ServedByModelForDataAndHeaderCells)
{
    TestedGrid t;
    fillSmall(t.grid);
    t.grid.setCellToolTip(2, 3, QStringLiteral("Takes: 57\nBLM min 121, max 135"));
    t.grid.setCellToolTip(2, 0, QStringLiteral("row label"));
    EXPECT_EQ(modelData(t.grid, 2, 3, Qt::ToolTipRole).toString(), QStringLiteral("Takes: 57\nBLM min 121, max 135"));
    EXPECT_FALSE(modelData(t.grid, 2, 2, Qt::ToolTipRole).isValid());
    EXPECT_EQ(t.grid.gridModel()->headerData(1, Qt::Vertical, Qt::ToolTipRole).toString(), QStringLiteral("row label"));
    // Display text untouched.
    EXPECT_EQ(modelData(t.grid, 2, 3, Qt::DisplayRole).toString(), QStringLiteral("2:3"));
    t.grid.setCellToolTip(2, 3, QString());
    EXPECT_FALSE(modelData(t.grid, 2, 3, Qt::ToolTipRole).isValid());
}

// ------------------------------------------------------------ double-click

TEST(CellGridDoubleClick, ReportsGridCoordinatesOfTheCell)
{
    TestedGrid t;
    fillSmall(t.grid);
    showGrid(t.grid);
    QSignalSpy spy(&t.grid, &CellGrid::cellDoubleClicked);
    QTest::mouseDClick(t.grid.viewport(), Qt::LeftButton, {}, cellRect(t.grid, 3, 2).center());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 3);
    EXPECT_EQ(spy.at(0).at(1).toInt(), 2);

    QTest::mouseDClick(t.grid.viewport(), Qt::LeftButton, {}, cellRect(t.grid, 1, 4).center());
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(1).at(1).toInt(), 4);

    // A user's double-click: press and release, then the double-click event.
    QTest::mouseClick(t.grid.viewport(), Qt::LeftButton, {}, cellRect(t.grid, 2, 1).center());
    QTest::mouseDClick(t.grid.viewport(), Qt::LeftButton, {}, cellRect(t.grid, 2, 1).center());
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 2);
    EXPECT_EQ(spy.at(2).at(1).toInt(), 1);
    EXPECT_EQ(t.grid.SelectedRow(), 2);
}

TEST(CellGridDoubleClick, ThrowingListenerDoesNotEscape)
{
    CellGrid grid;
    fillSmall(grid);
    showGrid(grid);
    QObject::connect(&grid, &CellGrid::cellDoubleClicked, [](int, int) { throw std::runtime_error("listener"); });
    EXPECT_NO_THROW(QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cellRect(grid, 2, 2).center()));
}

// ------------------------------------------------------------------- copy

TEST(CellGridCopy, CtrlCCopiesSelectedRowWithItsName)
{
    TestedGrid t;
    fillSmall(t.grid);
    showGrid(t.grid);
    t.grid.selectGridRow(2);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::keyClick(&t.grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("h20\t2:1\t2:2\t2:3\t2:4\n"));
}

TEST(CellGridCopy, RectangleOfCellsByShiftClick)
{
    TestedGrid t;
    fillSmall(t.grid);
    t.grid.setSelectionBehavior(QAbstractItemView::SelectItems);
    t.grid.setSelectionMode(QAbstractItemView::ExtendedSelection);
    showGrid(t.grid);
    QTest::mouseClick(t.grid.viewport(), Qt::LeftButton, {}, cellRect(t.grid, 2, 2).center());
    QTest::mouseClick(t.grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, cellRect(t.grid, 3, 3).center());
    QTest::keyClick(&t.grid, Qt::Key_C, Qt::ControlModifier);
    // Not every data column is selected: no names, no header row.
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("2:2\t2:3\n3:2\t3:3\n"));
}

TEST(CellGridCopy, UnselectedCellsAmongSelectedOnesAreEmptyFields)
{
    TestedGrid t;
    fillSmall(t.grid, 5, 5);
    t.grid.setSelectionBehavior(QAbstractItemView::SelectItems);
    t.grid.setSelectionMode(QAbstractItemView::ExtendedSelection);
    QItemSelectionModel* selection = t.grid.selectionModel();
    const CellGridModel* model = t.grid.gridModel();
    // Cells (1, 2) and (4, 4) in grid numbers; rows 2-3 and column 3 hold none.
    selection->select(model->index(0, 1), QItemSelectionModel::Select);
    selection->select(model->index(3, 3), QItemSelectionModel::Select);
    EXPECT_EQ(t.grid.copySelection(), QStringLiteral("1:2\t\n\t4:4\n"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("1:2\t\n\t4:4\n"));
}

TEST(CellGridCopy, SeparatorsInsideCellsAndLatin1BytesAreKeptApart)
{
    TestedGrid t;
    t.grid.setColCount(3);
    t.grid.AppendRow("h\th\th");
    t.grid.AppendRow("name\t\xE9t\xE9\tx");  // Latin-1 "été": not UTF-8
    t.grid.setCellText(Cell::cell(1, 2), QStringLiteral("a\tb\nc"));
    t.grid.selectGridRow(1);
    EXPECT_EQ(t.grid.copySelection(), QStringLiteral("name\t\u00E9t\u00E9\ta b c\n"));
}

TEST(CellGridCopy, NothingSelectedLeavesClipboardAlone)
{
    TestedGrid t;
    fillSmall(t.grid);
    QApplication::clipboard()->setText(QStringLiteral("keep"));
    EXPECT_TRUE(t.grid.copySelection().isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("keep"));
}

TEST(CellGridCopy, WholeRowOfThreeHundredThousandColumns)
{
    constexpr int kTakes = 300000;
    CellGrid grid;
    grid.setColCount(kTakes + 1);
    std::string header = "Parameter";
    std::string values = "RPM";
    header.reserve(kTakes * 7);
    values.reserve(kTakes * 7);
    for (int i = 0; i < kTakes; ++i) {
        header += '\t';
        header += std::to_string(i);
        values += '\t';
        values += std::to_string(i % 7000);
    }
    grid.AppendRow(header);
    grid.AppendRow(values);
    grid.selectGridRow(1);
    const QString copied = grid.copySelection();
    EXPECT_EQ(copied.size(), static_cast<qsizetype>(values.size() + 1));
    EXPECT_EQ(copied.count(QLatin1Char('\t')), kTakes);
    EXPECT_EQ(copied.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(copied.startsWith(QStringLiteral("RPM\t0\t1\t2\t")));
    EXPECT_TRUE(copied.endsWith(QString::number((kTakes - 1) % 7000) + QLatin1Char('\n')));
}

TEST(CellGridCopy, SelectionOfMillionsOfCellsIsRefusedWithAReasonAndTheClipboardKept)
{
    // 15 rows of 300,000 takes: 4.5 million cells, beyond what is copied.
    constexpr int kTakes = 300000;
    CellGrid grid;
    grid.setColCount(kTakes + 1);
    std::string row = "p";
    for (int i = 0; i < kTakes; ++i)
        row += "\t1";
    grid.AppendRow(row);
    for (int r = 0; r < 15; ++r)
        grid.AppendRow(row);
    grid.setSelectionBehavior(QAbstractItemView::SelectItems);
    grid.setSelectionMode(QAbstractItemView::ExtendedSelection);
    showGrid(grid);
    QSignalSpy refused(&grid, &CellGrid::copyFailed);
    QApplication::clipboard()->setText(QStringLiteral("keep"));
    QTest::keyClick(&grid, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(refused.count(), 1);
    const QString why = refused.at(0).at(0).toString();
    EXPECT_TRUE(why.contains(QStringLiteral("4,500,000 cells"))) << why.toStdString();
    EXPECT_TRUE(why.contains(QStringLiteral("at most 4,000,000"))) << why.toStdString();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("keep"));

    // A part of it is copied as ever.
    grid.selectionModel()->select(QItemSelection(grid.gridModel()->index(0, 0), grid.gridModel()->index(1, 2)),
                                  QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(refused.count(), 1);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("1\t1\t1\n1\t1\t1\n"));
}

// --------------------------------------------------------------- find bar

struct FindWindow {
    FindWindow() : tester(grid->gridModel(), QAbstractItemModelTester::FailureReportingMode::Fatal)
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(bar);
        layout->addWidget(grid);
        grid->setColCount(3);
        grid->AppendRow("Parameter\t1\t2");
        for (const char* name : {"Engine RPM", "MAP kPa", "BLM", "Coolant", "map sensor volts", "Throttle"})
            grid->AppendRow(std::string(name) + "\t1\t2");
    }
    QWidget window;
    CellGrid* grid = new CellGrid(&window);
    FindBar* bar = new FindBar(grid, &window);
    QAbstractItemModelTester tester;
};

TEST(FindBar, EnterSelectsNextMatchIgnoringCaseAndWraps)
{
    FindWindow w;
    showGrid(w.window, 600, 400);
    EXPECT_FALSE(w.bar->isVisible());
    w.bar->activate();
    ASSERT_TRUE(w.bar->isVisible());
    QSignalSpy selected(w.grid, &CellGrid::rowSelected);
    QTest::keyClicks(w.bar->lineEdit(), QStringLiteral("MaP"));

    QTest::keyClick(w.bar->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(w.grid->SelectedRow(), 2);  // "MAP kPa"
    QTest::keyClick(w.bar->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(w.grid->SelectedRow(), 5);  // "map sensor volts"
    QTest::keyClick(w.bar->lineEdit(), Qt::Key_F3);
    EXPECT_EQ(w.grid->SelectedRow(), 2);  // wrapped past the last row
    EXPECT_EQ(selected.count(), 3);
    EXPECT_TRUE(w.bar->statusText().isEmpty());
}

TEST(FindBar, NextButtonSearchesAfterTheRowTheUserSelected)
{
    FindWindow w;
    showGrid(w.window, 600, 400);
    w.grid->selectGridRow(4);  // "Coolant"
    w.bar->activate();
    QTest::keyClicks(w.bar->lineEdit(), QStringLiteral("e"));
    QPushButton* next = w.bar->findChild<QPushButton*>(QStringLiteral("findNext"));
    ASSERT_NE(next, nullptr);
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(w.grid->SelectedRow(), 5);  // "map sensor volts", not row 1
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(w.grid->SelectedRow(), 6);
}

TEST(FindBar, NoMatchLeavesSelectionAndSaysSo)
{
    FindWindow w;
    showGrid(w.window, 600, 400);
    w.grid->selectGridRow(3);
    w.bar->activate();
    QSignalSpy selected(w.grid, &CellGrid::rowSelected);
    QTest::keyClicks(w.bar->lineEdit(), QStringLiteral("oxygen"));
    QTest::keyClick(w.bar->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(w.bar->statusText(), QStringLiteral("No match"));
    EXPECT_EQ(w.grid->SelectedRow(), 3);
    EXPECT_EQ(selected.count(), 0);
    // Editing the text clears the stale status.
    QTest::keyClick(w.bar->lineEdit(), Qt::Key_Backspace);
    EXPECT_TRUE(w.bar->statusText().isEmpty());
}

TEST(FindBar, HeaderRowIsNeverAMatch)
{
    FindWindow w;
    showGrid(w.window, 600, 400);
    w.bar->activate();
    QTest::keyClicks(w.bar->lineEdit(), QStringLiteral("Parameter"));
    QTest::keyClick(w.bar->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(w.bar->statusText(), QStringLiteral("No match"));
    EXPECT_LE(w.grid->SelectedRow(), 0);
}

TEST(FindBar, EscapeHidesAndActivateSelectsTheOldText)
{
    FindWindow w;
    showGrid(w.window, 600, 400);
    w.bar->activate();
    QTest::keyClicks(w.bar->lineEdit(), QStringLiteral("blm"));
    QTest::keyClick(w.bar->lineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(w.bar->isVisible());
    w.bar->activate();
    EXPECT_TRUE(w.bar->isVisible());
    EXPECT_EQ(w.bar->lineEdit()->selectedText(), QStringLiteral("blm"));
}

TEST(FindBar, ThrowingRowSelectedListenerDoesNotEscape)
{
    FindWindow w;
    showGrid(w.window, 600, 400);
    QObject::connect(w.grid, &CellGrid::rowSelected, [] { throw std::runtime_error("listener"); });
    w.bar->activate();
    QTest::keyClicks(w.bar->lineEdit(), QStringLiteral("blm"));
    EXPECT_NO_THROW(QTest::keyClick(w.bar->lineEdit(), Qt::Key_Return));
    EXPECT_EQ(w.grid->SelectedRow(), 3);
}

}  // namespace
}  // namespace dlv
