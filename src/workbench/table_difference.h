#pragma once

// One table over two sets of logs compared: per cell, B minus A of the
// table's statistic and the same in percent of A, where both cells have a
// value; and the texts --compare prints. No Qt. Cost O(cells).

#include "workbench/table.h"
#include "workbench/workspace.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dlv::workbench {

// One cell of B - A.
struct DifferenceCell {
    std::uint32_t takesA = 0;  // takes of A's logs in the cell
    std::uint32_t takesB = 0;
    std::optional<double> a;   // the statistic over A (statisticValue: empty below minHits)
    std::optional<double> b;
    // b - a where both sides have a value and the difference is finite.
    std::optional<double> difference;
    // difference / |a| * 100, where there is a difference and a is not 0 (and
    // the quotient is finite).
    std::optional<double> percent;
};

struct TableDifference {
    std::size_t columns = 0;
    std::size_t rows = 0;
    std::vector<DifferenceCell> cells;  // cells[row * columns + column]
    [[nodiscard]] const DifferenceCell& cell(std::size_t row, std::size_t column) const
    {
        return cells[row * columns + column];
    }
};

// The cells of table over A's logs and over B's (results of that table, e.g.
// from accumulateTable or computeTables), cell by cell. Precondition: both
// results have table's shape.
[[nodiscard]] TableDifference differenceTable(const Table& table, const TableResult& a, const TableResult& b);

// The texts of a difference's cells, row-major: B - A as the statistic is
// printed (a whole number for count, two decimals otherwise), or the percent
// with two decimals; empty where there is none.
[[nodiscard]] std::vector<std::string> differenceTexts(const Table& table, const TableDifference& difference);
[[nodiscard]] std::vector<std::string> percentTexts(const TableDifference& difference);

// One table as --compare prints it: "# NAME (B - A)" and the differences in
// --tables' layout, then "# NAME (B - A, %)" and the percents the same way.
[[nodiscard]] std::string differenceText(const Table& table, const TableDifference& difference);

// Every table of workspace, in its order. Precondition: one result per
// table in each of a and b.
[[nodiscard]] std::string differencesText(const Workspace& workspace, std::span<const TableResult> a,
                                          std::span<const TableResult> b);

}  // namespace dlv::workbench
