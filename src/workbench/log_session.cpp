#include "workbench/log_session.h"

#include "datalog/take_store.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <stdexcept>
#include <unordered_set>

namespace dlv::workbench {

namespace {

// The log parameters an expression reads, directly or through the channels
// it reads: a walk with a stack of its own, as channels may chain thousands
// deep.
void collectParameters(const Program& program, const CompiledExpression& expression, std::set<long long>& params,
                       std::set<long long>& channelsSeen)
{
    std::vector<const CompiledExpression*> pending{&expression};
    while (!pending.empty()) {
        const CompiledExpression* next = pending.back();
        pending.pop_back();
        for (const Operand& operand : next->operands()) {
            if (operand.kind == Operand::Kind::Parameter) {
                params.insert(operand.index);
            } else if (channelsSeen.insert(operand.index).second) {
                const CompiledChannel& channel = program.channels[static_cast<std::size_t>(operand.index)];
                if (channel.expression)
                    pending.push_back(&*channel.expression);
            }
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
    // Computed beforehand by evaluate, which computes every channel an
    // expression reads before the expression itself.
    return m_results.at(program.channels.at(static_cast<std::size_t>(operand.index)).key);
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
    // The channels it reads that are not cached yet, directly or through
    // others. A channel reads only channels before it, so in workspace order
    // each one finds those it reads computed: no recursion, however long the
    // chain.
    std::vector<std::size_t> missing;
    std::unordered_set<std::size_t> seen;
    std::vector<const CompiledExpression*> pending{&expression};
    while (!pending.empty()) {
        const CompiledExpression* next = pending.back();
        pending.pop_back();
        for (const Operand& operand : next->operands()) {
            const auto index = static_cast<std::size_t>(operand.index);
            if (operand.kind != Operand::Kind::Channel || !seen.insert(index).second)
                continue;
            const CompiledChannel& channel = program.channels.at(index);
            if (!channel.expression)
                throw std::invalid_argument("an expression reads a channel that has an error");
            if (m_results.contains(channel.key))
                continue;
            missing.push_back(index);
            pending.push_back(&*channel.expression);
        }
    }
    std::sort(missing.begin(), missing.end());
    for (const std::size_t index : missing) {
        const CompiledChannel& channel = program.channels[index];
        m_results.emplace(channel.key, computed(program, *channel.expression));
    }
    return computed(program, expression, keep);
}

ColumnPtr LogSession::computed(const Program& program, const CompiledExpression& expression, bool keep)
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
                                                                : operandColumn(program, operand));
        data.push_back(held.back()->data());
    }
    auto result = std::make_shared<const Column>(evaluateExpression(expression, data, takes()));
    if (keep)
        m_results.emplace(key, result);
    return result;
}

std::shared_ptr<const BinnedTakes> LogSession::binned(const Program& program, const Table& table, std::size_t index)
{
    std::string tableRead = tableKey(program, index);
    std::string key = tableRead;
    for (const std::vector<double>* axis : {&table.xAxis, &table.yAxis}) {
        const std::size_t at = key.size();
        key.resize(at + 1 + axis->size() * sizeof(double));
        key[at] = '|';
        if (!axis->empty())
            std::memcpy(key.data() + at + 1, axis->data(), axis->size() * sizeof(double));
    }
    if (m_binned && key == m_binnedKey)
        return m_binned;
    m_binned.reset();  // its memory back before the new one is made
    m_binned = std::make_shared<const BinnedTakes>(binTable(*this, program, table, index, true));
    m_binnedTable = std::move(tableRead);
    m_binnedKey = std::move(key);
    return m_binned;
}

void LogSession::keepOnly(const Program& program)
{
    std::unordered_set<std::string> used;
    for (const CompiledChannel& channel : program.channels)
        if (channel.expression)
            used.insert(channel.key);
    forEachTableExpression(program, [&](const CompiledExpression& e) { used.insert(expressionKey(program, e)); });
    std::erase_if(m_results, [&](const auto& entry) { return !used.contains(entry.first); });
    bool binnedUsed = false;
    for (std::size_t t = 0; t < program.tables.size() && !binnedUsed; ++t)
        binnedUsed = program.tables[t].ok && tableKey(program, t) == m_binnedTable;
    if (!binnedUsed)
        m_binned.reset();
}

}  // namespace dlv::workbench
