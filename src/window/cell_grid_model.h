#pragma once

#include "window/cell_grid.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QFontMetrics;

namespace dlv {

// Values set on column ranges of one row, kept sorted and non-overlapping;
// a later assignment replaces whatever it covers. Lookup O(log runs),
// assignment O(log runs + runs moved); assigning in increasing column order,
// or the same value to neighbouring columns, appends or merges in O(1).
class ColumnRuns final {
public:
    void assign(int first, int last, std::uint32_t value);
    void erase(int first, int last);
    // Drops everything at column n and beyond.
    void truncate(int n);
    [[nodiscard]] std::optional<std::uint32_t> find(int col) const noexcept;
    [[nodiscard]] bool empty() const noexcept { return m_runs.empty(); }
    // Whether any run overlaps first .. last.
    [[nodiscard]] bool overlaps(int first, int last) const noexcept;

private:
    struct Run {
        int first;
        int last;
        std::uint32_t value;
    };
    std::vector<Run> m_runs;
};

// The store behind CellGrid and the model its QTableView shows. Grid row 0
// and grid column 0 are header cells: they are served through headerData()
// (row 0 horizontally, column 0 vertically), so model cell (r, c) is grid
// cell (r + 1, c + 1). Row and column arguments of the grid-level functions
// are grid numbers and must already be checked by the caller.
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
    [[nodiscard]] std::vector<int> measuredTextWidths(int col1, int col2, const QFontMetrics& normal,
                                                      const QFontMetrics& bold) const;

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
    QFont m_boldFont;
    QColor m_buttonFace;
    std::unordered_map<std::uint64_t, QRgb> m_tints;
    std::unordered_map<std::uint64_t, QString> m_toolTips;
};

}  // namespace dlv
