#pragma once

#include <cstdint>

namespace dlv {

// The looks of a row of the general data grid. A row is bookmarked when the
// back colour of its name cell (column 0) reads kBookmarkBack; colours are
// 24-bit numbers in blue-green-red order.
inline constexpr std::uint32_t kBookmarkBack = 255;          // red
inline constexpr std::uint32_t kBookmarkText = 0xFFFFFF;     // white, bold
inline constexpr std::uint32_t kClearedBack = 0xFFFFFF;      // white
inline constexpr std::uint32_t kClearedText = 0;             // black, regular
inline constexpr std::uint32_t kClearedNameBack = 0x8000000F;  // button face

[[nodiscard]] constexpr bool isBookmarked(std::uint32_t nameCellBack) noexcept
{
    return nameCellBack == kBookmarkBack;
}

}  // namespace dlv
