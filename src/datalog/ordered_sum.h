#pragma once

#include <cmath>
#include <cstdint>

namespace dlv {

// The sum behind every average the program shows: the numbers added as
// doubles, one after the other in take order, each addition rounded to
// double, so an average is exactly sum / count as its definition reads.
// Beside it runs the same sum scaled by 2^-64, which no finite inputs can
// overflow; it is used only once the plain sum has overflowed. 16 bytes,
// two additions and one exact multiplication per number. Inputs must be
// finite.
class OrderedSum final {
public:
    constexpr OrderedSum() noexcept = default;
    // A sum that starts at value, as if value had been added first.
    constexpr OrderedSum(double value) noexcept : m_sum(value), m_scaled(value * kScale) {}

    void add(double value) noexcept
    {
        m_sum += value;
        m_scaled += value * kScale;
    }
    OrderedSum& operator+=(double value) noexcept
    {
        add(value);
        return *this;
    }

    // Both sums as they stand, and a sum that goes on from them: for passes
    // that keep many sums side by side in vector lanes.
    [[nodiscard]] constexpr double scaled() const noexcept { return m_scaled; }
    [[nodiscard]] static constexpr OrderedSum resumed(double plain, double scaled) noexcept
    {
        OrderedSum sum;
        sum.m_sum = plain;
        sum.m_scaled = scaled;
        return sum;
    }
    // What add does to the scaled sum: value times this, exactly.
    static constexpr double kScale = 0x1p-64;

    // The plain double sum (infinite or NaN once it has overflowed).
    [[nodiscard]] constexpr double plain() const noexcept { return m_sum; }
    explicit constexpr operator double() const noexcept { return m_sum; }
    [[nodiscard]] bool overflowed() const noexcept { return !std::isfinite(m_sum); }

    // sum / count; count must be positive. After an overflow the scaled sum
    // gives the average, which, being an average of doubles, is itself
    // within double range: a last rounding step past the largest double is
    // pulled back to it.
    [[nodiscard]] double mean(std::int64_t count) const noexcept
    {
        const double n = static_cast<double>(count);
        if (!overflowed())
            return m_sum / n;
        const double mean = m_scaled / n * kUp;
        if (std::isinf(mean))
            return std::copysign(1.7976931348623157e308, mean);
        return mean;
    }

private:
    static constexpr double kUp = 0x1p64;

    double m_sum = 0.0;
    double m_scaled = 0.0;
};

}  // namespace dlv
