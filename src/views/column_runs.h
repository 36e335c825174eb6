#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace dlv {

// Values set on column ranges of one row, kept sorted and non-overlapping;
// a later assignment replaces whatever it covers. Lookup O(log runs),
// assignment O(log runs + runs moved); assigning in increasing column order,
// or the same value to neighbouring columns, appends or merges in O(1).
class ColumnRuns final {
public:
    void assign(int first, int last, std::uint32_t value);
    void erase(int first, int last);
    // Drops everything at column n and beyond.
    void truncate(int n);
    [[nodiscard]] std::optional<std::uint32_t> find(int col) const noexcept;
    [[nodiscard]] bool empty() const noexcept { return m_runs.empty(); }
    // Whether any run overlaps first .. last.
    [[nodiscard]] bool overlaps(int first, int last) const noexcept;

private:
    struct Run {
        int first;
        int last;
        std::uint32_t value;
    };
    std::vector<Run> m_runs;
};

}  // namespace dlv
