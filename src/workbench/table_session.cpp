#include "workbench/table_session.h"

#include "datalog/columns.h"
#include "datalog/number.h"
#include "datalog/take_store.h"
#include "workbench/default_table.h"
#include "workbench/format.h"
#include "workbench/log_session.h"
#include "workbench/program.h"
#include "workbench/table.h"
#include "workbench/table_tint.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace dlv {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isPlainName(std::string_view name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

std::optional<TableField> tableFieldNamed(std::string_view field)
{
    if (field == "x")
        return TableField::X;
    if (field == "y")
        return TableField::Y;
    if (field == "z")
        return TableField::Z;
    if (field == "filter")
        return TableField::Filter;
    return std::nullopt;
}

EditorError fromEngine(TableField field, const workbench::FieldError& error)
{
    return {field, error.message, error.error.expression, {error.error.offset, error.error.length}, error.index};
}

void fieldError(TableOutcome& out, TableField field, const std::string& message)
{
    out.errors.push_back({field, message, {}, {}, 0});
}

// The table's own checks that the workspace file makes when it is read; the
// editor lets a user type anything first.
void checkShape(TableOutcome& out, const Table& table)
{
    if (table.xAxis.empty())
        fieldError(out, TableField::XAxis, "x axis: no breakpoints");
    if (table.twoD() && table.yAxis.empty())
        fieldError(out, TableField::YAxis, "y axis: no breakpoints");
    const std::size_t cells = table.xAxis.size() * std::max<std::size_t>(table.twoD() ? table.yAxis.size() : 1, 1);
    if (cells > workbench::kMaxCells)
        fieldError(out, TableField::XAxis, "the table would have " + std::to_string(cells) + " cells; at most " +
                                               std::to_string(workbench::kMaxCells));
    if (table.stat == workbench::Stat::DiffPercent && (!table.target || *table.target == 0))
        fieldError(out, TableField::Target, "target: diff% needs a target other than 0");
}

}  // namespace

const std::vector<workbench::Stat>& tableStatistics()
{
    using workbench::Stat;
    static const std::vector<Stat> stats{Stat::Mean, Stat::Count,  Stat::Min,        Stat::Max,
                                         Stat::Median, Stat::Stddev, Stat::DiffPercent};
    return stats;
}

std::optional<double> tintCenter(const Table& table)
{
    using workbench::Stat;
    if (table.stat == Stat::Count || table.stat == Stat::Stddev || !table.target)
        return std::nullopt;
    return table.stat == Stat::DiffPercent ? 0.0 : *table.target;
}

