#include "workbench/log_session.h"

#include "datalog/take_store.h"

#include <algorithm>
#include <set>
#include <unordered_set>

namespace dlv::workbench {

namespace {

void collectParameters(const Program& program, const CompiledExpression& expression, std::set<long long>& params,
                       std::set<long long>& channelsSeen)
{
    for (const Operand& operand : expression.operands()) {
        if (operand.kind == Operand::Kind::Parameter) {
            params.insert(operand.index);
        } else if (channelsSeen.insert(operand.index).second) {
            const CompiledChannel& channel = program.channels[static_cast<std::size_t>(operand.index)];
            if (channel.expression)
                collectParameters(program, *channel.expression, params, channelsSeen);
        }
    }
}

template <class Visit>
void forEachTableExpression(const Program& program, Visit&& visit)
{
    for (const CompiledTable& table : program.tables)
        for (const auto* field : {&table.x, &table.y, &table.z, &table.filter})
            if (*field)
                visit(**field);
}

// Beyond any log's takes: depths are kept below it so that sums of them cannot overflow.
constexpr long long kDeepest = 1LL << 40;

// The deepest look-back of expression, through its channels; depths[c] is
// channel c's once worked out (-1 before).
long long expressionDepth(const Program& program, const CompiledExpression& expression, std::vector<long long>& depths)
{
    long long deepest = 0;
    for (const Operand& operand : expression.operands()) {
        long long depth = operand.lookBack;
        if (operand.kind == Operand::Kind::Channel) {
            const auto c = static_cast<std::size_t>(operand.index);
            if (depths[c] < 0) {
                depths[c] = 0;  // channels use only the ones before them: no cycle
                const CompiledChannel& channel = program.channels[c];
                if (channel.expression)
                    depths[c] = expressionDepth(program, *channel.expression, depths);
            }
            depth = std::min(depth + depths[c], kDeepest);
        }
        deepest = std::max(deepest, depth);
    }
    return deepest;
}

}  // namespace

std::vector<long long> programParameters(const Program& program)
{
    std::set<long long> params;
    std::set<long long> channelsSeen;
    forEachTableExpression(program, [&](const CompiledExpression& e) { collectParameters(program, e, params, channelsSeen); });
    return std::vector<long long>(params.begin(), params.end());
}

long long lookBackDepth(const Program& program)
{
    std::vector<long long> depths(program.channels.size(), -1);
    long long deepest = 0;
    forEachTableExpression(program,
                           [&](const CompiledExpression& e) { deepest = std::max(deepest, expressionDepth(program, e, depths)); });
    return deepest;
}

LogSession::LogSession(std::shared_ptr<ColumnCache> columns) : m_columns(std::move(columns)) {}

std::size_t LogSession::takes() const noexcept
{
    return static_cast<std::size_t>(m_columns->takeCount());
}

void LogSession::prefetch(const Program& program)
{
    (void)m_columns->columns(programParameters(program));
}

ColumnPtr LogSession::operandColumn(const Program& program, const Operand& operand)
{
    if (operand.kind == Operand::Kind::Parameter)
        return m_columns->column(operand.index);
    return channel(program, static_cast<std::size_t>(operand.index));
}

ColumnPtr LogSession::channel(const Program& program, std::size_t index)
{
    const CompiledChannel& compiled = program.channels.at(index);
    if (!compiled.expression)
        return nullptr;
    return evaluate(program, *compiled.expression, true);
}

ColumnPtr LogSession::evaluate(const Program& program, const CompiledExpression& expression, bool keep)
{
    const std::vector<Operand>& operands = expression.operands();
    if (expression.isOperand() && operands[0].lookBack == 0)
        return operandColumn(program, operands[0]);
    const std::string key = expressionKey(program, expression);
    if (const auto found = m_results.find(key); found != m_results.end())
        return found->second;

    // Parameters together, so that the missing ones are parsed in one pass.
    std::vector<long long> params;
    for (const Operand& operand : operands)
        if (operand.kind == Operand::Kind::Parameter)
            params.push_back(operand.index);
    const std::vector<ColumnPtr> paramColumns = m_columns->columns(params);
    std::vector<ColumnPtr> held;
    std::vector<const double*> data;
    std::size_t nextParam = 0;
    for (const Operand& operand : operands) {
        held.push_back(operand.kind == Operand::Kind::Parameter ? paramColumns[nextParam++]
                                                                : channel(program, static_cast<std::size_t>(operand.index)));
        data.push_back(held.back()->data());
    }
    auto result = std::make_shared<const Column>(evaluateExpression(expression, data, takes()));
    if (keep)
        m_results.emplace(key, result);
    return result;
}

void LogSession::keepOnly(const Program& program)
{
    std::unordered_set<std::string> used;
    for (const CompiledChannel& channel : program.channels)
        if (channel.expression)
            used.insert(channel.key);
    forEachTableExpression(program, [&](const CompiledExpression& e) { used.insert(expressionKey(program, e)); });
    std::erase_if(m_results, [&](const auto& entry) { return !used.contains(entry.first); });
}

}  // namespace dlv::workbench
