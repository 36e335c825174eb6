#pragma once

#include "views/blm_tint.h"

#include <optional>
#include <span>
#include <vector>

namespace dlv {

// How the cells of a workbench table are tinted behind their values. Two
// scales, both readable with the common colour-vision deficiencies:
// - diverging around a centre (the table's target): white at the centre,
//   towards orange #E66101 below it and purple #5E3C99 above it (the BLM
//   tab's pair), full colour at the largest distance from the centre among
//   the table's values;
// - sequential (no centre): nearly white at the table's smallest value to blue
//   #4393C3 at its largest.
// A faded cell (fewer takes than minHits) is mixed half as far from white.
struct TintScale {
    std::optional<double> center;  // set: diverging
    double low = 0.0;              // sequential: smallest value
    double high = 0.0;             // sequential: largest value
    double halfRange = 0.0;        // diverging: largest |value - center|
};

inline constexpr Rgb kSequentialFull{0x43, 0x93, 0xC3};

// The scale for a table's values (NaN values are ignored).
[[nodiscard]] TintScale tintScaleFor(std::span<const double> values, std::optional<double> center) noexcept;

// The tint of one value on the scale; nullopt for NaN (the cell keeps the
// grid's plain background).
[[nodiscard]] std::optional<Rgb> tableTint(double value, const TintScale& scale, bool faded) noexcept;

// The tints of differences (B - A, or its percent) by their sign, on the
// diverging scale around 0: orange below, purple above, white at 0, full
// colour at the largest |value| among them. nullopt for NaN (no difference).
// O(values).
[[nodiscard]] std::vector<std::optional<Rgb>> differenceTints(std::span<const double> values);

}  // namespace dlv
