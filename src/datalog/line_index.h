#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "datalog/huge_pages.h"

namespace dlv {

// The take store's per-line index: where each line starts in the file, where
// its comma anchors start in the anchor table, and 16 bits of small facts
// (its widest shown value, its comma count mod 8). Lines come in groups of
// kGroup: a group keeps its first line's two positions whole (16 bytes) and
// each line its two positions as 16-bit steps from them, with its facts
// (6 bytes), so 6.25 bytes a line. A group whose lines lie further apart
// than 16 bits reach (lines of about 1 KiB and more) keeps its lines' two
// positions whole instead, in 16 more bytes a line. Both positions are
// 64-bit and never decrease from one line to the next. Lookups are O(1).
class LineIndex final {
public:
    static constexpr std::size_t kGroup = 64;

    // Appends the entry of the next line; start and anchorBase must not be
    // below those of the entry before.
    // Once per line of a log read: a group kept whole is the exception.
    [[gnu::always_inline]] void push(std::uint64_t start, std::uint64_t anchorBase, std::uint16_t facts)
    {
        if (m_entries.size() % kGroup == 0) [[unlikely]]
            m_groups.push_back(Group{start, anchorBase});
        const Group& group = m_groups.back();
        const std::uint64_t startStep = start - group.start;
        const std::uint64_t baseStep = anchorBase - group.anchorBase;
        if (((startStep | baseStep) >> 16) != 0) [[unlikely]] {
            pushWhole(start, anchorBase, facts);
            return;
        }
        m_entries.push_back(Entry{static_cast<std::uint16_t>(startStep), static_cast<std::uint16_t>(baseStep), facts});
    }

    [[nodiscard]] std::uint64_t start(std::size_t i) const noexcept
    {
        const Group& group = m_groups[i / kGroup];
        if (group.start & kWhole) [[unlikely]]
            return m_whole[group.anchorBase + i % kGroup].start;
        return group.start + m_entries[i].start;
    }
    [[nodiscard]] std::uint64_t anchorBase(std::size_t i) const noexcept
    {
        const Group& group = m_groups[i / kGroup];
        if (group.start & kWhole) [[unlikely]]
            return m_whole[group.anchorBase + i % kGroup].anchorBase;
        return group.anchorBase + m_entries[i].anchorBase;
    }
    [[nodiscard]] std::uint16_t facts(std::size_t i) const noexcept { return m_entries[i].facts; }
    [[nodiscard]] std::size_t size() const noexcept { return m_entries.size(); }
    [[nodiscard]] bool empty() const noexcept { return m_entries.empty(); }
    // Bytes held, for memory estimates.
    [[nodiscard]] std::size_t capacityBytes() const noexcept
    {
        return m_entries.capacity() * sizeof(Entry) + m_groups.capacity() * sizeof(Group) +
               m_whole.capacity() * sizeof(Whole);
    }
    // What the index of that many lines holds at least, in bytes.
    [[nodiscard]] static constexpr std::size_t bytesFor(std::size_t lines) noexcept
    {
        return lines * sizeof(Entry) + (lines + kGroup - 1) / kGroup * sizeof(Group);
    }

    void reserve(std::size_t entries)
    {
        m_entries.reserve(entries);
        m_groups.reserve((entries + kGroup - 1) / kGroup);
    }
    // Empties the index, keeping its memory for the next one built in it.
    void clear() noexcept
    {
        m_entries.clear();
        m_groups.clear();
        m_whole.clear();
    }
    void shrinkToFit()
    {
        m_entries.shrink_to_fit();
        m_groups.shrink_to_fit();
        m_whole.shrink_to_fit();
    }

    // Appends the first `count` entries of other, its anchor bases lowered by
    // baseShift: the merge of indexes built in parts.
    void append(const LineIndex& other, std::size_t count, std::uint64_t baseShift)
    {
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
    // A group's first line, or with kWhole set in start, where its lines
    // begin in m_whole (in anchorBase). No file reaches 2^63 bytes.
    struct Group {
        std::uint64_t start;
        std::uint64_t anchorBase;
    };
    struct [[gnu::packed]] Entry {
        std::uint16_t start;
        std::uint16_t anchorBase;
        std::uint16_t facts;
    };
    static_assert(sizeof(Entry) == 6);
    struct Whole {
        std::uint64_t start;
        std::uint64_t anchorBase;
    };
    static constexpr std::uint64_t kWhole = std::uint64_t{1} << 63;

    // The last group kept whole from here on: its lines so far moved to
    // m_whole, then this one.
    [[gnu::noinline]] void pushWhole(std::uint64_t start, std::uint64_t anchorBase, std::uint16_t facts)
    {
        Group& group = m_groups.back();
        const std::size_t first = (m_entries.size() / kGroup) * kGroup;
        if (!(group.start & kWhole)) {
            const std::size_t at = m_whole.size();
            for (std::size_t i = first; i < m_entries.size(); ++i)
                m_whole.push_back(Whole{group.start + m_entries[i].start, group.anchorBase + m_entries[i].anchorBase});
            group = Group{kWhole, at};
        }
        m_whole.push_back(Whole{start, anchorBase});
        m_entries.push_back(Entry{0, 0, facts});
    }

    // Hundreds of MB for a big log, its pages handed out as huge ones.
    std::vector<Entry, HugePageAllocator<Entry>> m_entries;
    std::vector<Group, HugePageAllocator<Group>> m_groups;
    std::vector<Whole, HugePageAllocator<Whole>> m_whole;
};

}  // namespace dlv
