#pragma once

#include "datalog/ordered_sum.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dlv {

class TakeStore;

// The BLM table: BLM (fuel trim) averaged over every take, by RPM band (rows)
// and MAP column. Shown as a 9 x 10 grid: row 0 holds the MAP captions, column
// 0 the RPM labels, cell (0, 0) reads "RPM/MAP", and grid rows 1..8 x columns
// 1..9 hold the 72 data cells.

inline constexpr int kRpmParam = 224;  // parameter numbers in every take
inline constexpr int kMapParam = 247;
inline constexpr int kBlmParam = 236;

inline constexpr int kBlmRpmBands = 8;    // data rows, grid rows 1..8
inline constexpr int kBlmMapColumns = 9;  // data columns, grid columns 1..9
inline constexpr int kBlmGridRows = kBlmRpmBands + 1;
inline constexpr int kBlmGridColumns = kBlmMapColumns + 1;

// Grid row r (1..8) takes 400 * (r - 1) <= RPM <= 400 * r, closed at both
// ends, so an RPM on a shared bound falls in both neighbouring rows.
inline constexpr int kRpmBandWidth = 400;
// A take's MAP column is roundHalfEven(MAP / 10) - 1; column c is captioned
// 10 * c + 10 (kPa).
inline constexpr int kMapStep = 10;

inline constexpr const char* kBlmCornerText = "RPM/MAP";

// Upper RPM bound of grid row r, which is also its label: 400 * r.
[[nodiscard]] constexpr int blmRowRpm(int gridRow) noexcept { return kRpmBandWidth * gridRow; }
// MAP caption of grid column c: 10 * c + 10.
[[nodiscard]] constexpr int blmColumnMap(int gridColumn) noexcept { return kMapStep * gridColumn + kMapStep; }

// What one data cell collected: one hit per take whose BLM is a number.
// min and max are meaningful only when hits > 0.
struct BlmCell {
    std::int64_t hits = 0;
    OrderedSum sum;  // the BLM values as doubles in take order
    double min = 0;
    double max = 0;
};

struct BlmTable {
    // cells[r - 1][c - 1] is grid cell (r, c).
    std::array<std::array<BlmCell, kBlmMapColumns>, kBlmRpmBands> cells{};

    // Grid cell (r, c), 1 <= r <= 8, 1 <= c <= 9 (unchecked).
    [[nodiscard]] const BlmCell& at(int gridRow, int gridColumn) const noexcept {
        return cells[static_cast<std::size_t>(gridRow - 1)][static_cast<std::size_t>(gridColumn - 1)];
    }
};

using BlmGridTexts = std::array<std::array<std::string, kBlmGridColumns>, kBlmGridRows>;

// The table over takes 0 .. U of the store, in one pass over the takes.
// Takes with an RPM or MAP that is not a number or lies outside the table are
// skipped; an empty or non-numeric BLM is left out of its cell. The takes
// are parsed on every core by the column layer, a block of a few MB at a
// time: throws std::bad_alloc when that cannot be had.
[[nodiscard]] BlmTable computeBlmTable(const TakeStore& store);

// The fields a BLM pass reads, in the order BlmTableBuilder::add takes them.
inline constexpr std::array<long long, 3> kBlmFields{kRpmParam, kMapParam, kBlmParam};

// computeBlmTable for a pass that parses the takes itself (the report's one
// pass over every parameter): blocks of takes in take order, then table().
class BlmTableBuilder final {
public:
    // rpm[i], map[i], blm[i]: the numbers of one take (NaN for none), in take order.
    void add(std::span<const double> rpm, std::span<const double> map, std::span<const double> blm) noexcept;
    [[nodiscard]] const BlmTable& table() const noexcept { return m_table; }
    // Whether takes of at most `fields` fields can feed the table at all: a
    // take without a BLM number feeds no cell, so a block of such takes
    // need not be added.
    [[nodiscard]] static bool fedByTakesOf(int fields) noexcept { return kBlmParam < fields; }

private:
    BlmTable m_table;
};

// The cell's average rounded half to even, or nullopt for a cell without hits.
[[nodiscard]] std::optional<double> blmCellAverage(const BlmCell& cell) noexcept;

// The rounded average as plain whole-number text ("128", "-3",
// "100000000000000000000"), or empty for a cell without hits.
[[nodiscard]] std::string blmCellText(const BlmCell& cell);

// All 9 x 10 texts: corner, MAP captions, RPM labels and the cell averages.
[[nodiscard]] BlmGridTexts blmTableTexts(const BlmTable& table);

// The same labels with each cell's hit count ("0" for none).
[[nodiscard]] BlmGridTexts blmHitTexts(const BlmTable& table);

// The takes that fed grid cell (r, c) — those counted in its hits — in
// ascending order, found again by one pass over the store. Empty for a cell
// outside 1..8 x 1..9.
[[nodiscard]] std::vector<int> blmCellTakes(const TakeStore& store, int gridRow, int gridColumn);

// What the BLM tab (and the report) says in place of the table for a log
// of another format than the own, whose fields 224, 236 and 247 mean
// nothing: lines ending in LF.
[[nodiscard]] std::string_view otherFormatBlmNote() noexcept;

}  // namespace dlv
