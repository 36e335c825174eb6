// The chart arithmetic: ticks, fitted ranges, the time axis, the pane stack,
// colours, the filter's spans and the scatter raster.
#include "charts/chart_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace dlv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ChartTicks, StepsAreOneTwoOrFiveTimesAPowerOfTenAndStayInRange)
{
    const AxisTicks rpm = niceTicks({0.0, 3200.0}, 5);
    EXPECT_EQ(rpm.values, (std::vector<double>{0.0, 1000.0, 2000.0, 3000.0}));
    EXPECT_EQ(rpm.decimals, 0);

    const AxisTicks battery = niceTicks({13.465, 14.235}, 6);
    ASSERT_GE(battery.values.size(), 2u);
    EXPECT_LE(battery.values.size(), 6u);
    EXPECT_DOUBLE_EQ(battery.step, 0.2);
    EXPECT_EQ(battery.decimals, 1);
    for (const double v : battery.values) {
        EXPECT_GE(v, 13.465);
        EXPECT_LE(v, 14.235);
    }
    EXPECT_EQ(tickLabel(battery.values.front(), battery.decimals, ","), "13,6");

    const AxisTicks around0 = niceTicks({-0.3, 0.3}, 4);
    EXPECT_EQ(tickLabel(around0.values[1], around0.decimals), "0.0");
    EXPECT_EQ(tickLabel(-0.0001, 1), "0.0") << "no negative zero";
    EXPECT_TRUE(niceTicks({}, 5).values.empty());
    EXPECT_TRUE(niceTicks({0.0, std::numeric_limits<double>::infinity()}, 5).values.empty());
}

TEST(ChartRanges, AVoltageNearFourteenFillsItsPaneInsteadOfStartingAtZero)
{
    std::vector<double> battery;
    for (int t = 0; t < 1000; ++t)
        battery.push_back(t % 3 == 0 ? kNaN : 13.5 + 0.7 * ((t * 37) % 100) / 99.0);
    const CurveEnvelope envelope = CurveEnvelope::build(std::span<const double>(battery), 0.0, 999.0, 300);
    const ValueRange shown = paddedRange(envelopeRange(envelope));
    EXPECT_NEAR(shown.low, 13.5 - 0.035, 1e-9);
    EXPECT_NEAR(shown.high, 14.2 + 0.035, 1e-9);
    // 13.5 near the bottom and 14.2 near the top of a 100-pixel pane.
    EXPECT_NEAR(axisPixel(13.5, shown, 100.0, true), 95.45, 0.01);
    EXPECT_NEAR(axisPixel(14.2, shown, 100.0, true), 4.55, 0.01);

    EXPECT_EQ(paddedRange({5.0, 5.0}), (ValueRange{4.5, 5.5}));
    EXPECT_EQ(paddedRange({200.0, 200.0}), (ValueRange{190.0, 210.0}));
    EXPECT_EQ(paddedRange({}), (ValueRange{0.0, 1.0}));
    EXPECT_EQ(columnRange(battery, 1, 2).low, std::min(battery[1], battery[2]));
    EXPECT_TRUE(columnRange(battery, 3, 3).empty()) << "take 3 has no number";
}

TEST(ChartRanges, AZoomedEnvelopeFitsOnlyTheTakesInView)
{
    std::vector<double> values(100, 1.0);
    values[90] = 1000.0;
    const ValueRange zoomed = envelopeRange(CurveEnvelope::build(std::span<const double>(values), 0.0, 50.0, 40));
    EXPECT_EQ(zoomed, (ValueRange{1.0, 1.0}));
}

TEST(ChartTimeAxis, TimeIsUsedOnlyWhenEveryTakeHasANumberThatNeverRunsBack)
{
    EXPECT_TRUE(isTimeColumn(std::vector<double>{0.0, 0.1, 0.1, 0.3}));
    EXPECT_FALSE(isTimeColumn(std::vector<double>{0.0, kNaN, 0.2}));
    EXPECT_FALSE(isTimeColumn(std::vector<double>{0.0, 0.5, 0.2}));
    EXPECT_FALSE(isTimeColumn(std::vector<double>{}));
}

