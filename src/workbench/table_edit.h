#pragma once

#include "workbench/workspace.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

using workbench::kDefaultCorrectionLimitPercent;

// What a tuner types or pastes into the Tables tab, and what it gives back:
// axes and maps read from text copied out of a spreadsheet or a map editor,
// the suggested correction of a map, and the text of a table for the
// clipboard or a CSV file. Plain functions over values; no Qt, no log.

// A stretch of an input text, in bytes from its start: where a fault lies, so
// that the editor can select it.
struct TextPlace {
    std::size_t offset = 0;
    std::size_t length = 0;
    friend bool operator==(const TextPlace&, const TextPlace&) = default;
};

// An error in words, and where in the text it was found.
struct TextError {
    std::string message;
    TextPlace place;
};

// The fields of one line of pasted text, with their places. A line holding a
// TAB is cut at each TAB (a spreadsheet row: an empty field stays a field);
// otherwise at each comma or semicolon; otherwise at each run of spaces.
// Fields are trimmed of spaces; empty fields at either end are dropped.
struct TextField {
    std::string_view text;
    TextPlace place;
};
[[nodiscard]] std::vector<TextField> splitPastedLine(std::string_view line, std::size_t lineOffset = 0);

// Breakpoints typed or pasted as text: one row (or one column, a value per
// line) of numbers by the log's number rule (point as the decimal separator).
// At least one value, strictly increasing. `what` names the axis in messages
// ("x axis").
struct ParsedAxis {
    std::vector<double> values;
    std::optional<TextError> error;
    [[nodiscard]] bool ok() const noexcept { return !error; }
};
[[nodiscard]] ParsedAxis parseAxisText(std::string_view text, std::string_view what);

// Axis values as they are typed: breakpoints as --tables writes them,
// joined by ", ".
[[nodiscard]] std::string axisText(std::span<const double> values);

// A map pasted as a block: one line per row of the table (y breakpoints in
// order), one value per column (x breakpoints). The block may carry the
// table's own header row and column (as Copy gives them), or the row labels
// alone (as a grid selection gives them); they are dropped.
// Row-major values, rows x cols of them.
struct ParsedMap {
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::vector<double> values;
    int decimals = 0;  // the most decimals any value is written with ("78.17": 2, "1.5e1": 0), at most 6
    std::optional<TextError> error;
    [[nodiscard]] bool ok() const noexcept { return !error; }
    [[nodiscard]] double at(std::size_t row, std::size_t col) const { return values[row * cols + col]; }
};
[[nodiscard]] ParsedMap parseMapText(std::string_view text, std::size_t rows, std::size_t cols);

// ---------------------------------------------------------------- corrections

// The takes behind one cell, as far as the correction needs them.
struct CellEvidence {
    std::int64_t count = 0;
    double mean = 0.0;  // of z over the cell's takes; NaN when none
};

struct CorrectionSettings {
    double target = 0.0;          // the mean a cell should show
    std::int64_t minHits = 1;     // fewer takes than this: the cell stays
    double limitPercent = kDefaultCorrectionLimitPercent;  // largest change per cell, in % of the old value
};

enum class CorrectionKind : std::uint8_t {
    Corrected,  // old x mean / target
    Limited,    // the change was cut to the limit
    Locked,     // locked by the user: unchanged
    Unchanged,  // too few takes (or no usable mean): unchanged
};

struct CorrectedCell {
    double value = 0.0;
    CorrectionKind kind = CorrectionKind::Unchanged;
};

// The suggested map, cell by cell: old x mean / target for a cell with at
// least minHits takes, the change held within +-limitPercent of the old value;
// locked cells, and cells with too few takes, keep the old value. oldMap,
// evidence and locked are row-major and of one size (locked may be empty: no
// locks). A target of 0, or a limit below 0, throws std::invalid_argument;
// so do sizes that differ.
[[nodiscard]] std::vector<CorrectedCell> suggestCorrections(std::span<const double> oldMap,
                                                            std::span<const CellEvidence> evidence,
                                                            std::span<const std::uint8_t> locked,
                                                            const CorrectionSettings& settings);

// A map value as it goes back to the map editor: two decimals at most,
// trailing zeros dropped, point as the separator ("85.3", "128", "-0.05").
[[nodiscard]] std::string mapValueText(double value);
// With exactly `decimals` decimals, correctly rounded ("78.2", "65.0");
// decimals below 0: as mapValueText(value).
[[nodiscard]] std::string mapValueText(double value, int decimals);

// The decimals a suggested map is written with: those of the pasted map
// when it has any, so that every value reads alike and as the map editor
// holds them; -1 (mapValueText's two at most) for a map of whole numbers,
// whose small corrections would vanish in rounding.
[[nodiscard]] inline int suggestedDecimals(const ParsedMap& map) noexcept
{
    return map.decimals > 0 ? map.decimals : -1;
}

// ---------------------------------------------------------------- text out

// A table as lines of cells: line 0 is the header (an empty cell, then the x
// breakpoints), every further line a y breakpoint (empty for a 1-D table)
// followed by its cells.
using TextTable = std::vector<std::vector<std::string>>;

// The map laid out as a TextTable over the table's breakpoints (yAxis empty:
// a 1-D table with one row whose first cell is empty), values by
// mapValueText(value, decimals).
[[nodiscard]] TextTable mapTextTable(std::span<const double> xAxis, std::span<const double> yAxis,
                                     std::span<const double> values, int decimals = -1);

// Cells joined by TAB, lines ended by LF: pastes into a spreadsheet or map
// editor. A TAB, CR or LF inside a cell becomes a space.
[[nodiscard]] std::string tabText(const TextTable& table);
// The values only, without header row and column, as tabText does.
[[nodiscard]] std::string tabValuesText(const TextTable& table);
// Comma-separated, lines ended by LF; a cell holding a comma, a quote, CR or
// LF is quoted, its quotes doubled.
[[nodiscard]] std::string csvText(const TextTable& table);

}  // namespace dlv
