#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

namespace dlv {

class TakeStore;

// The numbers of one parameter over takes 0 .. U: element t is the value of
// take t by the core's number rule (parseNumber), quiet NaN where the text is
// empty or not a number. 8 bytes a take; immutable and shared once built.
using Column = std::vector<double>;
using ColumnPtr = std::shared_ptr<const Column>;

// The numeric columns of one open log, built on demand and cached. Asked for a
// set of parameters, it parses the missing ones in one pass over the takes,
// split over every core by take ranges. The cache keeps at most budgetBytes of
// columns and drops the least recently used first; columns handed out stay
// valid for as long as their holders keep them. Thread-safe.
class ColumnCache final {
public:
    // budgetBytes 0: a budget from the store's size (see defaultBudget).
    explicit ColumnCache(std::shared_ptr<const TakeStore> store, std::size_t budgetBytes = 0);
    ColumnCache(const ColumnCache&) = delete;
    ColumnCache& operator=(const ColumnCache&) = delete;

    [[nodiscard]] const TakeStore& store() const noexcept { return *m_store; }
    [[nodiscard]] const std::shared_ptr<const TakeStore>& sharedStore() const noexcept { return m_store; }

    // The columns of params, in their order (a parameter may appear twice).
    // Those not cached are parsed together in one pass. Throws std::bad_alloc
    // when memory runs out.
    [[nodiscard]] std::vector<ColumnPtr> columns(std::span<const long long> params);
    [[nodiscard]] ColumnPtr column(long long param);

    // Bytes of columns held by the cache now.
    [[nodiscard]] std::size_t cachedBytes() const;
    [[nodiscard]] std::size_t budgetBytes() const noexcept { return m_budget; }

    // Half the file size, but room for at least 64 columns and at most 4 GiB.
    [[nodiscard]] static std::size_t defaultBudget(const TakeStore& store) noexcept;

private:
    void touch(long long param);
    void evict();

    std::shared_ptr<const TakeStore> m_store;
    std::size_t m_budget;
    mutable std::mutex m_mutex;
    std::list<long long> m_order;  // most recently used first
    struct Entry {
        ColumnPtr column;
        std::list<long long>::iterator position;
    };
    std::unordered_map<long long, Entry> m_entries;
    std::size_t m_bytes = 0;
};

// Parses params over every take in one pass, without caching: one column per
// parameter, in order. Throws std::bad_alloc when memory runs out.
[[nodiscard]] std::vector<Column> parseColumns(const TakeStore& store, std::span<const long long> params);

}  // namespace dlv
