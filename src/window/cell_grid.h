#pragma once

#include "render/colors.h"

#include <QColor>
#include <QTableView>

class QScrollBar;

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace dlv {

// Rows (first to last, both included) and columns of a block of cells.
struct CellRange {
    int row1;
    int col1;
    int row2;
    int col2;
    static CellRange cell(int row, int col) { return {row, col, row, col}; }
};

// Rows whose texts live elsewhere (for the general data grid: the take store),
// so that a grid of 256 x 300,000 cells copies no text. Row r, column c of the
// source is what AppendRow would have put there; columns at or beyond the
// grid's ColCount are not shown. Implementations must be cheap: cell() is
// called for every painted cell.
class CellRowSource {
public:
    virtual ~CellRowSource() = default;
    [[nodiscard]] virtual int rowCount() const = 0;
    // UTF-8 (or raw) bytes of the cell; must stay valid while the source lives.
    [[nodiscard]] virtual std::string_view cell(int row, int col) const = 0;
    // Bytes of the longest text in column col over all rows of the source.
    [[nodiscard]] virtual std::uint32_t maxCellBytes(int col) const = 0;
};

class CellGridModel;

// A scrollable table of text cells that the program writes and reads back:
// RowCount x ColCount cells, row 0 and column 0 being header cells that stay
// in view while scrolling. Every cell has a text, a back colour, a text colour
// and a bold flag. Texts are kept compactly (one UTF-8 buffer per appended row,
// or a CellRowSource); colours and bold are kept per range, so colouring a
// whole row costs O(1). A row or column outside the grid throws
// std::out_of_range. The user selects blocks of cells (drag, Shift+click,
// Shift+arrows, Ctrl+A); a click on a row's name selects the whole row.
class CellGrid final : public QTableView {
    Q_OBJECT
public:
    explicit CellGrid(QWidget* parent = nullptr);
    ~CellGrid() override;

    [[nodiscard]] int RowCount() const;
    // Keeps rows 0 .. n-1 with their contents and removes the others; new rows are empty.
    void setRowCount(int n);
    [[nodiscard]] int ColCount() const;
    // Keeps columns 0 .. n-1 with their contents; new cells are empty.
    void setColCount(int n);

    // Adds one row after the last: the text is cut at each TAB, piece k going
    // into column k; pieces beyond the last column are dropped.
    void AppendRow(std::string_view text);
    // Adds source->rowCount() rows after the last, backed by source.
    void appendSourceRows(std::shared_ptr<const CellRowSource> source);

    // Fits each column col1 .. col2 to its widest text. Widths come from text
    // lengths (no per-cell measuring) and go to the header in one batch.
    void AutoSizeColumns(int col1, int col2);

    // Reading gives cell (row1, col1); setting writes every cell of the range.
    [[nodiscard]] QString CellText(const CellRange& range) const;
    // What cell (row, col) shows: its text, cut after a few thousand characters.
    [[nodiscard]] QString shownCellText(int row, int col) const;
    void setCellText(const CellRange& range, const QString& text);
    void setCellText(const CellRange& range, double number);  // plain decimal text

    // Unset back colours read as kButtonFace for header cells and 0xFFFFFF elsewhere.
    [[nodiscard]] GridColor CellBackColor(const CellRange& range) const;
    void setCellBackColor(const CellRange& range, GridColor color);
    void setCellTextColor(const CellRange& range, GridColor color);
    void setCellBold(const CellRange& range, bool bold);

    // Row number of the selected row (the first if several are); 0 or less
    // when no data row is selected. index is the selection's index (0).
    [[nodiscard]] int SelectedRow(int index = 0) const;
    // Scrolls so that cell (row, col) is in view; no selection change, no report.
    void ScrollToCell(int row, int col);
    // Where the grid is scrolled to: the first data row and column in view,
    // and whether the last column is in view. setScrollPlace scrolls back to
    // such a place as far as the grid still reaches, to its last column when
    // atEnd is set.
    struct ScrollPlace {
        int row = 1;
        int col = 1;
        bool atEnd = false;
    };
    // A grid out of sight (on a tab not shown) has no room to scroll in:
    // there the place is kept, answered by scrollPlace, and taken up when
    // the grid shows again.
    [[nodiscard]] ScrollPlace scrollPlace() const;
    void setScrollPlace(const ScrollPlace& place);

    // Scrolls across so that data column col stands in the middle of the
    // view, as far as the scroll range allows; rows stay. O(columns in view).
    void centerColumn(int col);

    // A frame painted around data column col (>= 1), over whatever the cells
    // show; no cell's colours change. One column at a time; nullopt removes
    // it, and so does a ColCount that drops the column.
    void setOutlinedColumn(std::optional<int> col);
    [[nodiscard]] std::optional<int> outlinedColumn() const noexcept { return m_outlined; }

    // Selects data row `row` as a user's click would (raises rowSelected).
    void selectGridRow(int row);

    // The view shows at most pageColumns() data columns at a time (524,288
    // unless set), from pageFirstColumn() on, so that millions of columns do
    // not cost the view's header a section each. Scrolling near either end
    // of the page, and ScrollToCell, move the page; selected rows and the
    // current cell stay. Grids within one page never move it. Every other
    // function takes grid numbers whatever page is shown.
    void setPageColumns(int n);
    [[nodiscard]] int pageColumns() const;
    [[nodiscard]] int pageFirstColumn() const;
    // While the grid holds more data columns than a page, the scroll bar
    // across is this one (object name "gridAcross"): it spans the whole grid,
    // its value being the data column at the left edge less one, and moves
    // the page as it is dragged. The view's own bar, which spans the page,
    // is hidden then. Home and End (with or without Ctrl) go to the first and
    // last column of the grid, not of the page.
    [[nodiscard]] QScrollBar* acrossBar() const noexcept { return m_across; }

    // Display tint of cell (row, col): drawn as its background where no back
    // colour was set with setCellBackColor (a set colour wins). Neither
    // CellBackColor nor the text changes. nullopt or an invalid colour removes
    // it. Kept sparse (a hash map): meant for tens of cells, not whole rows.
    void setCellTint(int row, int col, std::optional<QColor> color);
    // Tooltip of cell (row, col), header cells included; empty removes it.
    void setCellToolTip(int row, int col, const QString& text);
    // Drops every tint and tooltip (for a new log). Cells removed by
    // setRowCount / setColCount lose theirs as well.
    void clearTints();
    // The tooltip of row 0 above data column col where the cell has none of
    // its own: asked for when the pointer rests there, so a grid of
    // millions of columns keeps none. Header texts stay as they are.
    void setColumnToolTip(std::function<QString(int col)> tip);

    // The current cell (where the keyboard is), in grid numbers; nullopt
    // when there is none.
    [[nodiscard]] std::optional<std::pair<int, int>> currentCell() const;

    // The selected cells as text, also put on the clipboard (left alone when
    // nothing is selected). Cells are joined by TAB, and every row ends with
    // an LF, as a spreadsheet pastes them; a TAB, CR or LF inside a cell becomes a space. Only rows
    // and columns holding a selected cell are written, with an empty field for
    // an unselected cell among them. When the selected columns are all data
    // columns (a whole row is selected), each row starts with its column-0
    // cell (the row's name). Header row 0 is never written. One pass over the
    // selected cells into one UTF-8 buffer: a 300,000-column row costs a few MB.
    // Ctrl+C (QKeySequence::Copy) on the grid does the same. A selection of
    // more than kMostCopiedCells cells is not copied (the text of a whole big
    // log would take gigabytes on the clipboard): copyFailed says so, and
    // the clipboard keeps what it held.
    QString copySelection();
    static constexpr long long kMostCopiedCells = 4'000'000;

    [[nodiscard]] CellGridModel* gridModel() const;

signals:
    // The user selected a row (click, keyboard move), or changed a block
    // selection so that its first row is another one.
    void rowSelected();
    // The user double-clicked data cell (row, col), in grid numbers (>= 1).
    void cellDoubleClicked(int row, int col);
    // Ctrl+C copied nothing: why, in a sentence for the user.
    void copyFailed(const QString& why);
    // The current cell moved (a click, the keys, the program), in grid numbers.
    void currentCellChanged(int row, int col);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void updateGeometries() override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void checkRow(int row) const;
    void checkCol(int col) const;
    void checkRange(const CellRange& range) const;
    // The range checked and put in order (row1 <= row2, col1 <= col2).
    [[nodiscard]] CellRange checkedRange(const CellRange& range) const;
    // Between grid columns (>= 1) and the view's column sections.
    // The page shown decides: a column outside it has no section.
    [[nodiscard]] int sectionOf(int col) const noexcept;
    [[nodiscard]] int columnOf(int section) const noexcept;
    static void ensureSectionVisible(const QHeaderView* header, QScrollBar* bar, int section, int extent);
    void reportRowSelected();
    void reportDoubleClick(const QModelIndex& index);
    [[nodiscard]] QString selectionText() const;
    void applyFont();
    void updateHeaders();
    // Sets the widths of grid columns col1 .. col2 that lie in the page shown.
    void sizePageColumns(int col1, int col2);
    // Moves the page, if needed, so that it holds grid column col (>= 1).
    void showPageAround(int col);
    // Shows the page after grid column first, keeping selection and position.
    // A current cell the new page does not hold stays the current cell
    // (m_heldCurrent) unless intoPage, which puts it at the page's nearest
    // end in its row.
    void movePage(int first, bool intoPage = false);
    // Moves the page when the view has come near one of its ends.
    void followPage();
    // Brings the whole-grid bar up to date with the page and the view's bar,
    // and shows it (or the view's bar) as the grid needs.
    void syncAcross();
    // The whole-grid bar moved to value: the page and the view follow.
    void scrollAcrossTo(int value);
    [[nodiscard]] bool isPaged() const noexcept;

    std::unique_ptr<CellGridModel> m_model;
    QWidget* m_corner = nullptr;  // cell (0, 0) over the corner button; a child
    bool m_quiet = false;         // selection changes made by the program, not the user
    std::pair<int, int> m_autoSized{1, 0};  // grid columns AutoSizeColumns fitted (none: first > second)
    int m_reportedRow = 0;        // SelectedRow when the selection last changed
    std::optional<int> m_outlined;
    std::optional<ScrollPlace> m_pendingPlace;  // set while out of sight
    QScrollBar* m_across = nullptr;  // the whole-grid bar; a child
    bool m_syncingAcross = false;   // its value is being set by the program
    // The current cell (grid numbers) while it lies outside the page shown,
    // the view then having none; a key brings its page back first.
    std::optional<std::pair<int, int>> m_heldCurrent;
    bool m_placingCurrent = false;  // movePage puts the same cell back: nothing to report
};

}  // namespace dlv
