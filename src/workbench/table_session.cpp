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
#include <cctype>
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
    return {field, error.message, error.error.expression, {error.error.offset, error.error.length}, error.index, 0};
}

void fieldError(std::vector<EditorError>& errors, TableField field, const std::string& message)
{
    errors.push_back({field, message, {}, {}, 0, 0});
}

// The table's own checks that the workspace file makes when it is read; the
// editor lets a user type anything first.
void checkShape(std::vector<EditorError>& out, const Table& table)
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

// The parameter a z expression names plainly, else -1.
long long zParameter(const workbench::CompiledExpression& z)
{
    if (z.isOperand() && z.operands().size() == 1 && z.operands()[0].kind == workbench::Operand::Kind::Parameter &&
        z.operands()[0].lookBack == 0)
        return z.operands()[0].index;
    return -1;
}

// The grid of table with one text per cell (row-major), as --tables prints it.
void layOut(ShownGrid& grid, const Table& table, std::span<const std::string> cellTexts)
{
    grid.xAxis = table.xAxis;
    grid.yAxis = table.twoD() ? table.yAxis : std::vector<double>{};
    grid.cols = grid.xAxis.size();
    grid.rows = table.twoD() ? grid.yAxis.size() : 1;
    grid.texts = workbench::tableLines(table, cellTexts);
}

ShownTable shownFrom(const Table& table, workbench::TableResult&& result, std::vector<long long> zParams)
{
    ShownTable shown;
    shown.takesInTable = static_cast<std::int64_t>(result.binned);
    shown.zParams = std::move(zParams);

    // A cell below minHits shows nothing, but is tinted (faded) by what it
    // would show.
    Table unlimited = table;
    unlimited.minHits = 1;
    const std::size_t cellCount = result.cells.size();
    shown.cells.resize(cellCount);
    shown.takes = std::move(result.cellTakes);
    shown.takes.resize(cellCount);
    std::vector<double> values(cellCount, kNaN);
    std::vector<std::string> texts(cellCount);
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
        texts[i] = cell.text;
        values[i] = workbench::statisticValue(unlimited, stats).value_or(kNaN);
    }
    const TintScale scale = tintScaleFor(values, tintCenter(table));
    for (std::size_t i = 0; i < cellCount; ++i)
        if (shown.cells[i].count > 0)
            shown.cells[i].tint = tableTint(values[i], scale, shown.cells[i].count < table.minHits);
    layOut(shown, table, texts);
    return shown;
}

