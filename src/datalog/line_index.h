#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dlv {

// The take store's per-line index in 10 bytes a line: where the line starts in
// the file, where its comma anchors start in the anchor table, and 16 bits of
// small facts (its widest shown value, its comma count mod 8). Both positions
// are 64-bit values that never decrease from one line to the next, so only
// their low 32 bits are kept per line; the high parts are found from the few
// lines at which they step up (one step per 4 GiB of file), so files and
// lines over 4 GiB are right. Lookups are O(1) below 4 GiB, O(log steps) above.
class LineIndex final {
public:
    // Appends the entry of the next line; start and anchorBase must not be
    // below those of the entry before.
    // Once per line of a log read: the steps, once per 4 GiB, are out of line.
    [[gnu::always_inline]] void push(std::uint64_t start, std::uint64_t anchorBase, std::uint16_t facts)
    {
        if ((start >> 32) > m_startSteps.size() || (anchorBase >> 32) > m_baseSteps.size()) [[unlikely]]
            stepUp(start, anchorBase);
        m_entries.push_back(Entry{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(anchorBase), facts});
    }

    [[nodiscard]] std::uint64_t start(std::size_t i) const noexcept
    {
        return high(m_startSteps, i) | m_entries[i].start;
    }
    [[nodiscard]] std::uint64_t anchorBase(std::size_t i) const noexcept
    {
        return high(m_baseSteps, i) | m_entries[i].anchorBase;
    }
    [[nodiscard]] std::uint16_t facts(std::size_t i) const noexcept { return m_entries[i].facts; }
    [[nodiscard]] std::size_t size() const noexcept { return m_entries.size(); }
    [[nodiscard]] bool empty() const noexcept { return m_entries.empty(); }
    // Bytes held, for memory estimates.
    [[nodiscard]] std::size_t capacityBytes() const noexcept { return m_entries.capacity() * sizeof(Entry); }

    void reserve(std::size_t entries) { m_entries.reserve(entries); }
    void shrinkToFit() { m_entries.shrink_to_fit(); }

    // Appends the first `count` entries of other, its anchor bases lowered by
    // baseShift: the merge of indexes built in parts.
    void append(const LineIndex& other, std::size_t count, std::uint64_t baseShift)
    {
        if (m_startSteps.empty() && m_baseSteps.empty() && other.m_startSteps.empty() && other.m_baseSteps.empty() &&
            baseShift == 0) {
            m_entries.insert(m_entries.end(), other.m_entries.begin(), other.m_entries.begin() + static_cast<std::ptrdiff_t>(count));
            return;
        }
        for (std::size_t i = 0; i < count; ++i)
            push(other.start(i), other.anchorBase(i) - baseShift, other.facts(i));
    }

    // The last line whose start is at or before pos; lines must exist and the
    // first start at or before pos.
    [[nodiscard]] std::size_t lineAt(std::uint64_t pos) const noexcept
    {
        std::size_t low = 0;
        std::size_t high = m_entries.size();
        while (high - low > 1) {
            const std::size_t mid = low + (high - low) / 2;
            (start(mid) <= pos ? low : high) = mid;
        }
        return low;
    }

private:
    struct [[gnu::packed]] Entry {
        std::uint32_t start;
        std::uint32_t anchorBase;
        std::uint16_t facts;
    };
    static_assert(sizeof(Entry) == 10);

    [[gnu::noinline]] void stepUp(std::uint64_t start, std::uint64_t anchorBase)
    {
        stepTo(m_startSteps, start >> 32);
        stepTo(m_baseSteps, anchorBase >> 32);
    }

    // steps[k] is the first entry whose value is at least (k + 1) * 2^32.
    void stepTo(std::vector<std::size_t>& steps, std::uint64_t highPart)
    {
        while (steps.size() < highPart)
            steps.push_back(m_entries.size());
    }
    [[nodiscard]] static std::uint64_t high(const std::vector<std::size_t>& steps, std::size_t i) noexcept
    {
        if (steps.empty()) [[likely]]
            return 0;
        return static_cast<std::uint64_t>(std::upper_bound(steps.begin(), steps.end(), i) - steps.begin()) << 32;
    }

    std::vector<Entry> m_entries;
    std::vector<std::size_t> m_startSteps;
    std::vector<std::size_t> m_baseSteps;
};

}  // namespace dlv