TableOutcome computeShownTable(workbench::LogSession& session, const Workspace& workspace, std::size_t index)
{
    TableOutcome out;
    const Table& table = workspace.tables.at(index);
    const workbench::Program program = workbench::compileWorkspace(workspace, session.store().ParamNames());
    for (const workbench::FieldError& error : program.errors)
        if (error.owner == workbench::FieldError::Owner::Table && error.index == index)
            if (const std::optional<TableField> field = tableFieldNamed(error.field))
                out.errors.push_back(fromEngine(*field, error));
    checkShape(out, table);
    if (!out.errors.empty() || !program.tables.at(index).ok) {
        std::stable_sort(out.errors.begin(), out.errors.end(),
                         [](const EditorError& a, const EditorError& b) { return a.field < b.field; });
        return out;
    }

    session.prefetch(program);
    const workbench::BinnedTakes binned = workbench::binTable(session, program, table, index, true);
    const workbench::TableResult result = workbench::accumulateTable(table, std::span(&binned, 1), true);
    session.keepOnly(program);

    ShownTable shown;
    shown.xAxis = table.xAxis;
    shown.yAxis = table.twoD() ? table.yAxis : std::vector<double>{};
    shown.cols = result.columns;
    shown.rows = result.rows;
    shown.takesInTable = static_cast<std::int64_t>(result.binned);
    const workbench::CompiledExpression& z = *program.tables[index].z;
    if (z.isOperand() && z.operands().size() == 1 && z.operands()[0].kind == workbench::Operand::Kind::Parameter &&
        z.operands()[0].lookBack == 0)
        shown.zParam = z.operands()[0].index;

    // A cell below minHits shows nothing, but is tinted (faded) by what it
    // would show.
    Table unlimited = table;
    unlimited.minHits = 1;
    const std::size_t cellCount = result.cells.size();
    shown.cells.resize(cellCount);
    shown.takes.resize(cellCount);
    std::vector<double> values(cellCount, kNaN);
    for (std::size_t i = 0; i < cellCount; ++i) {
        const workbench::CellStats& stats = result.cells[i];
        ShownCell& cell = shown.cells[i];
        cell.count = stats.count;
        cell.mean = stats.count ? stats.mean : kNaN;
        cell.min = stats.min;
        cell.max = stats.max;
        cell.stddev = stats.stddev;
        cell.text = workbench::cellText(table, stats);
        cell.toolTip = cellToolTip(cell, table.minHits);
        values[i] = workbench::statisticValue(unlimited, stats).value_or(kNaN);
        shown.takes[i].reserve(result.cellTakes[i].size());
        for (const workbench::TakeRef& take : result.cellTakes[i])
            shown.takes[i].push_back(static_cast<int>(take.take));
    }
    const TintScale scale = tintScaleFor(values, tintCenter(table));
    for (std::size_t i = 0; i < cellCount; ++i)
        if (shown.cells[i].count > 0)
            shown.cells[i].tint = tableTint(values[i], scale, shown.cells[i].count < table.minHits);

    // The texts --tables prints for this table, line for line.
    std::vector<std::string> header{std::string()};
    for (const double v : shown.xAxis)
        header.push_back(workbench::formatBreakpoint(v));
    shown.texts.push_back(std::move(header));
    for (std::size_t r = 0; r < shown.rows; ++r) {
        std::vector<std::string> line{shown.yAxis.empty() ? std::string() : workbench::formatBreakpoint(shown.yAxis[r])};
        for (std::size_t c = 0; c < shown.cols; ++c)
            line.push_back(shown.at(r, c).text);
        shown.texts.push_back(std::move(line));
    }
    out.table = std::move(shown);
    return out;
}

std::vector<EditorError> checkChannels(const TakeStore& store, const Workspace& workspace)
{
    std::vector<EditorError> errors;
    const workbench::Program program = workbench::compileWorkspace(workspace, store.ParamNames());
    for (const workbench::FieldError& error : program.errors)
        if (error.owner == workbench::FieldError::Owner::Channel)
            errors.push_back(fromEngine(TableField::Channel, error));
    return errors;
}

std::string cellToolTip(const ShownCell& cell, std::int64_t minHits)
{
    if (cell.count <= 0)
        return "No takes";
    std::string text = "Takes: " + std::to_string(cell.count);
    if (cell.count < minHits)
        text += " (below minHits " + std::to_string(minHits) + ")";
    text += "\nMean " + workbench::formatStatistic(cell.mean);
    text += "\nMin " + formatPlain(cell.min, ".") + ", max " + formatPlain(cell.max, ".");
    if (cell.count >= 2)
        text += "\nStd dev " + workbench::formatStatistic(cell.stddev);
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

Workspace defaultWorkspace(ColumnCache& columns)
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
    Table table;
    table.name = "BLM by RPM and MAP";
    table.x = parameterReference(store, map);
    table.xAxis = coveringAxis(mapLow, mapHigh, defaultMapAxis());
    table.y = parameterReference(store, rpm);
    table.yAxis = coveringAxis(rpmLow, rpmHigh, defaultRpmAxis());
    table.z = parameterReference(store, blm);
    table.stat = workbench::Stat::Mean;
    table.minHits = 1;
    table.target = kDefaultTableTarget;
    Workspace workspace;
    workspace.tables.push_back(std::move(table));
    return workspace;
}

}  // namespace dlv
