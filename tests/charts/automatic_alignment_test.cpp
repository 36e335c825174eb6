// Automatic alignment: log B is built as log A shifted by a known number of
// takes or seconds (with takes of another run before and after it, noise,
// gaps, another sample rate), and the offset must come out exactly; flat or
// unlike channels are refused. And the FFT's correlation against plain sums.
#include "charts/automatic_alignment.h"
#include "charts/cross_correlation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace dlv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// An engine's RPM over time: a smooth wander between random levels, one a
// second, so that it can be sampled at any time and any rate.
class EngineRun final {
public:
    EngineRun(double seconds, unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> level(900.0, 3400.0);
        for (int k = 0; k <= static_cast<int>(seconds) + 1; ++k)
            m_knots.push_back(level(random));
    }

    [[nodiscard]] double at(double time) const
    {
        const double clamped = std::clamp(time, 0.0, static_cast<double>(m_knots.size() - 2));
        const auto k = static_cast<std::size_t>(clamped);
        const double f = (1.0 - std::cos((clamped - static_cast<double>(k)) * 3.141592653589793)) / 2.0;
        return m_knots[k] + (m_knots[k + 1] - m_knots[k]) * f;
    }

    // Samples at rate Hz from start for count takes.
    [[nodiscard]] std::vector<double> sample(double start, double rate, int count) const
    {
        std::vector<double> out;
        for (int t = 0; t < count; ++t)
            out.push_back(at(start + t / rate));
        return out;
    }

private:
    std::vector<double> m_knots;
};

std::vector<double> concat(std::vector<double> a, const std::vector<double>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<double> slice(const std::vector<double>& v, int first, int count)
{
    return {v.begin() + first, v.begin() + first + count};
}

void addNoise(std::vector<double>& v, double size, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-size, size);
    for (double& x : v)
        x += noise(random);
}

ColumnPtr times(double start, double rate, int count)
{
    auto out = std::make_shared<Column>();
    for (int t = 0; t < count; ++t)
        out->push_back(start + t / rate);
    return out;
}

OverlayTime byTakes(const std::vector<double>& a, const std::vector<double>& b)
{
    return {LogTimeline::ofTakes(static_cast<int>(a.size())), LogTimeline::ofTakes(static_cast<int>(b.size()))};
}

OverlayTime bySeconds(ColumnPtr a, ColumnPtr b)
{
    const int na = static_cast<int>(a->size());
    const int nb = static_cast<int>(b->size());
    return {LogTimeline(std::move(a), na), LogTimeline(std::move(b), nb)};
}

TEST(AutomaticAlignment, FindsAShiftInTakesExactlyWithOtherTakesBeforeAndAfterAndNoise)
{
    const EngineRun run(400.0, 1);
    const std::vector<double> a = run.sample(0.0, 10.0, 3000);
    // B: 150 takes of another drive, then A's takes 400 .. 2599, then 300
    // more of the other drive; event at A's take i is at B's i - 250.
    const EngineRun other(100.0, 2);
    std::vector<double> b = concat(concat(other.sample(0.0, 10.0, 150), slice(a, 400, 2200)),
                                   other.sample(40.0, 10.0, 300));
    addNoise(b, 40.0, 3);
    const AlignmentResult found = findAlignment(byTakes(a, b), a, b);
    ASSERT_TRUE(found.ok()) << found.reason;
    EXPECT_EQ(*found.offset, 250.0);
    EXPECT_GT(found.correlation, 0.5);
    EXPECT_GT(found.changeCorrelation, 0.0);
    EXPECT_LE(found.changeCorrelation, 1.0);
    EXPECT_EQ(found.problem, AlignmentProblem::None);

    // The other way round: B begins 700 takes before the run of A.
    const std::vector<double> early = concat(other.sample(0.0, 10.0, 700), slice(a, 0, 2000));
    const AlignmentResult back = findAlignment(byTakes(a, early), a, early);
    ASSERT_TRUE(back.ok()) << back.reason;
    EXPECT_EQ(*back.offset, -700.0);
    EXPECT_GT(back.correlation, 0.99) << "the takes that overlap are A's own";
}

