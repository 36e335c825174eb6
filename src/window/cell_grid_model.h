#pragma once

#include "views/column_runs.h"
#include "window/cell_grid.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QFontMetrics;

namespace dlv {

// The store behind CellGrid and the model its QTableView shows. Grid row 0
// and grid column 0 are header cells: they are served through headerData()
// (row 0 horizontally, column 0 vertically). The view is shown one page of
// at most pageColumns() data columns at a time, so that a grid of millions
// of columns does not cost the view's header a section each: model cell
// (r, c) is grid cell (r + 1, pageFirst() + c + 1). A grid of fewer data
// columns than a page shows them all, pageFirst() being 0. Row and column
// arguments of the grid-level functions are grid numbers and must already
// be checked by the caller.
class CellGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CellGridModel(QObject* parent = nullptr);
    ~CellGridModel() override;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

    [[nodiscard]] int gridRows() const noexcept { return static_cast<int>(m_rows.size()); }
    [[nodiscard]] int gridCols() const noexcept { return m_cols; }

    // Data columns a page holds at most (kPageColumns unless set), and the
    // grid column before the page's first (0: the page starts at column 1).
    static constexpr int kPageColumns = 1 << 19;
    [[nodiscard]] int pageColumns() const noexcept { return m_pageColumns; }
    [[nodiscard]] int pageFirst() const noexcept { return m_pageFirst; }
    // Grid column of model column c of the page.
    [[nodiscard]] int gridColumn(int modelColumn) const noexcept { return m_pageFirst + modelColumn + 1; }
    // Sets the page size (at least 1); the views start over.
    void setPageColumns(int n);
    // Shows the page that starts after grid column `first` (moved back as far
    // as needed to keep the page full); the views start over. False when the
    // page shown stays the same.
    bool showPage(int first);
    void setGridRows(int n);
    void setGridCols(int n);
    void appendRow(std::string_view text);
    void appendSourceRows(const std::shared_ptr<const CellRowSource>& source);

    // Bytes of a cell; valid until the cell or its row is next written.
    [[nodiscard]] std::string_view cellBytes(int row, int col) const;
    // The whole text of the cell, as CellText reads it back (displayText);
    // what it shows is bounded (shownText).
    [[nodiscard]] QString cellText(int row, int col) const;
    // utf8 goes to every cell of rows row1..row2, columns col1..col2.
    void setCellText(int row1, int col1, int row2, int col2, std::string_view utf8);

    [[nodiscard]] GridColor backColor(int row, int col) const;
    [[nodiscard]] std::optional<GridColor> textColor(int row, int col) const;
    [[nodiscard]] bool isBold(int row, int col) const;
    void setBackColor(int row1, int col1, int row2, int col2, GridColor color);
    void setTextColor(int row1, int col1, int row2, int col2, GridColor color);
    void setBold(int row1, int col1, int row2, int col2, bool bold);

    // Widest text of each column col1..col2, in pixels. Estimated: bytes times
    // the advance of the font (bold cells: boldAdvance). O(cells) over owned
    // rows, O(columns) per source.
    [[nodiscard]] std::vector<int> estimatedTextWidths(int col1, int col2, int advance, int boldAdvance) const;
    // Measured with the metrics; meant for few cells.
    [[nodiscard]] std::vector<int> measuredTextWidths(int col1, int col2, const QFontMetricsF& normal,
                                                      const QFontMetricsF& bold) const;

    // Display tints and tooltips of single cells (grid numbers), kept apart
    // from the back colours: a tint is drawn where no back colour is set and
    // never changes backColor(). Kept in hash maps, meant for few cells (the
    // BLM table's 72); cells dropped by setGridRows/setGridCols lose theirs.
    void setTint(int row, int col, const std::optional<QColor>& color);
    [[nodiscard]] std::optional<QColor> tint(int row, int col) const;
    void setToolTip(int row, int col, const QString& text);
    [[nodiscard]] QString toolTip(int row, int col) const;
    // Drops every tint and tooltip.
    void clearTints();
    // The tooltip of the header cell above a data column (grid number) that
    // has none of its own, worked out when it is shown.
    void setColumnToolTip(std::function<QString(int col)> tip) { m_columnToolTip = std::move(tip); }

    // What bold cells are drawn with, and the colour kButtonFace stands for.
    void setFonts(const QFont& bold);
    void setButtonFace(const QColor& color);

    // What a view shows for grid cell (row, col) in the given role: text,
    // set colours and bold font; unset colours give an invalid variant.
    [[nodiscard]] QVariant cellData(int row, int col, int role) const;

signals:
    // Cell (0, 0), shown in the corner between the headers, may have changed.
    void cornerChanged();

private:
    struct Row {
        // Owned texts: the pieces back to back, ends[k] the end of piece k.
        std::string text;
        std::vector<std::uint32_t> ends;
        // Or texts read from a source: its row sourceRow, columns below sourceCols.
        std::shared_ptr<const CellRowSource> source;
        int sourceRow = 0;
        int sourceCols = 0;
        // Texts written over single cells of a long row, folded into `text`
        // once they are many (see setCellText).
        std::unique_ptr<std::unordered_map<int, std::string>> overrides;
        ColumnRuns back;
        ColumnRuns fore;
        ColumnRuns bold;
    };

    [[nodiscard]] int pieceCount(const Row& row) const noexcept;
    // Model columns the page shows for a grid of cols columns starting after pageFirst.
    [[nodiscard]] int pageColumnsShown(int cols, int pageFirst) const noexcept;
    [[nodiscard]] int pageColumnsShown() const noexcept { return pageColumnsShown(m_cols, m_pageFirst); }
    [[nodiscard]] int pageFirstFor(int first, int cols) const noexcept;
    // Drops the columns at n and beyond (texts, colours, decorations).
    void trimColumns(int n);
    void announceRowZero();
    [[nodiscard]] std::string_view rowCell(const Row& row, int col) const;
    [[nodiscard]] QColor toQColor(GridColor color) const;
    // Rewrites a row as owned texts with cols1..col2 replaced by utf8.
    void rebuildRow(Row& row, int col1, int col2, std::string_view utf8);
    [[nodiscard]] static std::uint64_t cellKey(int row, int col) noexcept
    {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(row)) << 32) | static_cast<std::uint32_t>(col);
    }
    // Forgets tints and tooltips of cells at row >= rows or col >= cols.
    void dropDecorations(int rows, int cols);
    // Announces a change of the cells of a grid range to the views.
    void announce(int row1, int col1, int row2, int col2, const QList<int>& roles);

    std::vector<Row> m_rows;
    int m_cols = 0;
    int m_pageColumns = kPageColumns;
    int m_pageFirst = 0;
    QFont m_boldFont;
    QColor m_buttonFace;
    std::unordered_map<std::uint64_t, QRgb> m_tints;
    std::unordered_map<std::uint64_t, QString> m_toolTips;
    std::function<QString(int col)> m_columnToolTip;
};

}  // namespace dlv
