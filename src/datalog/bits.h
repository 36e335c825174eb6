#pragma once

#include <cstdint>

namespace dlv {

// Set bits of x. Without POPCNT in the target (the default for x86-64) the
// builtin becomes a library call, slower than these few operations.
[[nodiscard]] [[gnu::always_inline]] inline unsigned countBits(std::uint64_t x) noexcept
{
#if defined(__POPCNT__) || !defined(__x86_64__)
    return static_cast<unsigned>(__builtin_popcountll(x));
#else
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
#endif
}

// countBits for a loop built twice (see wide_instructions.h): in the copy
// built with POPCNT, kPopcnt, the builtin is that one instruction.
template <bool kPopcnt>
[[nodiscard]] [[gnu::always_inline]] inline unsigned countBitsWith(std::uint64_t x) noexcept
{
    if constexpr (kPopcnt)
        return static_cast<unsigned>(__builtin_popcountll(x));
    else
        return countBits(x);
}

}  // namespace dlv
