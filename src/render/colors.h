#pragma once

#include <QColor>

#include <cstdint>

namespace dlv {

// The window's colours as 24-bit numbers in blue-green-red order: 255 is
// red, 0xFF0000 blue, 0xFFFFFF white, 0 black.
using GridColor = std::uint32_t;
// Stands for the palette's button-face colour.
inline constexpr GridColor kButtonFace = 0x8000000F;
inline constexpr GridColor kBlack = 0;
inline constexpr GridColor kBlue = 0xFF0000;

// The looks of a row of the general data grid. A row is bookmarked when the
// back colour of its name cell (column 0) reads kBookmarkBack.
inline constexpr GridColor kBookmarkBack = 255;             // red
inline constexpr GridColor kBookmarkText = 0xFFFFFF;        // white, bold
inline constexpr GridColor kClearedBack = 0xFFFFFF;         // white
inline constexpr GridColor kClearedText = 0;                // black, regular
inline constexpr GridColor kClearedNameBack = kButtonFace;

[[nodiscard]] constexpr bool isBookmarked(GridColor nameCellBack) noexcept
{
    return nameCellBack == kBookmarkBack;
}

// The one conversion to Qt's colours; buttonFace is what kButtonFace stands for.
[[nodiscard]] inline QColor toQColor(GridColor color, const QColor& buttonFace)
{
    if (color == kButtonFace)
        return buttonFace;
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

}  // namespace dlv
