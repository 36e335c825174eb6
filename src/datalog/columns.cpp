#include "datalog/columns.h"

#include "datalog/number.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"

#include <algorithm>
#include <limits>

namespace dlv {

std::vector<Column> parseColumns(const TakeStore& store, std::span<const long long> params)
{
    const std::size_t takes = static_cast<std::size_t>(store.takeCount());
    std::vector<Column> out(params.size());
    for (Column& column : out)
        column.resize(takes);
    if (params.empty())
        return out;
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    // Row by row: every asked field of a take is parsed while its line is in
    // cache, and the cores share the takes by ranges.
    parallelFor(takes, std::max<std::size_t>(1, 16384 / params.size()), [&](std::size_t begin, std::size_t end) {
        for (std::size_t t = begin; t < end; ++t) {
            const int take = static_cast<int>(t);
            for (std::size_t k = 0; k < params.size(); ++k) {
                const std::optional<double> v = parseNumber(store.field(params[k], take));
                out[k][t] = v ? *v : kNaN;
            }
        }
    });
    return out;
}

ColumnCache::ColumnCache(std::shared_ptr<const TakeStore> store, std::size_t budgetBytes)
    : m_store(std::move(store)), m_budget(budgetBytes ? budgetBytes : defaultBudget(*m_store))
{
}

std::size_t ColumnCache::defaultBudget(const TakeStore& store) noexcept
{
    const std::size_t columnBytes = static_cast<std::size_t>(store.takeCount()) * sizeof(double);
    const std::size_t half = store.fileBytes() / 2;
    return std::min<std::size_t>(std::max(half, 64 * columnBytes), std::size_t{4} << 30);
}

std::vector<ColumnPtr> ColumnCache::columns(std::span<const long long> params)
{
    std::vector<ColumnPtr> result(params.size());
    std::vector<long long> missing;
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t k = 0; k < params.size(); ++k) {
            const auto found = m_entries.find(params[k]);
            if (found != m_entries.end()) {
                result[k] = found->second.column;
                touch(params[k]);
            } else if (std::find(missing.begin(), missing.end(), params[k]) == missing.end()) {
                missing.push_back(params[k]);
            }
        }
    }
    if (missing.empty())
        return result;
    // Parsed outside the lock: another thread may parse the same column at
    // the same time; the first one stored wins and both are equal.
    std::vector<Column> parsed = parseColumns(*m_store, missing);
    std::lock_guard lock(m_mutex);
    for (std::size_t m = 0; m < missing.size(); ++m) {
        auto found = m_entries.find(missing[m]);
        ColumnPtr column;
        if (found != m_entries.end()) {
            column = found->second.column;
            touch(missing[m]);
        } else {
            column = std::make_shared<const Column>(std::move(parsed[m]));
            m_order.push_front(missing[m]);
            m_entries.emplace(missing[m], Entry{column, m_order.begin()});
            m_bytes += column->size() * sizeof(double);
        }
        for (std::size_t k = 0; k < params.size(); ++k)
            if (params[k] == missing[m])
                result[k] = column;
    }
    evict();
    return result;
}

ColumnPtr ColumnCache::column(long long param)
{
    return columns(std::span<const long long>(&param, 1)).front();
}

std::size_t ColumnCache::cachedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

void ColumnCache::touch(long long param)
{
    Entry& entry = m_entries.at(param);
    m_order.splice(m_order.begin(), m_order, entry.position);
}

void ColumnCache::evict()
{
    // The most recently used column always stays, even over budget, so that
    // what was just asked for is not parsed again at once.
    while (m_bytes > m_budget && m_order.size() > 1) {
        const long long oldest = m_order.back();
        m_order.pop_back();
        const auto found = m_entries.find(oldest);
        m_bytes -= found->second.column->size() * sizeof(double);
        m_entries.erase(found);
    }
}

}  // namespace dlv