TEST(ChartTimeAxis, TicksSitWhereTheTimeReachesThem)
{
    std::vector<double> time;
    for (int t = 0; t <= 1500; ++t)
        time.push_back(t * 0.1);
    const std::vector<XTick> ticks = timeTicks(time, 0.0, 1500.0, 8);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.front().label, "0");
    EXPECT_NEAR(ticks[1].x, 200.0, 1e-6);
    EXPECT_EQ(ticks[1].label, "20");

    // Uneven steps: 2 s lies half-way between takes 1 (1 s) and 2 (3 s).
    const std::vector<double> uneven{0.0, 1.0, 3.0, 6.0};
    EXPECT_DOUBLE_EQ(timeAt(uneven, 1.5), 2.0);
    bool found = false;
    for (const XTick& tick : timeTicks(uneven, 0.0, 3.0, 6))
        if (tick.label == "2") {
            EXPECT_DOUBLE_EQ(tick.x, 1.5);
            found = true;
        }
    EXPECT_TRUE(found);

    for (const XTick& tick : takeTicks(10.0, 14.0, 8))
        EXPECT_EQ(tick.x, std::floor(tick.x)) << "take ticks fall on whole takes";
}

TEST(ChartStack, PanesShareTheHeightEquallyWithoutOverlapping)
{
    const std::vector<bool> footers{false, false, true, true};
    const PaneStackMetrics m;
    const std::vector<PaneBox> boxes = stackPanes(600, footers, m);
    ASSERT_EQ(boxes.size(), 4u);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].plotHeight, boxes[0].plotHeight);
        EXPECT_EQ(boxes[i].plotTop, boxes[i].top + m.legendPx);
        if (i > 0) {
            EXPECT_EQ(boxes[i].top, boxes[i - 1].bottom + m.gapPx);
        }
    }
    EXPECT_LE(boxes.back().bottom, 600);
    EXPECT_GT(boxes.back().bottom, 600 - 4);
    EXPECT_EQ(paneAtY(boxes, boxes[2].top + 1), 2);
    EXPECT_EQ(paneAtY(boxes, boxes[0].bottom + 1), -1) << "the gap belongs to no pane";
    // Too small: plots keep their minimum height.
    EXPECT_EQ(stackPanes(20, footers, m)[0].plotHeight, m.minPlotPx);
}

TEST(ChartColours, TheScaleRunsFromDarkToLightAndParsesBack)
{
    EXPECT_EQ(colourScale(0.0), 0x440154u);
    EXPECT_EQ(colourScale(1.0), 0xFDE725u);
    EXPECT_EQ(colourScale(-3.0), colourScale(0.0));
    EXPECT_EQ(colourScale(kNaN), 0x9A9A9Au);
    auto luma = [](ChartRgb c) { return 0.299 * (c >> 16) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * (c & 0xFF); };
    for (int i = 1; i <= 20; ++i)
        EXPECT_GT(luma(colourScale(i / 20.0)), luma(colourScale((i - 1) / 20.0))) << "lightness must grow, step " << i;

    EXPECT_EQ(parseChartColor("#D55e00"), 0xD55E00u);
    EXPECT_EQ(chartColorText(0xD55E00), "#d55e00");
    EXPECT_EQ(parseChartColor("#d55e0"), std::nullopt);
    EXPECT_EQ(parseChartColor("red"), std::nullopt);
    EXPECT_EQ(parseChartColor("#gg0000"), std::nullopt);
    EXPECT_NE(defaultChannelColor(0), defaultChannelColor(1));
    EXPECT_EQ(defaultChannelColor(6), defaultChannelColor(0));
}