TEST(AutomaticAlignment, FindsAShiftInSecondsOnEachLogsOwnClock)
{
    const EngineRun run(400.0, 4);
    const std::vector<double> a = run.sample(0.0, 10.0, 3000);
    // B's clock starts at 5 s; its take j is A's take j + 37: A's time
    // 0.1 (j + 37) = B's 5 + 0.1 j - 1.3.
    std::vector<double> b = slice(a, 37, 2500);
    addNoise(b, 25.0, 5);
    const AlignmentResult found = findAlignment(bySeconds(times(0.0, 10.0, 3000), times(5.0, 10.0, 2500)), a, b);
    ASSERT_TRUE(found.ok()) << found.reason;
    EXPECT_NEAR(*found.offset, -1.3, 1e-9);

    // A level and scale of their own (another sensor's calibration) do not matter.
    std::vector<double> scaled = slice(a, 0, 2400);
    for (double& v : scaled)
        v = 1.07 * v + 300.0;
    const AlignmentResult level = findAlignment(bySeconds(times(0.0, 10.0, 3000), times(-12.0, 10.0, 2400)), a, scaled);
    ASSERT_TRUE(level.ok()) << level.reason;
    EXPECT_NEAR(*level.offset, 12.0, 1e-9);
    EXPECT_GT(level.correlation, 0.999);
}

TEST(AutomaticAlignment, LogsOfDifferentSampleRatesMeetOnTheFinerStep)
{
    const EngineRun run(500.0, 6);
    // A at 10 Hz from the run's start, B at 20 Hz from 40 s into it.
    const std::vector<double> a = run.sample(0.0, 10.0, 3000);
    const std::vector<double> b = run.sample(40.0, 20.0, 4000);
    const AlignmentResult found = findAlignment(bySeconds(times(0.0, 10.0, 3000), times(0.0, 20.0, 4000)), a, b);
    ASSERT_TRUE(found.ok()) << found.reason;
    EXPECT_NEAR(*found.offset, 40.0, 1e-9);

    // B the coarser at 4 Hz, starting 25.5 s before A's first take (A at
    // 10 Hz from 60 s on its clock, 30 s into the run).
    const std::vector<double> fine = run.sample(30.0, 10.0, 2000);
    const std::vector<double> coarse = run.sample(4.5, 4.0, 1200);
    const AlignmentResult rates = findAlignment(bySeconds(times(60.0, 10.0, 2000), times(0.0, 4.0, 1200)), fine, coarse);
    ASSERT_TRUE(rates.ok()) << rates.reason;
    // The run's time 30 is A's 60 and B's 25.5.
    EXPECT_NEAR(*rates.offset, 34.5, 1e-9);

    // 25 Hz against 10 Hz: only every other take of A falls on one of B's.
    const std::vector<double> b25 = run.sample(12.0, 25.0, 5000);
    const AlignmentResult odd = findAlignment(bySeconds(times(0.0, 10.0, 3000), times(0.0, 25.0, 5000)), a, b25);
    ASSERT_TRUE(odd.ok()) << odd.reason;
    EXPECT_NEAR(*odd.offset, 12.0, 1e-9);
}

TEST(AutomaticAlignment, GapsInTheChannelAndTheTimeAreReachedAcross)
{
    const EngineRun run(400.0, 7);
    // A pause of 20 s in the logging after take 1200, in both logs.
    auto clock = std::make_shared<Column>();
    for (int t = 0; t < 3000; ++t)
        clock->push_back(0.1 * t + (t > 1200 ? 20.0 : 0.0));
    std::vector<double> a;
    for (const double time : *clock)
        a.push_back(run.at(time));
    // B: A's takes 300 .. 2799 on a clock starting at 0.
    auto bClock = std::make_shared<Column>();
    for (int t = 300; t < 2800; ++t)
        bClock->push_back((*clock)[static_cast<std::size_t>(t)] - (*clock)[300]);
    std::vector<double> b = slice(a, 300, 2500);
    std::mt19937 random(8);
    std::uniform_int_distribution<int> takeA(0, 2999);
    std::uniform_int_distribution<int> takeB(0, 2499);
    for (int k = 0; k < 120; ++k) {
        a[static_cast<std::size_t>(takeA(random))] = kNaN;
        b[static_cast<std::size_t>(takeB(random))] = kNaN;
        (*bClock)[static_cast<std::size_t>(takeB(random))] = kNaN;
    }
    b[0] = kNaN;  // B's channel starts a take late
    (*bClock)[500] = (*clock)[800] - (*clock)[300];

    const AlignmentResult found = findAlignment(bySeconds(clock, bClock), a, b);
    ASSERT_TRUE(found.ok()) << found.reason;
    EXPECT_NEAR(*found.offset, 30.0, 1e-9);

    // Then the overlay puts B's takes on A's: B's 500 under A's 800.
    OverlayTime overlay = bySeconds(clock, bClock);
    overlay.setOffset(*found.offset);
    EXPECT_EQ(overlay.takeOfBAt(800), std::optional<int>(500));
}

