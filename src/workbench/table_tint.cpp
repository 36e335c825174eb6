#include "workbench/table_tint.h"

#include <algorithm>
#include <cmath>

namespace dlv {

namespace {

std::uint8_t mixChannel(std::uint8_t from, std::uint8_t to, double t) noexcept
{
    const double value = from + (static_cast<double>(to) - from) * t;
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}

Rgb fromWhite(const Rgb& hue, double t) noexcept
{
    return Rgb{mixChannel(255, hue.r, t), mixChannel(255, hue.g, t), mixChannel(255, hue.b, t)};
}

constexpr double kSequentialFloor = 0.08;

}  // namespace

TintScale tintScaleFor(std::span<const double> values, std::optional<double> center) noexcept
{
    TintScale scale;
    if (center && !std::isfinite(*center))
        center.reset();
    scale.center = center;
    bool any = false;
    for (const double v : values) {
        if (!std::isfinite(v))
            continue;
        scale.low = any ? std::min(scale.low, v) : v;
        scale.high = any ? std::max(scale.high, v) : v;
        if (center)
            scale.halfRange = std::max(scale.halfRange, std::fabs(v - *center));
        any = true;
    }
    return scale;
}

std::optional<Rgb> tableTint(double value, const TintScale& scale, bool faded) noexcept
{
    if (std::isnan(value))
        return std::nullopt;
    double t = 0.0;
    Rgb hue = kSequentialFull;
    if (scale.center) {
        const double distance = value - *scale.center;
        t = scale.halfRange > 0.0 ? std::fabs(distance) / scale.halfRange : 0.0;
        hue = distance < 0 ? kBlmRemovingFuel : kBlmAddingFuel;
    } else {
        const double span = scale.high - scale.low;
        t = span > 0.0 ? (value - scale.low) / span : 0.0;
        // The smallest value keeps a trace of colour, apart from empty cells.
        t = kSequentialFloor + (1.0 - kSequentialFloor) * std::clamp(t, 0.0, 1.0);
    }
    t = std::clamp(t, 0.0, 1.0);
    if (faded)
        t *= 0.5;
    return fromWhite(hue, t);
}

std::vector<std::optional<Rgb>> differenceTints(std::span<const double> values)
{
    const TintScale scale = tintScaleFor(values, 0.0);
    std::vector<std::optional<Rgb>> tints;
    tints.reserve(values.size());
    for (const double value : values)
        tints.push_back(tableTint(value, scale, false));
    return tints;
}

}  // namespace dlv
