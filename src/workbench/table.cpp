#include "workbench/table.h"

#include "datalog/display_text.h"
#include "datalog/ordered_sum.h"
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

// The sample standard deviation of values (at least two) around their mean.
// The squares are summed plainly; when that overflows, as it does for values
// of 1e200, they are summed again from values scaled by 2^-600, which cannot
// overflow, and the result scaled back (infinite only where the deviation
// itself is beyond the largest double).
double standardDeviation(std::span<const double> values, double mean)
{
    double squares = 0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    const double n = static_cast<double>(values.size() - 1);
    if (std::isfinite(squares))
        return std::sqrt(squares / n);
    constexpr double kDown = 0x1p-600;
    const double scaledMean = mean * kDown;
    OrderedSum scaled;
    for (const double v : values) {
        const double d = v * kDown - scaledMean;
        scaled.add(d * d);
    }
    return std::sqrt(scaled.mean(static_cast<std::int64_t>(values.size() - 1))) * 0x1p600;
}

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
    std::vector<const BinnedTakes*> each;
    each.reserve(logs.size());
    for (const BinnedTakes& log : logs)
        each.push_back(&log);
    return accumulateTable(table, std::span<const BinnedTakes* const>(each), withTakes);
}

TableResult accumulateTable(const Table& table, std::span<const BinnedTakes* const> logs, bool withTakes)
{
    TableResult result;
    result.columns = table.xAxis.size();
    result.rows = table.twoD() ? table.yAxis.size() : 1;
    const std::size_t cellCount = result.columns * result.rows;
    result.cells.assign(cellCount, CellStats{0, 0, kNaN, kNaN, kNaN, kNaN, kNaN});

    // Count, sum, min and max in take order, logs in their order; the sum by
    // the rule of every average the program shows, carried scaled once it
    // overflows.
    std::vector<OrderedSum> sums(cellCount);
    std::size_t binned = 0;
    for (const BinnedTakes* each : logs) {
        const BinnedTakes& log = *each;
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
            sums[log.cells[i]].add(v);
        }
    }
    result.binned = binned;
    for (std::size_t c = 0; c < cellCount; ++c) {
        result.cells[c].sum = sums[c].plain();
        if (result.cells[c].count != 0)
            result.cells[c].mean = sums[c].mean(result.cells[c].count);
    }

    // The values grouped by cell, still in take order within each.
    std::vector<std::size_t> start(cellCount + 1, 0);
    for (std::size_t c = 0; c < cellCount; ++c)
        start[c + 1] = start[c] + result.cells[c].count;
    std::vector<double> grouped(binned);
    std::vector<TakeRef> groupedTakes(withTakes ? binned : 0);
    {
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (std::size_t l = 0; l < logs.size(); ++l) {
            const BinnedTakes& log = *logs[l];
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
        if (cell.count >= 2)
            cell.stddev = standardDeviation(std::span<const double>(&*begin, cell.count), cell.mean);
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
        value = cell.count ? cell.mean : kNaN;
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
        value = cell.count && table.target ? (cell.mean / *table.target - 1) * 100 : kNaN;
        break;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string statisticText(const Table& table, std::optional<double> value)
{
    if (!value)
        return {};
    if (table.stat == Stat::Count)
        return std::to_string(static_cast<long long>(*value));
    return formatStatistic(*value);
}

std::string cellText(const Table& table, const CellStats& cell)
{
    return statisticText(table, statisticValue(table, cell));
}

std::vector<std::vector<std::string>> tableLines(const Table& table, std::span<const std::string> cells)
{
    const std::size_t columns = table.xAxis.size();
    const std::size_t rows = table.twoD() ? table.yAxis.size() : 1;
    std::vector<std::vector<std::string>> lines;
    lines.reserve(rows + 1);
    std::vector<std::string> header{std::string()};
    for (const double x : table.xAxis)
        header.push_back(formatBreakpoint(x));
    lines.push_back(std::move(header));
    for (std::size_t row = 0; row < rows; ++row) {
        std::vector<std::string> line{table.twoD() ? formatBreakpoint(table.yAxis[row]) : std::string()};
        for (std::size_t column = 0; column < columns; ++column) {
            const std::size_t at = row * columns + column;
            line.push_back(at < cells.size() ? cells[at] : std::string());
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string printedTable(std::string_view title, const std::vector<std::vector<std::string>>& lines)
{
    // A line break in a name would end the title line early; other control
    // characters are written as messages write them, so that a name cannot
    // move a terminal's cursor or colour it.
    std::string name(title);
    std::replace(name.begin(), name.end(), '\n', ' ');
    std::replace(name.begin(), name.end(), '\r', ' ');
    std::string out = "# " + controlsEscaped(name) + "\n";
    for (const std::vector<std::string>& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (i > 0)
                out += '\t';
            out += line[i];
        }
        out += '\n';
    }
    return out + "\n";
}

std::string tableText(const Table& table, const TableResult& result)
{
    std::vector<std::string> cells;
    cells.reserve(result.cells.size());
    for (const CellStats& cell : result.cells)
        cells.push_back(cellText(table, cell));
    return printedTable(table.name, tableLines(table, cells));
}

std::string tablesText(const Workspace& workspace, std::span<const TableResult> results)
{
    std::string out;
    for (std::size_t t = 0; t < workspace.tables.size() && t < results.size(); ++t)
        out += tableText(workspace.tables[t], results[t]);
    return out;
}

}  // namespace dlv::workbench
