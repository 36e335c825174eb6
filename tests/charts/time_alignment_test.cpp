// An overlay's time: one log's time axis (seconds or takes, gaps passed
// over), a second log on it at an offset, align at cursor and Shift+drag.
#include "charts/time_alignment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace dlv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ColumnPtr column(std::vector<double> values)
{
    return std::make_shared<const Column>(std::move(values));
}

// Takes at 10 Hz from start, with the takes in gaps left without a time.
ColumnPtr tenHertz(int takes, double start = 0.0, const std::vector<int>& gaps = {})
{
    Column time;
    for (int t = 0; t < takes; ++t)
        time.push_back(start + 0.1 * t);
    for (const int g : gaps)
        time[static_cast<std::size_t>(g)] = kNaN;
    return column(std::move(time));
}

TEST(LogTimeline, ATimeChannelThatNeverRunsBackGivesSecondsAndItsUsualStep)
{
    // A pause of a minute after take 5 does not change the usual step.
    const LogTimeline log(column({0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 60.5, 60.6, 60.7}), 9);
    EXPECT_TRUE(log.inSeconds());
    EXPECT_NEAR(log.sampleInterval(), 0.1, 1e-12);
    EXPECT_EQ(log.timeOf(6), 60.5);
    EXPECT_TRUE(std::isnan(log.timeOf(9))) << "beyond the log";
    EXPECT_TRUE(std::isnan(log.timeOf(-1)));
    EXPECT_EQ(log.firstTime(), 0.0);
    EXPECT_EQ(log.lastTime(), 60.7);

    EXPECT_EQ(log.nearestTake(0.26), 3);
    EXPECT_EQ(log.nearestTake(30.0), 5) << "nearer the last take before the pause";
    EXPECT_EQ(log.nearestTake(-5.0), 0);
    EXPECT_EQ(log.nearestTake(99.0), 8);
    EXPECT_EQ(log.nearestTake(kNaN), std::nullopt);
}

TEST(LogTimeline, NearestTakeGoesToTheEarlierTakeOnATieAndToTheFirstOfEqualTimes)
{
    const LogTimeline log(column({0.0, 1.0, 1.0, 1.0, 2.0, 4.0}), 6);
    EXPECT_EQ(log.nearestTake(0.5), 0);
    EXPECT_EQ(log.nearestTake(1.0), 1);
    EXPECT_EQ(log.nearestTake(1.4), 1);
    EXPECT_EQ(log.nearestTake(3.0), 4);
    EXPECT_EQ(log.positionAt(1.0), 1.0);
    EXPECT_EQ(log.positionAt(1.5), 3.5) << "halfway from the last take of 1 s to take 4";

    const LogTimeline takes = LogTimeline::ofTakes(10);
    EXPECT_FALSE(takes.inSeconds());
    EXPECT_EQ(takes.nearestTake(2.5), 2);
    EXPECT_EQ(takes.nearestTake(2.51), 3);
    EXPECT_EQ(takes.nearestTake(-3.0), 0);
    EXPECT_EQ(takes.nearestTake(1e300), 9);
    EXPECT_EQ(takes.timeOf(4), 4.0);
    EXPECT_EQ(takes.sampleInterval(), 1.0);
    EXPECT_EQ(LogTimeline::ofTakes(0).nearestTake(0.0), std::nullopt);
}

TEST(LogTimeline, TakesWithoutATimeArePassedOverAndReachedAcross)
{
    const LogTimeline log(tenHertz(20, 0.0, {0, 4, 5, 6, 19}), 20);
    ASSERT_TRUE(log.inSeconds());
    EXPECT_EQ(log.timedCount(), 15);
    EXPECT_EQ(log.timedTake(0), 1);
    EXPECT_TRUE(std::isnan(log.timeOf(5)));
    EXPECT_NEAR(log.firstTime(), 0.1, 1e-12);
    EXPECT_NEAR(log.lastTime(), 1.8, 1e-12);
    // Near the gap's takes, the timed ones on either side answer.
    EXPECT_EQ(log.nearestTake(0.44), 3);
    EXPECT_EQ(log.nearestTake(0.56), 7);
    EXPECT_EQ(log.nearestTake(0.0), 1);
    EXPECT_EQ(log.nearestTake(5.0), 18);
    // The time runs on straight through the gap, and back.
    EXPECT_NEAR(log.timeAt(5.0), 0.5, 1e-12);
    EXPECT_NEAR(log.positionAt(0.55), 5.5, 1e-9);
    EXPECT_NEAR(log.timeAt(0.0), 0.0, 1e-12) << "before the first timed take at the usual step";

    // A column shorter than the log leaves the takes beyond it untimed.
    const LogTimeline shorter(tenHertz(5), 8);
    ASSERT_TRUE(shorter.inSeconds());
    EXPECT_EQ(shorter.timedCount(), 5);
    EXPECT_TRUE(std::isnan(shorter.timeOf(6)));
    EXPECT_EQ(shorter.nearestTake(100.0), 4);
}

