#include "workbench/table.h"

#include "datalog/parallel.h"
#include "datalog/take_store.h"
#include "workbench/format.h"
#include "workbench/log_session.h"
#include "workbench/program.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dlv::workbench {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

int binIndex(std::span<const double> axis, double value) noexcept
{
    if (axis.empty() || !std::isfinite(value))
        return -1;
    const std::size_t n = axis.size();
    if (n == 1)
        return 0;
    // i: the first breakpoint not below value. Counting is faster than a
    // binary search on the short axes of engine maps.
    std::size_t i = 0;
    if (n <= 32) {
        for (const double breakpoint : axis)
            i += breakpoint < value;
    } else {
        i = static_cast<std::size_t>(std::lower_bound(axis.begin(), axis.end(), value) - axis.begin());
    }
    if (i == 0)
        return axis[0] - value > (axis[1] - axis[0]) / 2 ? -1 : 0;
    if (i == n)
        return value - axis[n - 1] > (axis[n - 1] - axis[n - 2]) / 2 ? -1 : static_cast<int>(n - 1);
    // axis[i - 1] < value <= axis[i]: the nearer one, the lower at a tie.
    return value - axis[i - 1] <= axis[i] - value ? static_cast<int>(i - 1) : static_cast<int>(i);
}

BinnedTakes binTable(LogSession& session, const Program& program, const Table& table, std::size_t index, bool keep,
                     std::size_t context, std::uint64_t firstTake)
{
    const CompiledTable& compiled = program.tables.at(index);
    const std::size_t all = session.takes();
    context = std::min(context, all);
    const std::size_t takes = all - context;
    if (!compiled.ok)
        return BinnedTakes{{}, {}, {}, takes, 0};
    const ColumnPtr filter = compiled.filter ? session.evaluate(program, *compiled.filter, keep) : nullptr;
    const ColumnPtr x = session.evaluate(program, *compiled.x, keep);
    const ColumnPtr y = compiled.y ? session.evaluate(program, *compiled.y, keep) : nullptr;
    const ColumnPtr z = session.evaluate(program, *compiled.z, keep);
    const std::size_t columns = table.xAxis.size();

    // In take ranges on every core, then joined in take order.
    const std::size_t parts = partCount(takes, 65536);
    std::vector<BinnedTakes> partial(parts);
    runParts(parts, [&](std::size_t k) {
        BinnedTakes& out = partial[k];
        const std::size_t end = takes * (k + 1) / parts;
        const std::size_t most = end - takes * k / parts;
        out.takes.reserve(most);
        out.cells.reserve(most);
        out.values.reserve(most);
        for (std::size_t i = takes * k / parts; i < end; ++i) {
            const std::size_t t = context + i;
            if (filter) {
                if (!filterKeeps((*filter)[t]))
                    continue;
            }
            ++out.kept;
            const double value = (*z)[t];
            if (std::isnan(value))
                continue;
            const int column = binIndex(table.xAxis, (*x)[t]);
            if (column < 0)
                continue;
            int row = 0;
            if (y) {
                row = binIndex(table.yAxis, (*y)[t]);
                if (row < 0)
                    continue;
            }
            out.takes.push_back(static_cast<std::uint32_t>(firstTake + i));
            out.cells.push_back(static_cast<std::uint32_t>(static_cast<std::size_t>(row) * columns +
                                                           static_cast<std::size_t>(column)));
            out.values.push_back(value);
        }
    });
    BinnedTakes out = parts > 0 ? std::move(partial[0]) : BinnedTakes{};
    for (std::size_t k = 1; k < parts; ++k) {
        out.kept += partial[k].kept;
        out.takes.insert(out.takes.end(), partial[k].takes.begin(), partial[k].takes.end());
        out.cells.insert(out.cells.end(), partial[k].cells.begin(), partial[k].cells.end());
        out.values.insert(out.values.end(), partial[k].values.begin(), partial[k].values.end());
    }
    out.takeCount = takes;
    return out;
}