TEST(ChartFilter, DroppedTakesBecomeMergedPixelSpans)
{
    KeepMask keep(10, 1);
    keep[3] = keep[4] = keep[5] = 0;
    keep[9] = 0;
    // Takes 0 .. 9 over 90 pixels: 10 pixels a take unit.
    EXPECT_EQ(droppedSpans(keep, 0.0, 9.0, 90), (std::vector<PixelSpan>{{25, 55}, {85, 90}}));
    // Zoomed onto takes 6 .. 8: nothing dropped in view.
    EXPECT_TRUE(droppedSpans(keep, 6.0, 8.0, 90).empty());
    EXPECT_TRUE(droppedSpans({}, 0.0, 9.0, 90).empty()) << "no filter, no shade";
    // Many dropped takes in one pixel still give one pixel.
    KeepMask dense(100000, 1);
    dense[500] = 0;
    const auto spans = droppedSpans(dense, 0.0, 99999.0, 100);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].end - spans[0].begin, 1);
}

TEST(ChartScatter, LaterTakesLieOnTopAndFilteredOrEmptyTakesAreLeftOut)
{
    const std::vector<double> xs{0.0, 10.0, 10.0, 5.0, kNaN, 5.0};
    const std::vector<double> ys{0.0, 10.0, 10.0, 5.0, 5.0, kNaN};
    const std::vector<double> cs{1.0, 2.0, 3.0, 99.0, 4.0, 5.0};
    KeepMask keep(6, 1);
    keep[3] = 0;
    const ScatterRanges ranges = scatterRanges(xs, ys, cs, keep);
    EXPECT_EQ(ranges.points, 3);
    EXPECT_EQ(ranges.x, (ValueRange{0.0, 10.0}));
    EXPECT_EQ(ranges.color, (ValueRange{1.0, 3.0})) << "the dropped take's 99 does not stretch the scale";

    const ScatterRaster raster = ScatterRaster::build(xs, ys, keep, ranges.x, ranges.y, 11, 11, 0);
    EXPECT_EQ(raster.pointCount(), 3);
    EXPECT_EQ(raster.takeAt(0, 10), 0);
    EXPECT_EQ(raster.takeAt(10, 0), 2) << "take 2 was drawn over take 1";
    EXPECT_EQ(raster.takeAt(5, 5), -1) << "take 3 is filtered out";
    EXPECT_EQ(raster.nearestTake(2, 9, 3), 0);
    EXPECT_EQ(raster.nearestTake(5, 5, 2), -1);
    EXPECT_EQ(raster.takeAt(-1, 0), -1);

    const ScatterRaster stamped = ScatterRaster::build(xs, ys, {}, ranges.x, ranges.y, 11, 11, 1);
    EXPECT_EQ(stamped.takeAt(4, 6), 3) << "a radius of 1 stamps the neighbours";
    EXPECT_EQ(ScatterRaster::build(xs, ys, {}, ranges.x, ranges.y, 0, 5, 1).takes().size(), 0u);
}

TEST(ChartExtremes, RangesBeyondTheLargestDoubleGetAScale)
{
    constexpr double kMax = std::numeric_limits<double>::max();
    // +-1e308: the span is infinite, the scale is not.
    const ValueRange both = paddedRange({-1e308, 1e308});
    EXPECT_TRUE(std::isfinite(both.low) && std::isfinite(both.high));
    EXPECT_LT(both.low, -1e308);
    EXPECT_GT(both.high, 1e308);
    EXPECT_NEAR(axisPixel(0.0, both, 100.0, true), 50.0, 1e-9);
    EXPECT_NEAR(axisPixel(1e308, both, 100.0, true), 100.0 / 22, 1e-9);  // the room above: 1e307 of 2.2e308
    EXPECT_NEAR(axisPixel(-1e308, both, 100.0, true), 100.0 - 100.0 / 22, 1e-9);
    const AxisTicks ticks = niceTicks(both, 5);
    ASSERT_GE(ticks.values.size(), 2u);
    EXPECT_LE(ticks.values.size(), 6u);
    for (const double v : ticks.values) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, both.low);
        EXPECT_LE(v, both.high);
    }
    // Reaching 1.1e308 and the largest double from 0: padded up to it, not
    // left unpadded nor made infinite.
    EXPECT_EQ(paddedRange({0.0, kMax}).high, kMax);
    EXPECT_EQ(paddedRange({-kMax, kMax}), (ValueRange{-kMax, kMax}));
    EXPECT_FALSE(niceTicks(paddedRange({0.0, 1.1e308}), 5).values.empty());
}