std::string sideLine(const Table& table, std::string_view side, std::optional<double> value, std::uint32_t takes)
{
    std::string line = std::string(side) + ": ";
    if (takes == 0 && !value)
        return line + "no takes";
    const std::string from = " from " + std::to_string(takes) + (takes == 1 ? " take" : " takes");
    if (value)
        return line + workbench::statisticText(table, value) + from;
    line += "none" + from;
    if (static_cast<std::int64_t>(takes) < table.minHits)
        line += " (below minHits " + std::to_string(table.minHits) + ")";
    return line;
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

std::vector<int> ShownTable::takesOfLog(std::size_t cell, std::uint32_t log) const
{
    std::vector<int> out;
    if (cell >= takes.size())
        return out;
    for (const workbench::TakeRef& take : takes[cell])
        if (take.log == log)
            out.push_back(static_cast<int>(take.take));
    return out;
}

PooledTable computePooledTable(SessionList sessions, const Workspace& workspace, std::size_t index, bool withTakes)
{
    PooledTable out;
    const Table& table = workspace.tables.at(index);
    std::vector<workbench::Program> programs;
    programs.reserve(sessions.size());
    bool compiled = true;
    for (std::size_t l = 0; l < sessions.size(); ++l) {
        programs.push_back(workbench::compileWorkspace(workspace, sessions[l]->paramNames()));
        const workbench::Program& program = programs.back();
        if (program.tables.at(index).ok)
            continue;
        // Only the first log that fails speaks, as --tables reports it.
        if (compiled)
            for (const workbench::FieldError& error : program.errors)
                if (error.owner == workbench::FieldError::Owner::Table && error.index == index)
                    if (const std::optional<TableField> field = tableFieldNamed(error.field)) {
                        out.errors.push_back(fromEngine(*field, error));
                        out.errors.back().log = l;
                    }
        compiled = false;
    }
    checkShape(out.errors, table);
    if (!out.errors.empty() || !compiled || sessions.empty()) {
        std::stable_sort(out.errors.begin(), out.errors.end(),
                         [](const EditorError& a, const EditorError& b) { return a.field < b.field; });
        return out;
    }

    std::vector<std::shared_ptr<const workbench::BinnedTakes>> binned;
    std::vector<const workbench::BinnedTakes*> each;
    for (std::size_t l = 0; l < sessions.size(); ++l) {
        sessions[l]->prefetch(programs[l]);
        binned.push_back(sessions[l]->binned(programs[l], table, index));
        each.push_back(binned.back().get());
        out.zParams.push_back(zParameter(*programs[l].tables[index].z));
    }
    out.result = workbench::accumulateTable(table, each, withTakes);
    for (std::size_t l = 0; l < sessions.size(); ++l)
        sessions[l]->keepOnly(programs[l]);
    return out;
}

TableOutcome computeShownTable(SessionList sessions, const Workspace& workspace, std::size_t index)
{
    PooledTable pooled = computePooledTable(sessions, workspace, index, true);
    TableOutcome out;
    out.errors = std::move(pooled.errors);
    if (pooled.result)
        out.table = shownFrom(workspace.tables[index], std::move(*pooled.result), std::move(pooled.zParams));
    return out;
}

TableOutcome computeShownTable(workbench::LogSession& session, const Workspace& workspace, std::size_t index)
{
    workbench::LogSession* const one = &session;
    return computeShownTable(SessionList(&one, 1), workspace, index);
}

DifferenceOutcome computeShownDifference(SessionList a, SessionList b, const Workspace& workspace, std::size_t index)
{
    DifferenceOutcome out;
    PooledTable overA = computePooledTable(a, workspace, index, false);
    PooledTable overB = computePooledTable(b, workspace, index, false);
    if (!overA.errors.empty()) {
        out.errors = std::move(overA.errors);
        return out;
    }
    if (!overB.errors.empty()) {
        out.errors = std::move(overB.errors);
        for (EditorError& error : out.errors)
            error.log += a.size();
        return out;
    }
    if (!overA.result || !overB.result)
        return out;

    const Table& table = workspace.tables[index];
    const workbench::TableDifference difference = workbench::differenceTable(table, *overA.result, *overB.result);
    ShownDifference shown;
    std::vector<std::string> texts = workbench::differenceTexts(table, difference);
    std::vector<std::string> percents = workbench::percentTexts(difference);
    std::vector<double> values(difference.cells.size(), kNaN);
    std::vector<double> percentValues(difference.cells.size(), kNaN);
    for (std::size_t i = 0; i < difference.cells.size(); ++i) {
        values[i] = difference.cells[i].difference.value_or(kNaN);
        percentValues[i] = difference.cells[i].percent.value_or(kNaN);
    }
    const std::vector<std::optional<Rgb>> tints = differenceTints(values);
    const std::vector<std::optional<Rgb>> percentTints = differenceTints(percentValues);
    shown.cells.resize(difference.cells.size());
    for (std::size_t i = 0; i < difference.cells.size(); ++i) {
        DifferenceShownCell& cell = shown.cells[i];
        cell.numbers = difference.cells[i];
        cell.text = texts[i];
        cell.percentText = percents[i];
        cell.tint = tints[i];
        cell.percentTint = percentTints[i];
        cell.toolTip = differenceToolTip(table, cell.numbers);
    }
    layOut(shown, table, texts);
    shown.percentTexts = workbench::tableLines(table, percents);
    out.table = std::move(shown);
    return out;
}

std::string differenceToolTip(const Table& table, const workbench::DifferenceCell& cell)
{
    std::string text = sideLine(table, "A", cell.a, cell.takesA) + "\n" + sideLine(table, "B", cell.b, cell.takesB);
    text += "\nB - A: ";
    if (!cell.difference)
        return text + "none";
    text += workbench::statisticText(table, cell.difference);
    if (cell.percent)
        text += " (" + workbench::formatStatistic(*cell.percent) + " %)";
    else if (cell.a && *cell.a == 0)
        text += " (no percent of 0)";
    return text;
}

std::vector<EditorError> checkChannels(const std::vector<std::string>& names, const Workspace& workspace)
{
    std::vector<EditorError> errors;
    const workbench::Program program = workbench::compileWorkspace(workspace, names);
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

std::string parameterReference(const std::vector<std::string>& names, long long p)
{
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

std::string expressionHeading(const LogChannels* log, std::string_view expression)
{
    std::string heading(expression);
    if (!log)
        return heading;
    const std::vector<std::string>& names = log->ParamNames();
    const std::string_view trimmed = trimSpaces(expression);
    for (long long p = 0; p + 1 < static_cast<long long>(names.size()); ++p) {
        const std::string& unit = log->channel(p).unit;
        if (!unit.empty() && parameterReference(names, p) == trimmed)
            return shownChannelName(heading, unit);
    }
    return heading;
}

Workspace defaultWorkspace(ColumnCache& columns)
{
    const auto& names = columns.paramNames();
    const std::span<const std::string> real(names.data(), names.empty() ? 0 : names.size() - 1);
    const auto pick = [&](std::string_view wanted, long long fallback) {
        return findParameterNamed(real, wanted).value_or(fallback);
    };
    long long rpm = pick("RPM", kDefaultRpmParam);
    long long map = pick("MAP", kDefaultMapParam);
    long long blm = pick("BLM", kDefaultBlmParam);
    // Another format's log has no fixed fields: its channels are found by
    // name, the mixture standing in for BLM, and the first channels after
    // the time where none is found.
    const bool otherFormat = columns.log() && columns.log()->format() != LogFormat::Datalog;
    if (otherFormat) {
        const auto find = [&](ChannelRole role, long long fallback) {
            const long long last = std::max<long long>(static_cast<long long>(real.size()) - 1, 0);
            return findChannelFor(real, role).value_or(std::min(fallback, last));
        };
        rpm = find(ChannelRole::Rpm, 1);
        map = find(ChannelRole::Map, 2);
        blm = findParameterNamed(real, "BLM").value_or(find(ChannelRole::Mixture, 3));
    }
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
    table.name = otherFormat ? names[static_cast<std::size_t>(blm)] + " by " + names[static_cast<std::size_t>(rpm)] +
                                   " and " + names[static_cast<std::size_t>(map)]
                             : "BLM by RPM and MAP";
    table.x = parameterReference(names, map);
    table.xAxis = coveringAxis(mapLow, mapHigh, defaultMapAxis());
    table.y = parameterReference(names, rpm);
    table.yAxis = coveringAxis(rpmLow, rpmHigh, defaultRpmAxis());
    table.z = parameterReference(names, blm);
    table.stat = workbench::Stat::Mean;
    table.minHits = 1;
    table.target = otherFormat ? defaultTargetFor(names[static_cast<std::size_t>(blm)]) : kDefaultTableTarget;
    Workspace workspace;
    workspace.tables.push_back(std::move(table));
    return workspace;
}

bool looksMidTyping(TableField field, std::string_view text) noexcept
{
    switch (field) {
    case TableField::XAxis:
    case TableField::YAxis:
        // Every prefix of an axis reads as an axis of fewer breakpoints.
        return true;
    case TableField::Filter: {
        const std::string_view word = trimSpaces(text);
        if (word.empty())
            return true;  // emptied to be typed anew
        if (word.front() == '{')
            return word.find('}') == word.size() - 1;
        for (const char c : word)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '#')
                return false;
        return true;
    }
    default:
        return false;
    }
}

}  // namespace dlv