TableResult accumulateTable(const Table& table, std::span<const BinnedTakes> logs, bool withTakes)
{
    TableResult result;
    result.columns = table.xAxis.size();
    result.rows = table.twoD() ? table.yAxis.size() : 1;
    const std::size_t cellCount = result.columns * result.rows;
    result.cells.assign(cellCount, CellStats{0, 0, kNaN, kNaN, kNaN, kNaN});

    // Count, sum, min and max in take order, logs in their order.
    std::size_t binned = 0;
    for (const BinnedTakes& log : logs) {
        result.takes += log.takeCount;
        result.kept += log.kept;
        binned += log.values.size();
        for (std::size_t i = 0; i < log.values.size(); ++i) {
            CellStats& cell = result.cells[log.cells[i]];
            const double v = log.values[i];
            if (cell.count++ == 0) {
                cell.min = v;
                cell.max = v;
            } else {
                cell.min = std::min(cell.min, v);
                cell.max = std::max(cell.max, v);
            }
            cell.sum += v;
        }
    }
    result.binned = binned;

    // The values grouped by cell, still in take order within each.
    std::vector<std::size_t> start(cellCount + 1, 0);
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] = start[c] + result.cells[c].count;
    std::vector<double> grouped(binned);
    std::vector<TakeRef> groupedTakes(withTakes ? binned : 0);
    {
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (std::size_t l = 0; l < logs.size(); ++l) {
            const BinnedTakes& log = logs[l];
            for (std::size_t i = 0; i < log.values.size(); ++i) {
                const std::size_t at = next[log.cells[i]]++;
                grouped[at] = log.values[i];
                if (withTakes)
                    groupedTakes[at] = TakeRef{static_cast<std::uint32_t>(l), log.takes[i]};
            }
        }
    }
    for (std::size_t c = 0; c < cellCount; ++c) {
        CellStats& cell = result.cells[c];
        if (cell.count == 0)
            continue;
        const auto begin = grouped.begin() + static_cast<std::ptrdiff_t>(start[c]);
        const auto end = grouped.begin() + static_cast<std::ptrdiff_t>(start[c + 1]);
        if (cell.count >= 2) {
            const double mean = cell.sum / cell.count;
            double squares = 0;
            for (auto it = begin; it != end; ++it)
                squares += (*it - mean) * (*it - mean);
            cell.stddev = std::sqrt(squares / (cell.count - 1));
        }
        // The median last: it reorders the cell's values.
        const auto middle = begin + static_cast<std::ptrdiff_t>(cell.count / 2);
        std::nth_element(begin, middle, end);
        cell.median = *middle;
        if (cell.count % 2 == 0)
            cell.median = (*std::max_element(begin, middle) + cell.median) / 2;
    }
    if (withTakes) {
        result.cellTakes.resize(cellCount);
        for (std::size_t c = 0; c < cellCount; ++c)
            result.cellTakes[c].assign(groupedTakes.begin() + static_cast<std::ptrdiff_t>(start[c]),
                                       groupedTakes.begin() + static_cast<std::ptrdiff_t>(start[c + 1]));
    }
    return result;
}

std::optional<double> statisticValue(const Table& table, const CellStats& cell)
{
    if (cell.count < static_cast<std::uint32_t>(std::max(table.minHits, 0)))
        return std::nullopt;
    double value = kNaN;
    switch (table.stat) {
    case Stat::Count:
        return static_cast<double>(cell.count);
    case Stat::Mean:
        value = cell.count ? cell.sum / cell.count : kNaN;
        break;
    case Stat::Min:
        value = cell.min;
        break;
    case Stat::Max:
        value = cell.max;
        break;
    case Stat::Median:
        value = cell.median;
        break;
    case Stat::Stddev:
        value = cell.stddev;
        break;
    case Stat::DiffPercent:
        value = cell.count && table.target ? (cell.sum / cell.count / *table.target - 1) * 100 : kNaN;
        break;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string cellText(const Table& table, const CellStats& cell)
{
    const std::optional<double> value = statisticValue(table, cell);
    if (!value)
        return {};
    if (table.stat == Stat::Count)
        return std::to_string(cell.count);
    return formatStatistic(*value);
}

std::string tableText(const Table& table, const TableResult& result)
{
    // A line break in a name would end the title line early.
    std::string name = table.name;
    std::replace(name.begin(), name.end(), '\n', ' ');
    std::replace(name.begin(), name.end(), '\r', ' ');
    std::string out = "# " + name + "\n";
    for (const double x : table.xAxis)
        out += "\t" + formatBreakpoint(x);
    out += "\n";
    for (std::size_t row = 0; row < result.rows; ++row) {
        if (table.twoD())
            out += formatBreakpoint(table.yAxis[row]);
        for (std::size_t column = 0; column < result.columns; ++column)
            out += "\t" + cellText(table, result.cell(row, column));
        out += "\n";
    }
    return out + "\n";
}

std::string tablesText(const Workspace& workspace, std::span<const TableResult> results)
{
    std::string out;
    for (std::size_t t = 0; t < workspace.tables.size() && t < results.size(); ++t)
        out += tableText(workspace.tables[t], results[t]);
    return out;
}

}  // namespace dlv::workbench
