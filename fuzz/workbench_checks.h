#pragma once

// What the workbench fuzz targets check on each input, kept apart from
// libFuzzer so that the test suite replays the inputs kept under
// tests/fuzz_regressions/expression and .../workspace. Each check returns an
// empty text when every property holds, otherwise what broke.

#include "datalog/take_store.h"
#include "workbench/workbench.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dlv::fuzzcheck {

// A small log with names that need braces, a repeated name, values that are
// not numbers and a field some lines lack.
inline const std::shared_ptr<const TakeStore>& workbenchLog()
{
    static const std::shared_ptr<const TakeStore> log =
        readDataLogBytes("t\nRPM,MAP,O2 (mV),TPS,RPM,\xB0" "C\n"
                         "800,30,450,10,1,20\n900,35,x,12,2,\n1000,40,500,11,3,21\n,45,510,30\n1200,50,520,31,5,22\n",
                         "fuzz.csv")
            .store;
    return log;
}

inline int codePointsBefore(std::string_view text, std::size_t offset)
{
    int n = 0;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i)
        n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    return n;
}

// Any bytes as an expression over workbenchLog(): compiling either fails
// with a place inside the text, or gives an expression whose values are one
// per take, never infinite, and those muparser gives take by take; the same
// text compiles the same way twice.
inline std::string checkExpression(std::string_view text)
{
    using namespace workbench;
    const auto& log = workbenchLog();
    const NameScope scope(log->ParamNames());
    const CompileResult first = compileExpression(text, scope);
    const CompileResult second = compileExpression(text, scope);
    if (first.ok() != second.ok())
        return "compiling twice gave different outcomes";
    if (!first.ok()) {
        const ExprError& e = first.error;
        if (e.reason.empty())
            return "an error without a reason";
        if (e.expression != text)
            return "the error's expression is not the text";
        if (e.offset > text.size() || e.length > text.size() - e.offset)
            return "the error's place lies outside the text";
        if (e.column != codePointsBefore(text, e.offset) + 1)
            return "column " + std::to_string(e.column) + " does not count the characters before offset " +
                   std::to_string(e.offset);
        if (e.reason != second.error.reason || e.offset != second.error.offset)
            return "compiling twice gave different errors";
        return {};
    }
    const CompiledExpression& compiled = *first.expression;
    std::vector<ColumnPtr> held;
    std::vector<const double*> columns;
    for (const Operand& operand : compiled.operands()) {
        if (operand.kind != Operand::Kind::Parameter)
            return "a channel operand without channels";
        if (operand.index < 0 || operand.index > kMaxParameterNumber || operand.lookBack < 0)
            return "an operand out of range";
        held.push_back(std::make_shared<const Column>(parseColumns(*log, std::vector<long long>{operand.index})[0]));
        columns.push_back(held.back()->data());
    }
    const std::size_t takes = static_cast<std::size_t>(log->takeCount());
    const std::vector<double> values = evaluateExpression(compiled, columns, takes);
    if (values.size() != takes)
        return "not one value per take";
    for (const double v : values)
        if (std::isinf(v))
            return "an infinite value left in the result";
    const std::vector<double> reference = evaluateWithParser(compiled, columns, takes);
    for (std::size_t t = 0; t < takes; ++t)
        if (!(values[t] == reference[t] || (std::isnan(values[t]) && std::isnan(reference[t]))))
            return "take " + std::to_string(t) + ": " + std::to_string(values[t]) + " where muparser gives " +
                   std::to_string(reference[t]);
    if (compiled.isOperand()) {
        const Operand& operand = compiled.operands()[0];
        for (std::size_t t = 0; t < takes; ++t) {
            const double want = static_cast<long long>(t) < operand.lookBack
                                    ? std::nan("")
                                    : (*held[0])[t - static_cast<std::size_t>(operand.lookBack)];
            if (!(values[t] == want || (std::isnan(values[t]) && std::isnan(want))))
                return "a lone name does not give its column, shifted by its look-back";
        }
    }
    return {};
}

