#include "workbench/table_session.h"

#include "datalog/columns.h"
#include "datalog/number.h"
#include "datalog/take_store.h"
#include "workbench/default_table.h"
#include "workbench/table_tint.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace dlv {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- Interim evaluation: references only (a name, {name}, #N, or a channel
// made of one). The workspace engine's expressions take its place.

struct Evaluated {
    ColumnPtr column;
    long long param = -1;
};

bool isPlainName(std::string_view name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

std::optional<Evaluated> evaluate(ColumnCache& columns, const WorkspaceDraft& ws, std::string_view expr,
                                  std::string& error, int depth = 0)
{
    const std::string_view text = trimSpaces(expr);
    std::string name;
    if (text.size() >= 2 && text.front() == '{' && text.back() == '}') {
        name = std::string(text.substr(1, text.size() - 2));
    } else if (!text.empty() && text.front() == '#') {
        const std::optional<double> n = parseNumber(text.substr(1));
        if (!n || *n < 0 || *n != std::floor(*n)) {
            error = "\"" + std::string(text) + "\" is not a parameter number";
            return std::nullopt;
        }
        return Evaluated{columns.column(static_cast<long long>(*n)), static_cast<long long>(*n)};
    } else if (isPlainName(text)) {
        name = std::string(text);
    } else {
        error = text.empty() ? "empty expression" : "\"" + std::string(text) + "\" is not a name";
        return std::nullopt;
    }
    for (auto it = ws.channels.rbegin(); it != ws.channels.rend() && depth < 8; ++it)
        if (it->name == name)
            return evaluate(columns, ws, it->expr, error, depth + 1);
    const auto& names = columns.store().ParamNames();
    const auto found = std::find(names.begin(), names.end() - (names.empty() ? 0 : 1), name);
    if (names.empty() || found == names.end() - 1) {
        error = "unknown name \"" + name + "\"";
        return std::nullopt;
    }
    const auto p = static_cast<long long>(found - names.begin());
    return Evaluated{columns.column(p), p};
}

// Nearest breakpoint; halfway goes to the lower one; more than half the
// outer gap beyond an end falls off (-1).
int binOf(std::span<const double> axis, double v)
{
    if (std::isnan(v) || axis.empty())
        return -1;
    const std::size_t n = axis.size();
    if (n == 1)
        return 0;
    if (v <= axis[0])
        return axis[0] - v > (axis[1] - axis[0]) / 2 ? -1 : 0;
    if (v >= axis[n - 1])
        return v - axis[n - 1] > (axis[n - 1] - axis[n - 2]) / 2 ? -1 : static_cast<int>(n - 1);
    const auto i = static_cast<std::size_t>(std::upper_bound(axis.begin(), axis.end(), v) - axis.begin());
    return v - axis[i - 1] <= axis[i] - v ? static_cast<int>(i - 1) : static_cast<int>(i);
}

double statOf(std::string_view stat, const ShownCell& cell, std::vector<double>& values, std::optional<double> target)
{
    if (stat == "count")
        return static_cast<double>(cell.count);
    if (cell.count == 0)
        return kNaN;
    if (stat == "mean")
        return cell.mean;
    if (stat == "min")
        return cell.min;
    if (stat == "max")
        return cell.max;
    if (stat == "stddev")
        return cell.stddev;
    if (stat == "diff%")
        return target ? (cell.mean / *target - 1) * 100 : kNaN;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void fieldError(TableOutcome& out, TableField field, const std::string& text, const std::string& message)
{
    out.errors.push_back({field, message, text, {0, text.size()}, 0});
}

}  // namespace

const std::vector<std::string>& tableStatistics()
{
    static const std::vector<std::string> stats{"mean", "count", "min", "max", "median", "stddev", "diff%"};
    return stats;
}

std::optional<double> tintCenter(const TableDraft& table)
{
    if (table.stat == "count" || table.stat == "stddev" || !table.target)
        return std::nullopt;
    return table.stat == "diff%" ? 0.0 : *table.target;
}

TableOutcome computeShownTable(ColumnCache& columns, const WorkspaceDraft& ws, std::size_t index)
{
    TableOutcome out;
    const TableDraft& table = ws.tables.at(index);
    std::string error;
    const auto x = evaluate(columns, ws, table.x, error);
    if (!x)
        fieldError(out, TableField::X, table.x, "x: " + error);
    std::optional<Evaluated> y;
    if (!trimSpaces(table.y).empty()) {
        y = evaluate(columns, ws, table.y, error);
        if (!y)
            fieldError(out, TableField::Y, table.y, "y: " + error);
    }
    const auto z = evaluate(columns, ws, table.z, error);
    if (!z)
        fieldError(out, TableField::Z, table.z, "z: " + error);
    if (table.xAxis.empty())
        fieldError(out, TableField::XAxis, {}, "x axis: no breakpoints");
    if (y && table.yAxis.empty())
        fieldError(out, TableField::YAxis, {}, "y axis: no breakpoints");
    if (std::find(tableStatistics().begin(), tableStatistics().end(), table.stat) == tableStatistics().end())
        fieldError(out, TableField::Stat, table.stat, "statistic: unknown \"" + table.stat + "\"");
    if (table.stat == "diff%" && !table.target)
        fieldError(out, TableField::Target, {}, "target: diff% needs a target");
    std::optional<Evaluated> filter;
    if (!trimSpaces(table.filter).empty()) {
        filter = evaluate(columns, ws, table.filter, error);
        if (!filter)
            fieldError(out, TableField::Filter, table.filter, "filter: " + error);
    }
    if (!out.errors.empty())
        return out;

    ShownTable shown;
    shown.xAxis = table.xAxis;
    shown.yAxis = y ? table.yAxis : std::vector<double>{};
    shown.cols = shown.xAxis.size();
    shown.rows = y ? shown.yAxis.size() : 1;
    shown.zParam = z->param;
    const std::size_t cellCount = shown.rows * shown.cols;
    shown.cells.resize(cellCount);
    shown.takes.resize(cellCount);
    std::vector<long double> sums(cellCount, 0.0L);
    const Column& xs = *x->column;
    const Column& zs = *z->column;
    const int takes = columns.store().takeCount();
    for (int t = 0; t < takes; ++t) {
        if (filter) {
            const double keep = (*filter->column)[static_cast<std::size_t>(t)];
            if (!std::isfinite(keep) || keep == 0)
                continue;
        }
        const double zv = zs[static_cast<std::size_t>(t)];
        if (!std::isfinite(zv))
            continue;
        const int c = binOf(shown.xAxis, xs[static_cast<std::size_t>(t)]);
        const int r = y ? binOf(shown.yAxis, (*y->column)[static_cast<std::size_t>(t)]) : 0;
        if (c < 0 || r < 0)
            continue;
        const std::size_t i = static_cast<std::size_t>(r) * shown.cols + static_cast<std::size_t>(c);
        ShownCell& cell = shown.cells[i];
        cell.min = cell.count ? std::min(cell.min, zv) : zv;
        cell.max = cell.count ? std::max(cell.max, zv) : zv;
        ++cell.count;
        sums[i] += zv;
        shown.takes[i].push_back(t);
        ++shown.takesInTable;
    }
    std::vector<double> statValues(cellCount, kNaN);
    for (std::size_t i = 0; i < cellCount; ++i) {
        ShownCell& cell = shown.cells[i];
        std::vector<double> values;
        values.reserve(shown.takes[i].size());
        for (const int t : shown.takes[i])
            values.push_back(zs[static_cast<std::size_t>(t)]);
        cell.mean = cell.count ? static_cast<double>(sums[i] / cell.count) : kNaN;
        double squares = 0;
        for (const double v : values)
            squares += (v - cell.mean) * (v - cell.mean);
        cell.stddev = cell.count >= 2 ? std::sqrt(squares / static_cast<double>(cell.count - 1)) : kNaN;
        const double value = statOf(table.stat, cell, values, table.target);
        statValues[i] = value;
        if (cell.count >= std::max<std::int64_t>(table.minHits, 1) && std::isfinite(value))
            cell.text = table.stat == "count" ? std::to_string(cell.count) : formatFixed2(value, ".");
        cell.toolTip = cellToolTip(cell, table.minHits);
    }
    // Tint by what the cell shows; a cell below minHits by what it would show.
    const TintScale scale = tintScaleFor(statValues, tintCenter(table));
    for (std::size_t i = 0; i < cellCount; ++i)
        if (shown.cells[i].count > 0)
            shown.cells[i].tint = tableTint(statValues[i], scale, shown.cells[i].count < table.minHits);

    std::vector<std::string> header{std::string()};
    for (const double v : shown.xAxis)
        header.push_back(shortestDecimal(v));
    shown.texts.push_back(std::move(header));
    for (std::size_t r = 0; r < shown.rows; ++r) {
        std::vector<std::string> line{y ? shortestDecimal(shown.yAxis[r]) : std::string()};
        for (std::size_t c = 0; c < shown.cols; ++c)
            line.push_back(shown.at(r, c).text);
        shown.texts.push_back(std::move(line));
    }
    out.table = std::move(shown);
    return out;
}

std::vector<FieldError> checkChannels(ColumnCache& columns, const WorkspaceDraft& ws)
{
    std::vector<FieldError> errors;
    for (std::size_t i = 0; i < ws.channels.size(); ++i) {
        const ChannelDraft& channel = ws.channels[i];
        std::string error;
        // A channel sees only the ones before it.
        WorkspaceDraft before{{ws.channels.begin(), ws.channels.begin() + static_cast<std::ptrdiff_t>(i)}, {}};
        if (!evaluate(columns, before, channel.expr, error))
            errors.push_back({TableField::Channel, "channel " + channel.name + ": " + error, channel.expr,
                              {0, channel.expr.size()}, i});
    }
    return errors;
}

std::string cellToolTip(const ShownCell& cell, std::int64_t minHits)
{
    if (cell.count <= 0)
        return "No takes";
    std::string text = "Takes: " + std::to_string(cell.count);
    if (cell.count < minHits)
        text += " (below minHits " + std::to_string(minHits) + ")";
    text += "\nMean " + formatFixed2(cell.mean, ".");
    text += "\nMin " + formatPlain(cell.min, ".") + ", max " + formatPlain(cell.max, ".");
    if (cell.count >= 2)
        text += "\nStd dev " + formatFixed2(cell.stddev, ".");
    return text;
}

std::string parameterReference(const TakeStore& store, long long p)
{
    const auto& names = store.ParamNames();
    if (p < 0 || static_cast<std::size_t>(p) + 1 >= names.size())
        return "#" + std::to_string(p);
    const std::string& name = names[static_cast<std::size_t>(p)];
    // The first of a name given twice is the one a name refers to.
    const bool first = std::find(names.begin(), names.end(), name) == names.begin() + p;
    if (first && isPlainName(name))
        return name;
    if (first && !name.empty() && name.find('}') == std::string::npos)
        return "{" + name + "}";
    return "#" + std::to_string(p);
}

WorkspaceDraft defaultWorkspace(ColumnCache& columns)
{
    const TakeStore& store = columns.store();
    const auto& names = store.ParamNames();
    const std::span<const std::string> real(names.data(), names.empty() ? 0 : names.size() - 1);
    const auto pick = [&](std::string_view wanted, long long fallback) {
        return findParameterNamed(real, wanted).value_or(fallback);
    };
    const long long rpm = pick("RPM", kDefaultRpmParam);
    const long long map = pick("MAP", kDefaultMapParam);
    const long long blm = pick("BLM", kDefaultBlmParam);
    const auto range = [&](long long p) {
        const ColumnPtr column = columns.column(p);
        double low = kNaN;
        double high = kNaN;
        for (const double v : *column)
            if (std::isfinite(v)) {
                low = std::isnan(low) ? v : std::min(low, v);
                high = std::isnan(high) ? v : std::max(high, v);
            }
        return std::pair{low, high};
    };
    const auto [mapLow, mapHigh] = range(map);
    const auto [rpmLow, rpmHigh] = range(rpm);
    TableDraft table;
    table.name = "BLM by RPM and MAP";
    table.x = parameterReference(store, map);
    table.xAxis = coveringAxis(mapLow, mapHigh, defaultMapAxis());
    table.y = parameterReference(store, rpm);
    table.yAxis = coveringAxis(rpmLow, rpmHigh, defaultRpmAxis());
    table.z = parameterReference(store, blm);
    table.stat = "mean";
    table.minHits = 1;
    table.target = kDefaultTableTarget;
    return WorkspaceDraft{{}, {std::move(table)}};
}

}  // namespace dlv