TEST(LogTimeline, AChannelThatRunsBackOrNeverMovesLeavesTheLogOnTakeNumbers)
{
    EXPECT_FALSE(LogTimeline(column({0.0, 0.2, 0.1}), 3).inSeconds());
    EXPECT_FALSE(LogTimeline(column({5.0, 5.0, kNaN, 5.0}), 4).inSeconds());
    EXPECT_FALSE(LogTimeline(column({kNaN, 1.0, kNaN}), 3).inSeconds());
    EXPECT_FALSE(LogTimeline(nullptr, 3).inSeconds());
    const LogTimeline back(column({0.0, 0.2, 0.1}), 3);
    EXPECT_EQ(back.timeOf(2), 2.0);
    EXPECT_EQ(back.timedCount(), 3);
}

TEST(LogTimeline, TimeAtAndPositionAtUndoEachOtherOnAndOffTheLog)
{
    const LogTimeline log(column({10.0, 10.1, 10.3, 10.4, 11.0, 11.1}), 6);
    for (const double x : {-7.0, 0.0, 0.25, 1.5, 3.9, 4.0, 5.0, 12.0})
        EXPECT_NEAR(log.positionAt(log.timeAt(x)), x, 1e-9) << x;
    EXPECT_NEAR(log.timeAt(1.5), 10.2, 1e-12);
    EXPECT_NEAR(log.timeAt(7.0), 11.1 + 2 * log.sampleInterval(), 1e-12) << "after the end at the usual step";
    EXPECT_TRUE(log.covers(10.0 - 0.4 * log.sampleInterval()));
    EXPECT_FALSE(log.covers(10.0 - 0.6 * log.sampleInterval()));
    EXPECT_TRUE(log.covers(11.1 + 0.4 * log.sampleInterval()));
    EXPECT_FALSE(log.covers(11.2 + 0.1));
}

TEST(OverlayTime, SecondsOnlyWhenBothLogsHaveThem)
{
    const OverlayTime both(LogTimeline(tenHertz(50), 50), LogTimeline(tenHertz(30, 100.0), 30), 2.0);
    EXPECT_TRUE(both.inSeconds());
    EXPECT_NEAR(both.timeOnA(0), 102.0, 1e-12);

    const OverlayTime mixed(LogTimeline(tenHertz(50), 50), LogTimeline::ofTakes(30), 7.0);
    EXPECT_FALSE(mixed.inSeconds());
    EXPECT_FALSE(mixed.a().inSeconds());
    EXPECT_EQ(mixed.timeOnA(3), 10.0);

    OverlayTime kept = mixed;
    kept.setOffset(kNaN);
    kept.setOffset(std::numeric_limits<double>::infinity());
    EXPECT_EQ(kept.offset(), 7.0);
}