TEST(ChartExtremes, LongLabelsTurnScientificShortOnesStay)
{
    const AxisTicks huge = niceTicks({5.9e300, 6.1e300}, 4);
    ASSERT_FALSE(huge.values.empty());
    EXPECT_TRUE(huge.scientific);
    EXPECT_EQ(tickText(huge, 6e300), "6e300");
    EXPECT_EQ(tickText(huge, 5.95e300, ","), "5,95e300");
    const AxisTicks times = niceTicks({1e18, 2e18}, 5);
    EXPECT_TRUE(times.scientific);
    for (const double v : times.values)
        EXPECT_LE(tickText(times, v).size(), 6u) << tickText(times, v);
    EXPECT_EQ(tickText(niceTicks({-3e-9, 3e-9}, 4), -2e-9), "-2e-9");
    // Everyday axes keep their plain labels.
    const AxisTicks rpm = niceTicks({0.0, 3200.0}, 5);
    EXPECT_FALSE(rpm.scientific);
    EXPECT_EQ(tickText(rpm, 2000.0), "2000");
    EXPECT_EQ(tickText(niceTicks({13.465, 14.235}, 6), 13.6, ","), "13,6");
    EXPECT_FALSE(niceTicks({0.0, 0.0005}, 5).scientific);
    // Time ticks of a log whose clock reads 1e18 seconds and up.
    std::vector<double> time;
    for (int t = 0; t < 101; ++t)
        time.push_back(1e18 + t * 1e16);
    for (const XTick& tick : timeTicks(time, 0.0, 100.0, 8))
        EXPECT_NE(tick.label.find('e'), std::string::npos) << tick.label;
}

TEST(ChartExtremes, AClockThatStandsIsOneTickAtItsTime)
{
    // A log of one take is shown from -0.5 to 1: its time under the take.
    const std::vector<double> one{5.25};
    const std::vector<XTick> ticks = timeTicks(one, -0.5, 1.0, 8, ",");
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].x, 0.0);
    EXPECT_EQ(ticks[0].label, "5,25");
    EXPECT_EQ(timeTicks(std::vector<double>{1e18}, -0.5, 1.0, 8)[0].label, "1e18");
    EXPECT_EQ(timeTicks(std::vector<double>{-2.5e-7}, -0.5, 1.0, 8)[0].label, "-2.5e-7");
    // Takes that share one time: the first in view.
    const std::vector<XTick> same = timeTicks(std::vector<double>{3, 3, 3, 3}, 0.5, 3.0, 8);
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].x, 1.0);
    EXPECT_EQ(same[0].label, "3");
}

TEST(ChartCursor, ValuesAtTheCursorAsPlainText)
{
    const std::vector<double> v{13.6, kNaN, 3000.0};
    EXPECT_EQ(cursorValueText(v, 0, ","), "13,6");
    EXPECT_EQ(cursorValueText(v, 2), "3000");
    EXPECT_EQ(cursorValueText(v, 1), "\u2013");
    EXPECT_EQ(cursorValueText(v, 3), "\u2013");
    EXPECT_EQ(cursorValueText(v, -1), "\u2013");
}

}  // namespace
}  // namespace dlv
