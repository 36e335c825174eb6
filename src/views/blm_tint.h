#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dlv {

struct BlmCell;

// How a BLM table cell is tinted behind its average. BLM 128 means the engine
// computer neither adds nor removes fuel and is drawn white. Below 128 it is
// taking fuel away: the cell moves towards orange #E66101. Above 128 it is
// adding fuel: the cell moves towards purple #5E3C99. The pair is the ends
// of the orange-purple diverging scale, which stays readable for the common
// colour-vision deficiencies. The colour is mixed linearly from white by
// |average - 128| / 20, so 108 and below are full orange and 148 and above
// full purple.
//
// A cell fed by fewer than kBlmFewTakes takes is drawn "faded": mixed only half
// as far from white (full strength there is halfway between white and the
// hue), so a shaky average does not stand out as much as a solid one.

inline constexpr double kBlmNeutral = 128.0;
inline constexpr double kBlmFullTintDistance = 20.0;
inline constexpr std::int64_t kBlmFewTakes = 10;

struct Rgb {
    std::uint8_t r = 255;
    std::uint8_t g = 255;
    std::uint8_t b = 255;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
    // 0xRRGGBB.
    [[nodiscard]] constexpr std::uint32_t rgb24() const noexcept {
        return (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | std::uint32_t{b};
    }
};

inline constexpr Rgb kBlmWhite{255, 255, 255};
inline constexpr Rgb kBlmRemovingFuel{0xE6, 0x61, 0x01};  // orange, BLM below 128
inline constexpr Rgb kBlmAddingFuel{0x5E, 0x3C, 0x99};    // purple, BLM above 128

// The tint for a BLM average (any value; clamped at 128 +- 20). A NaN gives
// white. faded: the variant for a cell backed by few takes.
[[nodiscard]] Rgb blmTint(double average, bool faded = false) noexcept;

// The tint of a table cell from its rounded average (the number the cell
// shows), faded when hits < kBlmFewTakes; nullopt for a cell without takes,
// which keeps the grid's plain background.
[[nodiscard]] std::optional<Rgb> blmCellTint(const BlmCell& cell) noexcept;

// Tooltip of a cell, two lines joined by LF:
//   "Takes: 57\nBLM min 121, max 135"
// numbers in plain decimal ("121", "120.5"); a cell without takes reads
// "No takes". min and max are only read when hits > 0.
[[nodiscard]] std::string blmToolTip(std::int64_t hits, double min, double max);
[[nodiscard]] std::string blmCellToolTip(const BlmCell& cell);

}  // namespace dlv
