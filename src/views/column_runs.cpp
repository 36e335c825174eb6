#include "views/column_runs.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace dlv {

void ColumnRuns::assign(int first, int last, std::uint32_t value)
{
    if (first > last)
        return;
    // Runs [lo, hi) overlap first..last; a neighbour touching it with the same
    // value is taken in too, so that runs built cell by cell stay one run.
    auto lo = std::lower_bound(m_runs.begin(), m_runs.end(), first,
                               [](const Run& run, int col) { return run.last < col; });
    if (lo != m_runs.begin() && std::prev(lo)->last == first - 1 && std::prev(lo)->value == value)
        --lo;
    auto hi = lo;
    while (hi != m_runs.end() && hi->first <= last)
        ++hi;
    if (hi != m_runs.end() && hi->first == last + 1 && hi->value == value)
        ++hi;

    Run pieces[3];
    int count = 0;
    Run middle{first, last, value};
    if (lo != hi) {
        const Run head = *lo;
        const Run tail = *std::prev(hi);
        if (head.first < first) {
            if (head.value == value)
                middle.first = head.first;
            else
                pieces[count++] = Run{head.first, first - 1, head.value};
        }
        pieces[count++] = middle;
        if (tail.last > last) {
            if (tail.value == value)
                pieces[count - 1].last = tail.last;
            else
                pieces[count++] = Run{last + 1, tail.last, tail.value};
        }
    } else {
        pieces[count++] = middle;
    }

    const auto replaced = static_cast<int>(hi - lo);
    const auto at = lo - m_runs.begin();
    if (count <= replaced) {
        std::copy(pieces, pieces + count, lo);
        m_runs.erase(lo + count, hi);
    } else {
        std::copy(pieces, pieces + replaced, lo);
        m_runs.insert(m_runs.begin() + at + replaced, pieces + replaced, pieces + count);
    }
}

void ColumnRuns::erase(int first, int last)
{
    if (first > last)
        return;
    auto lo = std::lower_bound(m_runs.begin(), m_runs.end(), first,
                               [](const Run& run, int col) { return run.last < col; });
    auto hi = lo;
    while (hi != m_runs.end() && hi->first <= last)
        ++hi;
    if (lo == hi)
        return;
    Run pieces[2];
    int count = 0;
    const Run head = *lo;
    const Run tail = *std::prev(hi);
    if (head.first < first)
        pieces[count++] = Run{head.first, first - 1, head.value};
    if (tail.last > last)
        pieces[count++] = Run{last + 1, tail.last, tail.value};
    const auto replaced = static_cast<int>(hi - lo);
    const auto at = lo - m_runs.begin();
    if (count <= replaced) {
        std::copy(pieces, pieces + count, lo);
        m_runs.erase(lo + count, hi);
    } else {  // one run split in two
        *lo = pieces[0];
        m_runs.insert(m_runs.begin() + at + 1, pieces[1]);
    }
}

void ColumnRuns::truncate(int n)
{
    erase(n, INT_MAX);
}

std::optional<std::uint32_t> ColumnRuns::find(int col) const noexcept
{
    const auto it = std::lower_bound(m_runs.begin(), m_runs.end(), col,
                                     [](const Run& run, int c) { return run.last < c; });
    if (it == m_runs.end() || it->first > col)
        return std::nullopt;
    return it->value;
}

bool ColumnRuns::overlaps(int first, int last) const noexcept
{
    const auto it = std::lower_bound(m_runs.begin(), m_runs.end(), first,
                                     [](const Run& run, int c) { return run.last < c; });
    return it != m_runs.end() && it->first <= last;
}

}  // namespace dlv
