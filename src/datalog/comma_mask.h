#pragma once

#include "datalog/byte_buffer.h"
#include "datalog/wide_instructions.h"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(DLV_WIDE_INSTRUCTIONS)
#include <immintrin.h>
#endif

namespace dlv {

// The bits of a comma mask that belong to a line with `remaining` bytes
// from the mask's first byte on.
[[nodiscard]] [[gnu::always_inline]] inline std::uint64_t inLineBits(std::size_t remaining) noexcept
{
    return remaining >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << remaining) - 1;
}

// Bit i set where bytes[i] is a comma, for the up to 64 bytes from bytes on
// (remaining of them belong to the line). Loads 64 bytes whatever remains:
// a store's bytes lie in a ByteBuffer, followed by at least 64 bytes of
// padding, so the loads stay inside it; bits past the line are cleared.
[[nodiscard]] inline std::uint64_t commaMask(const char* bytes, std::size_t remaining) noexcept
{
    static_assert(ByteBuffer::kPadding >= 64);
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(',');
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k)
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k)), comma))))
                << (16 * k);
    return inLineBits(remaining) & mask;
#else
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < remaining && i < 64; ++i)
        mask |= std::uint64_t{bytes[i] == ','} << i;
    return mask;
#endif
}

#if defined(DLV_WIDE_INSTRUCTIONS)
// commaMask with AVX2, two 32-byte compares in place of four: a fifth less
// time for finding the fields of a tall log's column.
DLV_WIDE_INSTRUCTIONS [[nodiscard]] [[gnu::always_inline]] inline std::uint64_t commaMaskWide(const char* bytes,
                                                                                             std::size_t remaining) noexcept
{
    static_assert(ByteBuffer::kPadding >= 64);
    const __m256i comma = _mm256_set1_epi8(',');
    const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)), comma)));
    const auto high = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32)), comma)));
    return inLineBits(remaining) & ((std::uint64_t{high} << 32) | low);
}
#endif

}  // namespace dlv