// The input with its runs written out: \x01, a count byte k and a piece of
// up to 16 bytes (up to the next \x01 or the end) stand for the piece
// (k + 1) x 4096 times, at most 16 MiB in all. So a short input can nest a
// million lists deep, as a hostile file would, which a fuzzer of inputs of a
// few kilobytes would never reach; a raw \x01 is no JSON anyway.
inline std::string expandRuns(std::string_view input)
{
    constexpr std::size_t kMost = std::size_t{16} << 20;
    std::string out;
    std::size_t i = 0;
    while (i < input.size()) {
        if (input[i] != '\x01' || i + 1 >= input.size()) {
            out += input[i++];
            continue;
        }
        const std::size_t count = (static_cast<unsigned char>(input[i + 1]) + std::size_t{1}) * 4096;
        const std::size_t end = std::min({input.find('\x01', i + 2), input.size(), i + 2 + 16});
        const std::string_view piece = input.substr(i + 2, end - (i + 2));
        for (std::size_t k = 0; k < count && out.size() + piece.size() <= kMost; ++k)
            out += piece;
        i = end < input.size() && input[end] == '\x01' ? end + 1 : end;
    }
    return out;
}

// How deep lists and objects nest in a JSON text, outside its strings: the
// plainest count.
inline std::size_t nestingDepth(std::string_view text)
{
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

// Any bytes (with their runs written out, see expandRuns) as a workspace:
// parsing never throws and never runs the stack out; nothing nested deeper
// than kMaxJsonDepth and no text with a NUL is accepted; what parses is
// written back as JSON that reads as the same workspace and writes the same
// bytes; compiled against workbenchLog() and computed, every table has its
// cells.
inline std::string checkWorkspace(std::string_view input)
{
    using namespace workbench;
    const std::string expanded = expandRuns(input);
    const std::string_view text = expanded;
    const WorkspaceResult parsed = parseWorkspace(text);
    if (!parsed.ok())
        return parsed.error.empty() ? "a failure without a message" : std::string();
    if (nestingDepth(text) > kMaxJsonDepth)
        return "a workspace nested " + std::to_string(nestingDepth(text)) + " deep was accepted";
    if (text.find('\0') != std::string_view::npos)
        return "a workspace holding a NUL byte was accepted";
    for (const Channel& channel : parsed.workspace->channels)
        if ((channel.name + channel.expr).find('\0') != std::string::npos)
            return "a channel holding a NUL character was accepted";
    const Workspace& workspace = *parsed.workspace;
    const std::string saved = workspaceToJson(workspace);
    const WorkspaceResult again = parseWorkspace(saved);
    if (!again.ok())
        return "the saved workspace does not read back: " + again.error;
    if (!(*again.workspace == workspace))
        return "the saved workspace reads back different";
    if (workspaceToJson(*again.workspace) != saved)
        return "saving twice gives different bytes";
    for (const Table& table : workspace.tables) {
        if (table.xAxis.empty() || table.twoD() == table.yAxis.empty())
            return "a table with a missing axis was accepted";
        for (std::size_t i = 1; i < table.xAxis.size(); ++i)
            if (!(table.xAxis[i - 1] < table.xAxis[i]))
                return "an x axis that does not increase was accepted";
    }
    const Program program = compileWorkspace(workspace, workbenchLog()->ParamNames());
    LogSession session(std::make_shared<ColumnCache>(workbenchLog()));
    for (std::size_t t = 0; t < workspace.tables.size(); ++t) {
        if (!program.tables[t].ok)
            continue;
        const Table& table = workspace.tables[t];
        const BinnedTakes binned = binTable(session, program, table, t, true);
        const TableResult result = accumulateTable(table, std::vector<BinnedTakes>{binned}, true);
        if (result.cells.size() != table.xAxis.size() * std::max<std::size_t>(1, table.yAxis.size()))
            return "a table without all its cells";
        std::uint64_t counted = 0;
        for (const CellStats& cell : result.cells)
            counted += cell.count;
        if (counted != binned.values.size() || counted > binned.kept || binned.kept > binned.takeCount)
            return "the cells do not add up to the binned takes";
        (void)tableText(table, result);
        // A log compared with itself: no cell differs, and a cell has a
        // difference exactly where it has a value.
        const TableDifference same = differenceTable(table, result, result);
        for (std::size_t c = 0; c < same.cells.size(); ++c) {
            const DifferenceCell& cell = same.cells[c];
            if (cell.difference.has_value() != statisticValue(table, result.cells[c]).has_value())
                return "a cell compared with itself has a difference without a value, or none with one";
            if ((cell.difference && *cell.difference != 0) || (cell.percent && *cell.percent != 0))
                return "a cell compared with itself differs";
        }
        (void)differenceText(table, same);
    }
    return {};
}

}  // namespace dlv::fuzzcheck
