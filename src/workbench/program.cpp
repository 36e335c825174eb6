#include "workbench/program.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace dlv::workbench {

namespace {

// Channel keys by number, so that a key names the channels it reads by
// their numbers rather than by their whole keys: a chain of n channels then
// costs O(n) key text, not O(n^2). Equal keys get equal numbers for the whole
// run (across programs and logs, as the cache in LogSession needs); the table
// grows by each distinct channel definition compiled, a few dozen bytes
// each. Thread-safe.
std::uint64_t keyNumber(const std::string& key)
{
    static std::mutex mutex;
    static std::unordered_map<std::string, std::uint64_t> numbers;
    const std::lock_guard lock(mutex);
    return numbers.try_emplace(key, numbers.size() + 1).first->second;
}

// The operands of an expression as text: "|p12@0" for a parameter, "|k3@1"
// for a channel whose key has number 3.
std::string operandsText(const Program& program, const CompiledExpression& expression)
{
    std::string out;
    for (const Operand& operand : expression.operands()) {
        if (operand.kind == Operand::Kind::Parameter)
            out += "|p" + std::to_string(operand.index);
        else
            out += "|k" + std::to_string(program.channels[static_cast<std::size_t>(operand.index)].keyNumber);
        out += "@" + std::to_string(operand.lookBack);
    }
    return out;
}

// An error for the first use of a channel that has an error itself.
std::optional<ExprError> brokenChannel(const Program& program, const Workspace& workspace,
                                       const CompiledExpression& expression)
{
    for (const CompiledExpression::Use& use : expression.uses()) {
        const Operand& operand = expression.operands()[use.operand];
        if (operand.kind == Operand::Kind::Channel &&
            !program.channels[static_cast<std::size_t>(operand.index)].expression) {
            const std::string_view text = expression.source();
            int column = 1;
            for (std::size_t i = 0; i < use.offset; ++i)
                column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
            return ExprError{channelLabel(workspace.channels[static_cast<std::size_t>(operand.index)]) +
                                 " has an error",
                             expression.source(), use.offset, use.length, column};
        }
    }
    return std::nullopt;
}

}  // namespace

std::string expressionKey(const Program& program, const CompiledExpression& expression)
{
    // Exact, without hashing: its own text, and the channels it reads by the
    // numbers of their keys, which hold theirs in turn.
    return "=" + expression.parserText() + operandsText(program, expression);
}

std::string tableKey(const Program& program, std::size_t index)
{
    const CompiledTable& table = program.tables.at(index);
    std::string key;
    for (const auto* field : {&table.x, &table.y, &table.z, &table.filter})
        key += (*field ? "[" + expressionKey(program, **field) + "]" : std::string("[]"));
    return key;
}

CompileResult compileFieldExpression(const Program& program, const Workspace& workspace,
                                     const std::vector<std::string>& paramNames, std::string_view text)
{
    NameScope scope(paramNames);
    for (std::size_t c = 0; c < workspace.channels.size(); ++c)
        scope.addChannel(workspace.channels[c].name, c);
    CompileResult result = compileExpression(text, scope);
    if (result.ok())
        if (std::optional<ExprError> error = brokenChannel(program, workspace, *result.expression))
            return {std::nullopt, std::move(*error)};
    return result;
}

Program compileWorkspace(const Workspace& workspace, const std::vector<std::string>& paramNames)
{
    Program program;
    NameScope scope(paramNames);
    const auto compile = [&](std::string_view text, FieldError::Owner owner, std::size_t index,
                             std::string field) -> std::optional<CompiledExpression> {
        CompileResult result = compileExpression(text, scope);
        std::optional<ExprError> error;
        if (!result.ok())
            error = result.error;
        else
            error = brokenChannel(program, workspace, *result.expression);
        if (!error)
            return std::move(result.expression);
        const std::string where = owner == FieldError::Owner::Channel
                                      ? channelLabel(workspace.channels[index])
                                      : tableLabel(workspace.tables[index].name, index) + ", " + field;
        program.errors.push_back(FieldError{owner, index, field, *error, errorMessage(where, *error)});
        return std::nullopt;
    };

    for (std::size_t c = 0; c < workspace.channels.size(); ++c) {
        CompiledChannel channel;
        channel.expression = compile(workspace.channels[c].expr, FieldError::Owner::Channel, c, "expr");
        program.channels.push_back(std::move(channel));
        if (CompiledChannel& compiled = program.channels.back(); compiled.expression) {
            compiled.key = expressionKey(program, *compiled.expression);
            compiled.keyNumber = keyNumber(compiled.key);
        }
        scope.addChannel(workspace.channels[c].name, c);
    }
    for (std::size_t t = 0; t < workspace.tables.size(); ++t) {
        const Table& table = workspace.tables[t];
        CompiledTable compiled;
        const std::size_t before = program.errors.size();
        compiled.x = compile(table.x, FieldError::Owner::Table, t, "x");
        if (table.twoD())
            compiled.y = compile(table.y, FieldError::Owner::Table, t, "y");
        compiled.z = compile(table.z, FieldError::Owner::Table, t, "z");
        if (!table.filter.empty())
            compiled.filter = compile(table.filter, FieldError::Owner::Table, t, "filter");
        compiled.ok = program.errors.size() == before;
        program.tables.push_back(std::move(compiled));
    }
    return program;
}

}  // namespace dlv::workbench
