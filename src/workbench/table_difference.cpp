#include "workbench/table_difference.h"

#include "workbench/format.h"

#include <cmath>

namespace dlv::workbench {

namespace {

std::optional<double> finite(double value)
{
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

TableDifference differenceTable(const Table& table, const TableResult& a, const TableResult& b)
{
    TableDifference out;
    out.columns = a.columns;
    out.rows = a.rows;
    out.cells.resize(a.cells.size());
    for (std::size_t i = 0; i < out.cells.size() && i < b.cells.size(); ++i) {
        DifferenceCell& cell = out.cells[i];
        cell.takesA = a.cells[i].count;
        cell.takesB = b.cells[i].count;
        cell.a = statisticValue(table, a.cells[i]);
        cell.b = statisticValue(table, b.cells[i]);
        if (!cell.a || !cell.b)
            continue;
        cell.difference = finite(*cell.b - *cell.a);
        if (cell.difference && *cell.a != 0)
            cell.percent = finite(*cell.difference / std::fabs(*cell.a) * 100);
    }
    return out;
}

std::vector<std::string> differenceTexts(const Table& table, const TableDifference& difference)
{
    std::vector<std::string> texts;
    texts.reserve(difference.cells.size());
    for (const DifferenceCell& cell : difference.cells)
        texts.push_back(statisticText(table, cell.difference));
    return texts;
}

std::vector<std::string> percentTexts(const TableDifference& difference)
{
    std::vector<std::string> texts;
    texts.reserve(difference.cells.size());
    for (const DifferenceCell& cell : difference.cells)
        texts.push_back(cell.percent ? formatStatistic(*cell.percent) : std::string());
    return texts;
}

std::string differenceText(const Table& table, const TableDifference& difference)
{
    return printedTable(table.name + " (B - A)", tableLines(table, differenceTexts(table, difference))) +
           printedTable(table.name + " (B - A, %)", tableLines(table, percentTexts(difference)));
}

std::string differencesText(const Workspace& workspace, std::span<const TableResult> a,
                            std::span<const TableResult> b)
{
    std::string out;
    for (std::size_t t = 0; t < workspace.tables.size() && t < a.size() && t < b.size(); ++t)
        out += differenceText(workspace.tables[t], differenceTable(workspace.tables[t], a[t], b[t]));
    return out;
}

}  // namespace dlv::workbench