TEST(AutomaticAlignment, FlatEmptyOrUnlikeChannelsAreRefusedWithTheReason)
{
    const EngineRun run(200.0, 9);
    const std::vector<double> varied = run.sample(0.0, 10.0, 1000);
    const std::vector<double> flat(800, 850.0);
    const AlignmentResult flatB = findAlignment(byTakes(varied, flat), varied, flat);
    EXPECT_FALSE(flatB.ok());
    EXPECT_EQ(flatB.problem, AlignmentProblem::Flat);
    EXPECT_EQ(flatB.reason, "the channel never changes in the overlaid log");

    std::vector<double> empty(800, kNaN);
    empty[400] = 1000.0;
    const AlignmentResult emptyA = findAlignment(byTakes(empty, varied), empty, varied);
    EXPECT_EQ(emptyA.problem, AlignmentProblem::NoNumbers);
    EXPECT_NE(emptyA.reason.find("the log on show"), std::string::npos);
    EXPECT_EQ(findAlignment(byTakes({}, varied), {}, varied).problem, AlignmentProblem::NoNumbers);

    // Rising against falling: no offset makes them alike.
    std::vector<double> rising;
    std::vector<double> falling;
    for (int t = 0; t < 500; ++t) {
        rising.push_back(t);
        falling.push_back(-2.0 * t);
    }
    const AlignmentResult unlike = findAlignment(byTakes(rising, falling), rising, falling);
    EXPECT_FALSE(unlike.ok());
    EXPECT_EQ(unlike.problem, AlignmentProblem::Unlike);
    EXPECT_FALSE(unlike.reason.empty());
}

TEST(AutomaticAlignment, TheMinimumOverlapKeepsTheEdgesFromWinning)
{
    // B's last tenth copies A's first tenth; the rest is another run. With an
    // overlap of 5 % allowed, the copied stretch wins; with the usual 20 %
    // it may not be taken (the stretch is too short to count).
    const EngineRun run(300.0, 10);
    const EngineRun other(300.0, 11);
    const std::vector<double> a = run.sample(0.0, 10.0, 2000);
    const std::vector<double> b = concat(other.sample(0.0, 10.0, 1800), slice(a, 0, 200));
    AlignmentOptions loose;
    loose.minOverlap = 0.05;
    const AlignmentResult edge = findAlignment(byTakes(a, b), a, b, loose);
    ASSERT_TRUE(edge.ok());
    EXPECT_EQ(*edge.offset, -1800.0);
    const AlignmentResult usual = findAlignment(byTakes(a, b), a, b);
    if (usual.ok()) {
        EXPECT_NE(*usual.offset, -1800.0);
    }
}

TEST(AutomaticAlignment, AGridMadeCoarserStillEndsOnTheExactTake)
{
    const EngineRun run(700.0, 12);
    const std::vector<double> a = run.sample(0.0, 10.0, 6000);
    std::vector<double> b = slice(a, 1234, 4000);
    addNoise(b, 30.0, 13);
    AlignmentOptions small;
    small.maxGridPoints = 2500;  // a step of four takes
    const AlignmentResult found = findAlignment(byTakes(a, b), a, b, small);
    ASSERT_TRUE(found.ok()) << found.reason;
    EXPECT_EQ(*found.offset, 1234.0);
}

