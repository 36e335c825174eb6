#include "workbench/program.h"

#include <set>

namespace dlv::workbench {

namespace {

// The operands of an expression as text: "p12@0" for a parameter, "c3@1" for a channel.
std::string operandsText(const CompiledExpression& expression)
{
    std::string out;
    for (const Operand& operand : expression.operands())
        out += (operand.kind == Operand::Kind::Parameter ? "|p" : "|c") + std::to_string(operand.index) + "@" +
               std::to_string(operand.lookBack);
    return out;
}

// The channels an expression depends on, directly or through other channels.
void collectChannels(const Program& program, const CompiledExpression& expression, std::set<long long>& out)
{
    for (const Operand& operand : expression.operands()) {
        if (operand.kind != Operand::Kind::Channel || !out.insert(operand.index).second)
            continue;
        const CompiledChannel& channel = program.channels[static_cast<std::size_t>(operand.index)];
        if (channel.expression)
            collectChannels(program, *channel.expression, out);
    }
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
    // Exact, without hashing: the text of every channel it depends on (each
    // once), then its own text.
    std::set<long long> channels;
    collectChannels(program, expression, channels);
    std::string key;
    for (const long long index : channels) {
        const CompiledChannel& channel = program.channels[static_cast<std::size_t>(index)];
        if (channel.expression)
            key += "c" + std::to_string(index) + "=" + channel.expression->parserText() +
                   operandsText(*channel.expression) + ";";
    }
    return key + "=" + expression.parserText() + operandsText(expression);
}

std::string tableKey(const Program& program, std::size_t index)
{
    const CompiledTable& table = program.tables.at(index);
    std::string key;
    for (const auto* field : {&table.x, &table.y, &table.z, &table.filter})
        key += (*field ? "[" + expressionKey(program, **field) + "]" : std::string("[]"));
    return key;
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
        if (program.channels.back().expression)
            program.channels.back().key = expressionKey(program, *program.channels.back().expression);
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
