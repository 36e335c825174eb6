#include "views/blm_tint.h"

#include "datalog/number.h"
#include "views/blm_table.h"

#include <algorithm>
#include <cmath>

namespace dlv {

namespace {

std::uint8_t mixChannel(std::uint8_t from, std::uint8_t to, double t) noexcept
{
    const double value = from + (static_cast<double>(to) - from) * t;
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}

}  // namespace

Rgb blmTint(double average, bool faded) noexcept
{
    if (std::isnan(average))
        return kBlmWhite;
    const double distance = average - kBlmNeutral;
    double t = std::min(std::fabs(distance) / kBlmFullTintDistance, 1.0);
    if (faded)
        t *= 0.5;
    const Rgb& hue = distance < 0 ? kBlmRemovingFuel : kBlmAddingFuel;
    return Rgb{mixChannel(kBlmWhite.r, hue.r, t), mixChannel(kBlmWhite.g, hue.g, t), mixChannel(kBlmWhite.b, hue.b, t)};
}

std::optional<Rgb> blmCellTint(const BlmCell& cell) noexcept
{
    const std::optional<double> average = blmCellAverage(cell);
    if (!average)
        return std::nullopt;
    return blmTint(*average, cell.hits < kBlmFewTakes);
}

std::string blmToolTip(std::int64_t hits, double min, double max)
{
    if (hits <= 0)
        return "No takes";
    return "Takes: " + std::to_string(hits) + "\nBLM min " + formatPlain(min, ".") + ", max " + formatPlain(max, ".");
}

std::string blmCellToolTip(const BlmCell& cell)
{
    return blmToolTip(cell.hits, cell.min, cell.max);
}

}  // namespace dlv