// A drive as a logger records it: RPM following a wandering target in steps
// of 25, changing by a few RPM from take to take.
std::vector<double> recordedDrive(int takes, double follow, std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> out;
    double target = 1500.0;
    double rpm = 800.0 + 2000.0 * unit(random);
    for (int t = 0; t < takes; ++t) {
        if (unit(random) < 0.01)
            target = 800.0 + 2600.0 * unit(random);
        rpm += (target - rpm) * follow + (unit(random) - 0.5) * 10.0;
        out.push_back(std::round(rpm / 25.0) * 25.0);
    }
    return out;
}

TEST(AutomaticAlignment, ManyDrivesEachWithItsShiftFoundExactly)
{
    // Slow and quick engines, short and long logs, B part of A between
    // stretches of another drive, with noise and takes without a number: a
    // match of the values alone would be tilted by a take or two here.
    std::mt19937 random(15);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 16; ++trial) {
        const int takes = 3000 + static_cast<int>(random() % 30000);
        const double follow = 0.01 + 0.15 * unit(random);
        const std::vector<double> a = recordedDrive(takes, follow, random);
        const int shared = takes / 3 + static_cast<int>(random() % static_cast<unsigned>(takes - takes / 3));
        const int from = static_cast<int>(random() % static_cast<unsigned>(takes - shared + 1));
        const int before = static_cast<int>(random() % static_cast<unsigned>(shared / 4 + 1));
        std::vector<double> b = recordedDrive(before, follow, random);
        b = concat(concat(b, slice(a, from, shared)), recordedDrive(shared / 5, follow, random));
        addNoise(b, 20.0 * unit(random), static_cast<unsigned>(trial));
        for (int k = 0; k < static_cast<int>(b.size()) / 50; ++k)
            b[random() % b.size()] = kNaN;
        const AlignmentResult found = findAlignment(byTakes(a, b), a, b);
        ASSERT_TRUE(found.ok()) << "trial " << trial << ": " << found.reason;
        EXPECT_EQ(*found.offset, from - before) << "trial " << trial << " of " << takes << " takes";
    }
}

TEST(CrossCorrelation, MatchesPlainSumsAtEveryLag)
{
    std::mt19937 random(14);
    std::uniform_real_distribution<double> value(-5.0, 5.0);
    const std::vector<std::pair<int, int>> sizes{{1, 1}, {1, 7}, {7, 1}, {5, 8}, {64, 64}, {300, 77}, {5000, 4100}};
    for (const auto& [na, nb] : sizes) {
        std::vector<double> a(static_cast<std::size_t>(na));
        std::vector<double> b(static_cast<std::size_t>(nb));
        for (double& x : a)
            x = value(random);
        for (double& x : b)
            x = value(random);
        const long long lowLag = -nb - 2;
        const long long highLag = na + 2;
        const std::vector<double> c = crossCorrelation(a, b, lowLag, highLag);
        ASSERT_EQ(c.size(), static_cast<std::size_t>(highLag - lowLag + 1));
        for (long long lag = lowLag; lag <= highLag; ++lag) {
            double sum = 0.0;
            for (long long j = 0; j < nb; ++j)
                if (j + lag >= 0 && j + lag < na)
                    sum += a[static_cast<std::size_t>(j + lag)] * b[static_cast<std::size_t>(j)];
            ASSERT_NEAR(c[static_cast<std::size_t>(lag - lowLag)], sum, 1e-9 * std::sqrt(na * nb) * 25.0)
                << na << " x " << nb << " at lag " << lag;
        }
    }
    // A narrow window of lags is served by a smaller transform, same sums.
    const std::vector<double> a{1.0, 2.0, 3.0, 4.0};
    const std::vector<double> b{1.0, -1.0};
    EXPECT_NEAR(crossCorrelation(a, b, 1, 1).at(0), 2.0 - 3.0, 1e-12);
    EXPECT_TRUE(crossCorrelation({}, b, -3, 3) == std::vector<double>(7, 0.0));
}

}  // namespace
}  // namespace dlv
