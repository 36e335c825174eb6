#pragma once

// Tables: takes binned onto the breakpoints of x (and y), z folded per cell
// into count, sum, min, max, median and standard deviation, and the texts of
// the cells as --tables prints them and the window shows them.

#include "workbench/workspace.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlv::workbench {

class LogSession;
struct Program;

// The breakpoint a value goes to: the nearest one, a value exactly halfway
// between two going to the lower one; -1 for a value more than half the first
// gap below the first breakpoint or more than half the last gap above the
// last, and for NaN. With a single breakpoint every number goes to it.
// O(log breakpoints).
[[nodiscard]] int binIndex(std::span<const double> axis, double value) noexcept;

// Whether a filter's value at a take keeps the take: a number other than 0.
[[nodiscard]] inline bool filterKeeps(double value) noexcept
{
    return value != 0 && value == value;  // NaN is no number
}

// The takes of one log that went into one table, in take order: for each,
// its take number, its cell (row * columns + column) and its z value.
struct BinnedTakes {
    std::vector<std::uint32_t> takes;
    std::vector<std::uint32_t> cells;
    std::vector<double> values;
    std::uint64_t takeCount = 0;  // takes of the log
    std::uint64_t kept = 0;       // takes the filter kept (all without a filter)
};

// Bins table `index` of program over the session's log: a take goes in when
// the filter keeps it (a number other than 0) and x, z (and y) have values
// that fall on the axes. keep: cache the expression values in the session
// (for a window that recomputes after edits). A table with an error bins no
// take. Throws std::bad_alloc.
// For a log computed a chunk of takes at a time: the session's first
// context takes are only there for the look-backs of the ones after them,
// which are takes firstTake, firstTake + 1, ... of the log: only those are
// binned and counted, under those numbers.
[[nodiscard]] BinnedTakes binTable(LogSession& session, const Program& program, const Table& table,
                                   std::size_t index, bool keep, std::size_t context = 0, std::uint64_t firstTake = 0);

// One cell. Statistics over its takes in take order (logs in their order);
// NaN where there is none (min of no take, stddev below 2 takes).
struct CellStats {
    std::uint32_t count = 0;
    double sum = 0;  // the plain double sum (infinite once it overflowed)
    double min = 0;
    double max = 0;
    double median = 0;
    double stddev = 0;
    // sum / count by the rule of every average shown (datalog/ordered_sum.h):
    // finite for finite values, even where sum overflowed.
    double mean = 0;
};

// A take of a log: which log (its position in the order given) and which take.
struct TakeRef {
    std::uint32_t log = 0;
    std::uint32_t take = 0;
    bool operator==(const TakeRef&) const = default;
};

struct TableResult {
    std::size_t columns = 0;        // x breakpoints
    std::size_t rows = 0;           // y breakpoints, 1 for a 1-D table
    std::vector<CellStats> cells;   // cells[row * columns + column]
    // The takes that fed each cell, in order, when asked for; otherwise empty.
    std::vector<std::vector<TakeRef>> cellTakes;
    std::uint64_t takes = 0;        // takes of all logs
    std::uint64_t kept = 0;         // of them kept by the filter
    std::uint64_t binned = 0;       // of them in some cell
    [[nodiscard]] const CellStats& cell(std::size_t row, std::size_t column) const { return cells[row * columns + column]; }
};

// Folds the takes of every log (in order) into the cells of table. withTakes:
// also list the takes of every cell (8 bytes a binned take).
[[nodiscard]] TableResult accumulateTable(const Table& table, std::span<const BinnedTakes> logs, bool withTakes);
[[nodiscard]] TableResult accumulateTable(const Table& table, std::span<const BinnedTakes* const> logs,
                                          bool withTakes);

// The value the table shows in a cell: empty below minHits takes and where
// the statistic has none (mean, min, max, median of no take; stddev below 2
// takes; a diff% that is not finite). diff% = (mean / target - 1) * 100.
[[nodiscard]] std::optional<double> statisticValue(const Table& table, const CellStats& cell);

// The text of a value of the table's statistic (or of a difference of two):
// a whole number for count, two decimals ("0.00", always with the point) for
// every other statistic; empty for nullopt.
[[nodiscard]] std::string statisticText(const Table& table, std::optional<double> value);

// The cell's text: statisticText of statisticValue.
[[nodiscard]] std::string cellText(const Table& table, const CellStats& cell);

// Lines of cells as --tables lays a table out, given one text per cell
// (row-major, rows * columns of them): line 0 the header (an empty cell, then
// the x breakpoints), then one line per y breakpoint, the breakpoint first
// (1-D: one line whose first cell is empty).
[[nodiscard]] std::vector<std::vector<std::string>> tableLines(const Table& table, std::span<const std::string> cells);

// "# TITLE" (line breaks in it become spaces), the lines with their cells
// joined by TAB, each ended by LF, and an empty line.
[[nodiscard]] std::string printedTable(std::string_view title, const std::vector<std::vector<std::string>>& lines);

// One table as --tables prints it: "# NAME" (line breaks in the name become
// spaces, other control characters \t, \x1b, ...), the header line (an empty cell,
// then the x breakpoints), one line per y breakpoint (1-D: one line whose
// first cell is empty), an empty line. Cells joined by TAB, lines ended by LF.
[[nodiscard]] std::string tableText(const Table& table, const TableResult& result);

// Every table of workspace, in its order. Precondition: one result per table.
[[nodiscard]] std::string tablesText(const Workspace& workspace, std::span<const TableResult> results);

}  // namespace dlv::workbench