TEST(OverlayTime, TheOverlaidLogsTakeUnderTheCursorFollowsTheOffset)
{
    // B starts 100 s later on its own clock; at offset -97, B's time 100 s
    // shows at A's 3 s.
    OverlayTime overlay(LogTimeline(tenHertz(100), 100), LogTimeline(tenHertz(40, 100.0), 40), -97.0);
    EXPECT_EQ(overlay.takeOfBAt(30), 0);
    EXPECT_EQ(overlay.takeOfBAt(45), 15);
    EXPECT_EQ(overlay.takeOfBAt(69), 39);
    EXPECT_EQ(overlay.takeOfBAt(29), std::nullopt) << "a whole step before B's first take";
    EXPECT_EQ(overlay.takeOfBAt(70), std::nullopt);
    EXPECT_EQ(overlay.takeOfBAt(100), std::nullopt) << "beyond A";
    EXPECT_NEAR(overlay.positionOnA(15.0), 45.0, 1e-9);
    EXPECT_NEAR(overlay.positionOnB(45.0), 15.0, 1e-9);
    EXPECT_NEAR(overlay.positionOnA(-10.0), 20.0, 1e-9) << "off B's start, on at B's step";

    overlay.setOffset(overlay.offset() + 0.5);
    EXPECT_EQ(overlay.takeOfBAt(45), 10);
}

TEST(OverlayTime, AlignAtCursorPutsTheChosenTakeOfBUnderTheCursorOfA)
{
    OverlayTime overlay(LogTimeline(tenHertz(200, 0.0, {17}), 200), LogTimeline(tenHertz(300, 40.0), 300));
    const std::optional<double> offset = overlay.offsetAligning(120, 250);
    ASSERT_TRUE(offset);
    overlay.setOffset(*offset);
    EXPECT_EQ(overlay.takeOfBAt(120), 250);
    EXPECT_EQ(overlay.takeOfBAt(121), 251);
    EXPECT_NEAR(overlay.positionOnA(250.0), 120.0, 1e-9);

    EXPECT_EQ(overlay.offsetAligning(17, 3), std::nullopt) << "take 17 of A has no time";
    EXPECT_EQ(overlay.offsetAligning(120, 300), std::nullopt) << "B has no take 300";
    // The cursor on a take without a time still finds B by the time around it.
    EXPECT_EQ(overlay.takeOfBAt(17), 147);

    const OverlayTime takes(LogTimeline::ofTakes(50), LogTimeline::ofTakes(80));
    EXPECT_EQ(takes.offsetAligning(10, 35), -25.0);
}

TEST(OverlayTime, ShiftDragMovesTheOverlayWithThePointer)
{
    OverlayTime overlay(LogTimeline(tenHertz(1000), 1000), LogTimeline(tenHertz(1000, 3.0), 1000), -3.0);
    // A pane of 400 pixels showing A's takes 100 .. 200 (10 s): a quarter of
    // it is 2.5 s.
    EXPECT_NEAR(overlay.dragChange(100.0, 200.0, 400.0, 40.0, 140.0), 2.5, 1e-9);
    EXPECT_NEAR(overlay.dragChange(100.0, 200.0, 400.0, 140.0, 40.0), -2.5, 1e-9);
    EXPECT_EQ(overlay.dragChange(100.0, 200.0, 0.0, 40.0, 140.0), 0.0);
    EXPECT_EQ(overlay.dragChange(200.0, 200.0, 400.0, 40.0, 140.0), 0.0);

    // What was under the pointer where the drag began is under it where it ends.
    const double from = 100.0 + 40.0 * 100.0 / 400.0;
    const double to = 100.0 + 140.0 * 100.0 / 400.0;
    const double bUnderPointer = overlay.positionOnB(from);
    overlay.setOffset(overlay.offset() + overlay.dragChange(100.0, 200.0, 400.0, 40.0, 140.0));
    EXPECT_NEAR(overlay.positionOnB(to), bUnderPointer, 1e-9);

    const OverlayTime takes(LogTimeline::ofTakes(1000), LogTimeline::ofTakes(1000));
    EXPECT_NEAR(takes.dragChange(100.0, 200.0, 400.0, 40.0, 140.0), 25.0, 1e-9);
}

TEST(OverlayTime, RpmIsTheDefaultChannelWhenBothLogsHaveIt)
{
    const std::vector<std::string> a{"TIME", "RPM", "MAP"};
    const std::vector<std::string> b{"TIME", "MAP", "RPM"};
    const std::vector<std::string> c{"Time", "Engine speed"};
    EXPECT_EQ(defaultAlignmentChannel(a, b), "RPM");
    EXPECT_EQ(defaultAlignmentChannel(a, c), std::nullopt);
}

}  // namespace
}  // namespace dlv
