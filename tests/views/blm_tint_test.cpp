#include "views/blm_table.h"
#include "views/blm_tint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace dlv {
namespace {

int distanceFromWhite(const Rgb& c)
{
    return (255 - c.r) + (255 - c.g) + (255 - c.b);
}

BlmCell cellOf(std::int64_t hits, double average, double min, double max)
{
    BlmCell cell;
    cell.hits = hits;
    cell.sum = static_cast<long double>(average) * hits;
    cell.min = min;
    cell.max = max;
    return cell;
}

TEST(BlmTint, NeutralAverageIsWhite)
{
    EXPECT_EQ(blmTint(128.0), kBlmWhite);
    EXPECT_EQ(blmTint(128.0, true), kBlmWhite);
}

TEST(BlmTint, SidesGoToTheirOwnHue)
{
    EXPECT_EQ(blmTint(108.0), kBlmRemovingFuel);
    EXPECT_EQ(blmTint(148.0), kBlmAddingFuel);
    // Orange is red-heavy, purple blue-heavy: the sides must not be swapped.
    const Rgb below = blmTint(120.0);
    const Rgb above = blmTint(136.0);
    EXPECT_GT(below.r, below.b);
    EXPECT_GT(above.b, above.r);
}

TEST(BlmTint, ClampedBeyondTwentyFromNeutral)
{
    EXPECT_EQ(blmTint(0.0), kBlmRemovingFuel);
    EXPECT_EQ(blmTint(-1e300), kBlmRemovingFuel);
    EXPECT_EQ(blmTint(255.0), kBlmAddingFuel);
    EXPECT_EQ(blmTint(std::numeric_limits<double>::infinity()), kBlmAddingFuel);
    EXPECT_EQ(blmTint(-std::numeric_limits<double>::infinity()), kBlmRemovingFuel);
}

TEST(BlmTint, NotANumberIsWhite)
{
    EXPECT_EQ(blmTint(std::nan("")), kBlmWhite);
}

TEST(BlmTint, EveryChannelMovesOneWayAwayFromNeutral)
{
    for (const int direction : {-1, 1}) {
        const Rgb hue = direction < 0 ? kBlmRemovingFuel : kBlmAddingFuel;
        Rgb previous = kBlmWhite;
        for (int step = 1; step <= 40; ++step) {
            const Rgb now = blmTint(128.0 + direction * step * 0.5);
            // Each channel heads from 255 towards the hue's and never back.
            EXPECT_LE(std::abs(now.r - hue.r), std::abs(previous.r - hue.r)) << direction << " " << step;
            EXPECT_LE(std::abs(now.g - hue.g), std::abs(previous.g - hue.g)) << direction << " " << step;
            EXPECT_LE(std::abs(now.b - hue.b), std::abs(previous.b - hue.b)) << direction << " " << step;
            EXPECT_GE(distanceFromWhite(now), distanceFromWhite(previous));
            previous = now;
        }
        EXPECT_EQ(previous, hue);
    }
}

TEST(BlmTint, HalfwayIsHalfMixed)
{
    const Rgb half = blmTint(118.0);
    EXPECT_EQ(half, (Rgb{0xF3, 0xB0, 0x80}));  // (255 + E6) / 2, (255 + 61) / 2, (255 + 01) / 2
}

TEST(BlmTint, FadedIsHalfwayTowardsWhite)
{
    EXPECT_EQ(blmTint(100.0, true), blmTint(118.0));
    EXPECT_EQ(blmTint(160.0, true), blmTint(138.0));
    EXPECT_LT(distanceFromWhite(blmTint(140.0, true)), distanceFromWhite(blmTint(140.0)));
}

TEST(BlmTint, Rgb24PacksRedHigh)
{
    EXPECT_EQ(kBlmRemovingFuel.rgb24(), 0xE66101U);
    EXPECT_EQ(kBlmAddingFuel.rgb24(), 0x5E3C99U);
}

TEST(BlmCellTint, EmptyCellHasNoTint)
{
    EXPECT_FALSE(blmCellTint(BlmCell{}).has_value());
}

TEST(BlmCellTint, FewerThanTenTakesIsFaded)
{
    EXPECT_EQ(blmCellTint(cellOf(9, 100.0, 90, 110)), blmTint(100.0, true));
    EXPECT_EQ(blmCellTint(cellOf(10, 100.0, 90, 110)), blmTint(100.0, false));
}

TEST(BlmCellTint, UsesTheShownRoundedAverage)
{
    // 127.5 shows as 128 (half to even): the tint must agree with the text.
    EXPECT_EQ(blmCellTint(cellOf(20, 127.5, 127, 128)), kBlmWhite);
}

TEST(BlmToolTip, CountsAndRange)
{
    EXPECT_EQ(blmToolTip(57, 121, 135), "Takes: 57\nBLM min 121, max 135");
    EXPECT_EQ(blmCellToolTip(cellOf(3, 120.25, 119.5, 121)), "Takes: 3\nBLM min 119.5, max 121");
}

TEST(BlmToolTip, NoTakes)
{
    EXPECT_EQ(blmToolTip(0, 0, 0), "No takes");
    EXPECT_EQ(blmCellToolTip(BlmCell{}), "No takes");
}

}  // namespace
}  // namespace dlv
