#include "views/curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "datalog/take_store.h"
#include "views/log_document.h"
#include "support/any_processor.h"

namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

dlv::ParamSeries series(std::vector<double> values)
{
    return {0, std::make_shared<const dlv::Column>(std::move(values))};
}

// A log whose parameter 1 holds the given texts, one take each; parameters 0
// and 2 hold numbers, so reading the wrong field shows.
std::shared_ptr<const dlv::TakeStore> storeWithParam1(const std::vector<std::string>& texts)
{
    std::string bytes = "title\nT,X,Y,\n";
    for (std::size_t t = 0; t < texts.size(); ++t)
        bytes += std::to_string(t) + "," + texts[t] + ",777\n";
    dlv::ReadResult r = dlv::readDataLogBytes(bytes);
    EXPECT_TRUE(r.ok()) << r.error;
    return r.store;
}

// --- series and summary -------------------------------------------------

TEST(CurveSeries, EmptyAndNonNumericTextsBecomeGaps)
{
    const auto store = storeWithParam1({" 12.5 ", "", "abc", "1e999", "-3", "0x10", "  "});
    ASSERT_TRUE(store);
    const dlv::ParamSeries s = dlv::extractParamSeries(*store, 1);
    ASSERT_EQ(s.takeCount(), 7);
    EXPECT_DOUBLE_EQ(s.values()[0], 12.5);
    EXPECT_TRUE(std::isnan(s.values()[1]));
    EXPECT_TRUE(std::isnan(s.values()[2]));
    EXPECT_TRUE(std::isnan(s.values()[3]));
    EXPECT_DOUBLE_EQ(s.values()[4], -3.0);
    EXPECT_TRUE(std::isnan(s.values()[5]));
    EXPECT_TRUE(std::isnan(s.values()[6]));
    EXPECT_TRUE(s.isNumber(0));
    EXPECT_FALSE(s.isNumber(1));
    EXPECT_FALSE(s.isNumber(7));
}

TEST(CurveSeries, ParameterBeyondTheLineGivesGaps)
{
    const auto store = storeWithParam1({"1", "2"});
    ASSERT_TRUE(store);
    const dlv::ParamSeries s = dlv::extractParamSeries(*store, 9);
    ASSERT_EQ(s.takeCount(), 2);
    EXPECT_TRUE(std::isnan(s.values()[0]));
    EXPECT_TRUE(std::isnan(s.values()[1]));
}

TEST(CurveSeries, DocumentCurveReadsTheCachedColumnWithoutACopy)
{
    const auto store = storeWithParam1({"4", "", "-2", "9"});
    ASSERT_TRUE(store);
    dlv::LogDocument document("log.csv", store);
    const dlv::ColumnPtr cached = document.columns().column(1);
    const dlv::LogDocument::Curve curve = document.curve(1);
    ASSERT_TRUE(curve.series);
    EXPECT_EQ(curve.series->column, cached) << "one column, whoever reads it";
    EXPECT_EQ(curve.series->param, 1);
    EXPECT_EQ(curve.summary.maxTake, 3);
    EXPECT_EQ(curve.summary.minTake, 2);
    EXPECT_EQ(curve.summary.count, 3);

    // Asked first for the curve, the cache then hands out the curve's column.
    dlv::LogDocument fresh("log.csv", store);
    const dlv::LogDocument::Curve first = fresh.curve(1);
    EXPECT_EQ(fresh.columns().column(1), first.series->column);
    EXPECT_EQ(fresh.columns().cachedBytes(), 4 * sizeof(double));
    EXPECT_EQ(fresh.curve(1).series, first.series) << "the last curve is kept";
}

TEST(CurveSummary, FirstTakeWinsAmongEqualExtremes)
{
    const dlv::CurveSummary s = dlv::summarizeSeries(series({3, 7, 1, 7, 1, 5}));
    EXPECT_EQ(s.maxTake, 1);
    EXPECT_EQ(s.minTake, 2);
    EXPECT_DOUBLE_EQ(s.maxValue, 7);
    EXPECT_DOUBLE_EQ(s.minValue, 1);
}

TEST(CurveSummary, EqualTextsOfOneValueKeepFirstTake)
{
    const auto store = storeWithParam1({"2", "5.0", "5", "05.00", "2.0"});
    ASSERT_TRUE(store);
    const dlv::CurveSummary s = dlv::summarizeSeries(dlv::extractParamSeries(*store, 1));
    EXPECT_EQ(s.maxTake, 1);
    EXPECT_EQ(s.minTake, 0);
}

TEST(CurveSummary, AllNegativeValuesDoNotReportZeroAsMaximum)
{
    const dlv::CurveSummary s = dlv::summarizeSeries(series({-4, -2.5, -9}));
    EXPECT_DOUBLE_EQ(s.maxValue, -2.5);
    EXPECT_EQ(s.maxTake, 1);
    EXPECT_DOUBLE_EQ(s.minValue, -9);
    const dlv::CurveLabels l = dlv::curveLabels(s, ".");
    EXPECT_EQ(l.max, "-2.50");
    EXPECT_EQ(l.min, "-9.00");
}

TEST(CurveSummary, AverageDividesByCountOfNumbersNotTakes)
{
    const auto store = storeWithParam1({"2", "", "x", "4", "9"});
    ASSERT_TRUE(store);
    const dlv::CurveSummary s = dlv::summarizeSeries(dlv::extractParamSeries(*store, 1));
    EXPECT_EQ(s.count, 3);
    EXPECT_DOUBLE_EQ(s.average, 5.0);
    EXPECT_EQ(s.minTake, 0);
    EXPECT_EQ(s.maxTake, 4);
    EXPECT_EQ(dlv::curveLabels(s, ".").avg, "5.00");
}

TEST(CurveSummary, GapsBeforeFirstNumberDoNotSeedExtremes)
{
    const dlv::CurveSummary s = dlv::summarizeSeries(series({kGap, kGap, 6, 8}));
    EXPECT_EQ(s.minTake, 2);
    EXPECT_DOUBLE_EQ(s.minValue, 6);
    EXPECT_EQ(s.maxTake, 3);
}

// Series that try a split summary: gaps at the ends and in runs, a single
// take, equal extremes on both sides of any split, signed zeros, and numbers
// whose plain sum overflows.
std::vector<std::vector<double>> awkwardSeries()
{
    std::vector<std::vector<double>> all{{},
                                         {kGap},
                                         {5},
                                         {kGap, kGap, -2, kGap},
                                         {7, 7, 7, 7, 7, 7, 7},
                                         {1, 9, 1, 9, 1, 9, 1, 9, 1},
                                         {0.0, -0.0, 0.0, -0.0},
                                         {-0.0, 0.0, -0.0},
                                         {1e308, 1e308, kGap, 1e308, -1e308, 1e308}};
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(-50, 50);
    for (int round = 0; round < 12; ++round) {
        std::vector<double> v(static_cast<std::size_t>(1 + rng() % 5000));
        bool gap = false;
        for (double& x : v) {
            if (rng() % 40 == 0)
                gap = !gap;  // runs of gaps
            x = gap ? kGap : (round % 3 == 0 ? std::round(value(rng)) : value(rng));  // whole numbers tie often
        }
        if (round % 4 == 1)
            for (std::size_t i = 0; i < v.size(); i += 7)
                v[i] = round % 8 == 1 ? 1.7e308 : -1.7e308;  // the plain sum overflows
        all.push_back(std::move(v));
    }
    // Long runs without gaps, whose extremes are swept a block at a time:
    // few distinct values, so that equal extremes and signed zeros fall on
    // both sides of block edges, and a new extreme at a block's first and
    // last take.
    for (int round = 0; round < 6; ++round) {
        std::vector<double> v(static_cast<std::size_t>(700 + rng() % 3000));
        for (std::size_t t = 0; t < v.size(); ++t)
            v[t] = rng() % 2500 == 0 ? kGap : static_cast<double>(static_cast<int>(rng() % 5) - 2) * (round % 2 ? 0.5 : 0.0) +
                                                  (rng() % 2 ? 0.0 : -0.0);
        v[256 * (1 + round % 2)] = 9;
        v[256 * (2 + round % 2) - 1] = -9;
        all.push_back(std::move(v));
    }
    // Rising and falling, each value twice or three times: every block has a
    // new extreme near its end, first met at any place of a step of four.
    for (const double step : {1.0, -1.0}) {
        std::vector<double> v;
        for (int k = 0; v.size() < 3000; ++k)
            v.insert(v.end(), static_cast<std::size_t>(2 + k % 2), step * k);
        all.push_back(std::move(v));
    }
    // A new highest that is zero, +0 first and -0 after it in the same block.
    std::vector<double> zeros(600, -1.0);
    zeros[257] = 0.0;
    std::fill(zeros.begin() + 258, zeros.begin() + 290, -0.0);
    all.push_back(std::move(zeros));
    return all;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof(double)) == 0;
}

TEST(CurveSummary, SplitOverThreadsEqualsOnePassInTakeOrderToTheBit)
{
    for (const std::vector<double>& v : awkwardSeries()) {
        dlv::SummaryAccumulator one;
        one.add(0, v);
        const dlv::CurveSummary want = one.summary();
        for (const std::size_t parts : {1, 2, 3, 5, 8}) {
            const dlv::CurveSummary got = dlv::summarizeValues(v, parts);
            const std::string what = "takes " + std::to_string(v.size()) + ", parts " + std::to_string(parts);
            EXPECT_EQ(got.count, want.count) << what;
            EXPECT_EQ(got.maxTake, want.maxTake) << what;
            EXPECT_EQ(got.minTake, want.minTake) << what;
            EXPECT_TRUE(sameBits(got.maxValue, want.maxValue)) << what;
            EXPECT_TRUE(sameBits(got.minValue, want.minValue)) << what;
            EXPECT_TRUE(sameBits(got.average, want.average)) << what << ": " << got.average << " " << want.average;
        }
    }
}

TEST(CurveSummary, SignedZerosKeepTheFirstTakeAndAPositiveSum)
{
    for (const std::size_t parts : {1, 3}) {
        const dlv::CurveSummary s = dlv::summarizeValues(std::vector<double>{kGap, -0.0, 0.0, -0.0}, parts);
        EXPECT_EQ(s.maxTake, 1);
        EXPECT_EQ(s.minTake, 1);
        EXPECT_TRUE(std::signbit(s.maxValue));
        EXPECT_FALSE(std::signbit(s.average)) << "0 + -0 + 0 + -0 is +0 added in order";
    }
}

TEST(CurveSummary, NoNumbersGiveEmptyLabels)
{
    const dlv::CurveSummary s = dlv::summarizeSeries(series({kGap, kGap}));
    EXPECT_FALSE(s.hasNumbers());
    EXPECT_EQ(s.maxTake, -1);
    const dlv::CurveLabels l = dlv::curveLabels(s, ".");
    EXPECT_TRUE(l.max.empty());
    EXPECT_TRUE(l.avg.empty());
    EXPECT_TRUE(l.min.empty());
}

TEST(CurveSummary, SingleTakeIsMaxAvgAndMin)
{
    const dlv::CurveSummary s = dlv::summarizeSeries(series({3.456}));
    EXPECT_EQ(s.count, 1);
    const dlv::CurveLabels l = dlv::curveLabels(s, ",");
    EXPECT_EQ(l.max, "3,46");
    EXPECT_EQ(l.avg, "3,46");
    EXPECT_EQ(l.min, "3,46");
}

// --- layout and scale ---------------------------------------------------

dlv::CurveLayout layoutOf(std::vector<double> values)
{
    const int last = static_cast<int>(values.size()) - 1;
    return dlv::CurveLayout::of(last, dlv::summarizeSeries(series(std::move(values))));
}

TEST(CurveLayout, WidthIsLastTakeButOneForSingleTake)
{
    EXPECT_DOUBLE_EQ(layoutOf({1, 2, 3, 4, 5}).width, 4.0);
    EXPECT_DOUBLE_EQ(layoutOf({5}).width, 1.0);
}

TEST(CurveLayout, PositiveDataReachesDownToMinusOne)
{
    const dlv::CurveLayout l = layoutOf({2, 10, 4});
    EXPECT_DOUBLE_EQ(l.maxValue, 10);
    EXPECT_DOUBLE_EQ(l.height, 11);
    EXPECT_DOUBLE_EQ(l.userY(10), 0);
    EXPECT_DOUBLE_EQ(l.userY(-1), l.height);
}

TEST(CurveLayout, MinimumAboveMinusOneStillReachesMinusOne)
{
    EXPECT_DOUBLE_EQ(layoutOf({2, -0.5}).height, 3.0);
    EXPECT_DOUBLE_EQ(layoutOf({-0.5, -0.5}).height, 0.5);
}

TEST(CurveLayout, NegativeMinimumExtendsBottom)
{
    const dlv::CurveLayout l = layoutOf({3, -7, 0});
    EXPECT_DOUBLE_EQ(l.height, 10);
    EXPECT_DOUBLE_EQ(l.userY(-7), l.height);
}

TEST(CurveLayout, AllEqualAtOrBelowMinusOneGetsOneUnit)
{
    EXPECT_DOUBLE_EQ(layoutOf({-4, -4, -4}).height, 1.0);
    EXPECT_DOUBLE_EQ(layoutOf({-1, -1}).height, 1.0);
    EXPECT_DOUBLE_EQ(layoutOf({-4, -4}).maxValue, -4.0);
}

TEST(CurveLayout, NoNumbersGiveUnitHeight)
{
    const dlv::CurveLayout l = layoutOf({kGap, kGap, kGap});
    EXPECT_DOUBLE_EQ(l.height, 1.0);
    EXPECT_DOUBLE_EQ(l.width, 2.0);
}

TEST(CurveScale, MapsUserUnitsProportionallyToPixels)
{
    const dlv::CurveScale s(0, 0, 200, 11);
    EXPECT_DOUBLE_EQ(s.toPixelX(50, 400), 100);
    EXPECT_DOUBLE_EQ(s.toPixelX(200, 400), 400);
    EXPECT_DOUBLE_EQ(s.toPixelY(5.5, 201), 100.5);
}

TEST(CurveScale, VisibleRangeStartsAtItsLeftEdge)
{
    const dlv::CurveScale s = layoutOf({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}).scale(2, 6);
    EXPECT_DOUBLE_EQ(s.toPixelX(2, 100), 0);
    EXPECT_DOUBLE_EQ(s.toPixelX(6, 100), 100);
    EXPECT_DOUBLE_EQ(s.toUserX(50, 100), 4);
}

TEST(CurveScale, PixelRoundTripsReturnTheUserPoint)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-1000, 1000);
    std::uniform_real_distribution<double> size(0.01, 500000);
    for (int i = 0; i < 200; ++i) {
        const dlv::CurveScale s(any(rng), any(rng), size(rng), size(rng));
        const double x = any(rng);
        const double y = any(rng);
        EXPECT_NEAR(s.toUserX(s.toPixelX(x, 537), 537), x, 1e-9 * (std::abs(x) + s.width()));
        EXPECT_NEAR(s.toUserY(s.toPixelY(y, 201), 201), y, 1e-9 * (std::abs(y) + s.height()));
        EXPECT_NEAR(s.toPixelX(s.toUserX(123.25, 537), 537), 123.25, 1e-6);
    }
}

TEST(CurveScale, NonPositiveSizesFallBackToOne)
{
    const dlv::CurveScale s(0, 0, 0, -3);
    EXPECT_DOUBLE_EQ(s.width(), 1);
    EXPECT_DOUBLE_EQ(s.height(), 1);
    EXPECT_DOUBLE_EQ(s.toPixelX(0.5, 0), 0.5);  // a zero-pixel surface counts as one pixel
}

// --- envelope -----------------------------------------------------------

struct Extent {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void add(double v)
    {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    [[nodiscard]] bool empty() const { return low > high; }
};

// Reference picture: every segment and every dot put on every column it
// touches, one at a time. Column c covers pixel x [c, c + 1), the last one
// [w - 1, w].
std::vector<Extent> bruteForce(const std::vector<double>& v, double x0, double x1, int w)
{
    std::vector<Extent> cols(static_cast<std::size_t>(w));
    const dlv::CurveScale scale(x0, 0, x1 - x0, 1);
    auto px = [&](double x) { return scale.toPixelX(x, w); };
    auto putSegment = [&](double xa, double va, double xb, double vb) {
        const double pa = px(xa);
        const double pb = px(xb);
        for (int c = 0; c < w; ++c) {
            const double lo = c;
            const double hi = c + 1;
            const bool last = c == w - 1;
            const bool touches = pb >= lo && (last ? pa <= hi : pa < hi);
            if (!touches)
                continue;
            for (double p : {std::max(pa, lo), std::min(pb, hi)})
                cols[static_cast<std::size_t>(c)].add(va + (vb - va) * (p - pa) / (pb - pa));
        }
    };
    const int n = static_cast<int>(v.size());
    if (n == 1) {
        if (!std::isnan(v[0]))
            putSegment(0, v[0], 1, v[0]);
        return cols;
    }
    for (int t = 0; t < n; ++t) {
        if (std::isnan(v[t]))
            continue;
        if (t + 1 < n && !std::isnan(v[t + 1]))
            putSegment(t, v[t], t + 1, v[t + 1]);
        const bool lone = (t == 0 || std::isnan(v[t - 1])) && (t + 1 == n || std::isnan(v[t + 1]));
        const double p = px(t);
        if (lone && p >= 0 && p <= w)
            cols[static_cast<std::size_t>(std::min(static_cast<int>(std::floor(p)), w - 1))].add(v[t]);
    }
    return cols;
}

void expectSameColumns(const dlv::CurveEnvelope& env, const std::vector<Extent>& ref, const std::string& what)
{
    ASSERT_EQ(env.widthPx(), static_cast<int>(ref.size())) << what;
    for (std::size_t c = 0; c < ref.size(); ++c) {
        const dlv::ColumnExtent& e = env.columns()[c];
        ASSERT_EQ(e.empty(), ref[c].empty()) << what << " column " << c;
        if (e.empty())
            continue;
        const double tol = 1e-7 * (1 + std::abs(ref[c].low) + std::abs(ref[c].high));
        ASSERT_NEAR(e.low, ref[c].low, tol) << what << " column " << c;
        ASSERT_NEAR(e.high, ref[c].high, tol) << what << " column " << c;
    }
}

TEST(CurveEnvelope, MatchesEverySegmentDrawnOnRandomSeriesWithGaps)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> value(-100, 100);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 400; ++round) {
        const int n = 1 + static_cast<int>(rng() % 400);
        const double gapShare = (round % 4) * 0.2;
        std::vector<double> v(static_cast<std::size_t>(n));
        for (double& x : v)
            x = unit(rng) < gapShare ? kGap : value(rng);
        const int w = 1 + static_cast<int>(rng() % 700);
        const double last = n > 1 ? n - 1 : 1;
        double x0 = 0;
        double x1 = last;
        if (round % 3 == 1) {  // a zoomed range with fractional edges
            x0 = unit(rng) * last * 0.8;
            x1 = x0 + 0.3 + unit(rng) * (last - x0);
        } else if (round % 3 == 2) {  // whole takes at the edges, partly past the log
            x0 = std::floor(unit(rng) * last) - 2;
            x1 = x0 + 1 + std::floor(unit(rng) * (last + 4));
        }
        const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series(v), x0, x1, w);
        expectSameColumns(env, bruteForce(v, x0, x1, w),
                          "n=" + std::to_string(n) + " w=" + std::to_string(w) + " x0=" + std::to_string(x0) +
                              " x1=" + std::to_string(x1));
    }
}

TEST(CurveEnvelope, ManyTakesAColumnMatchEverySegmentDrawn)
{
    // Tens to hundreds of takes a column, as a whole log is shown: runs of
    // takes inside one column, broken by single gaps, runs of gaps and lone
    // numbers, at the ends too.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> value(-100, 100);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 60; ++round) {
        const int n = 500 + static_cast<int>(rng() % 3000);
        std::vector<double> v(static_cast<std::size_t>(n));
        bool gapRun = false;
        for (double& x : v) {
            if (rng() % 300 == 0)
                gapRun = !gapRun;
            x = (round % 3 != 0 && (gapRun || rng() % 500 == 0)) ? kGap : value(rng);
        }
        if (round % 5 == 0)
            v.back() = kGap;
        if (round % 7 == 0)
            v.front() = kGap;
        const int w = 1 + static_cast<int>(rng() % 60);
        double x0 = 0;
        double x1 = n - 1;
        if (round % 4 == 1) {
            x0 = unit(rng) * n * 0.5;
            x1 = x0 + 50 + unit(rng) * (n - x0);
        }
        const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(v, x0, x1, w);
        expectSameColumns(env, bruteForce(v, x0, x1, w),
                          "n=" + std::to_string(n) + " w=" + std::to_string(w) + " x0=" + std::to_string(x0));
    }
}

TEST(CurveEnvelope, SplitOverThreadsEqualsOnePassToTheBit)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<std::vector<double>> all = awkwardSeries();
    // Long series as the window shows them, hundreds of takes a column.
    for (int round = 0; round < 4; ++round) {
        std::vector<double> v(static_cast<std::size_t>(40000 + rng() % 40000));
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = (i / 997) % 5 == 4 ? kGap : std::sin(static_cast<double>(i) * 0.001) * 100 + (rng() % 3);
        all.push_back(std::move(v));
    }
    for (const std::vector<double>& v : all) {
        const double last = v.size() > 1 ? static_cast<double>(v.size() - 1) : 1.0;
        for (int shot = 0; shot < 6; ++shot) {
            const int w = shot == 0 ? 1 : 1 + static_cast<int>(rng() % 900);
            double x0 = 0;
            double x1 = last;
            if (shot % 3 == 1) {  // zoomed, fractional edges
                x0 = unit(rng) * last * 0.8;
                x1 = x0 + 0.3 + unit(rng) * (last - x0);
            } else if (shot % 3 == 2) {  // partly past the log
                x0 = std::floor(unit(rng) * last) - 3;
                x1 = x0 + 2 + std::floor(unit(rng) * (last + 6));
            }
            const dlv::CurveEnvelope want = dlv::CurveEnvelope::build(v, x0, x1, w, 1);
            for (const std::size_t parts : {2, 3, 7}) {
                const dlv::CurveEnvelope got = dlv::CurveEnvelope::build(v, x0, x1, w, parts);
                ASSERT_EQ(got.widthPx(), want.widthPx());
                for (std::size_t c = 0; c < want.columns().size(); ++c) {
                    const dlv::ColumnExtent& a = got.columns()[c];
                    const dlv::ColumnExtent& b = want.columns()[c];
                    ASSERT_TRUE(sameBits(a.low, b.low) && sameBits(a.high, b.high))
                        << "takes " << v.size() << " w=" << w << " x0=" << x0 << " x1=" << x1 << " parts " << parts
                        << " column " << c << ": [" << a.low << ", " << a.high << "] against [" << b.low << ", "
                        << b.high << "]";
                }
            }
        }
    }
}

TEST(CurveEnvelope, GapLeavesColumnsBetweenItsNeighboursEmpty)
{
    // Takes 0, 1, 2 at pixels 0, 10, 20: no segment joins 0 or 2 to the gap at 1.
    const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series({1, kGap, 3, 4}), 0, 3, 30);
    for (int c = 1; c < 20; ++c)
        EXPECT_TRUE(env.columns()[c].empty()) << c;
    EXPECT_FALSE(env.columns()[0].empty());   // the dot of take 0
    EXPECT_FALSE(env.columns()[25].empty());  // segment 2 - 3
}

TEST(CurveEnvelope, LoneNumberBetweenGapsIsADot)
{
    const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series({kGap, 5, kGap}), 0, 2, 20);
    int filled = 0;
    for (const dlv::ColumnExtent& e : env.columns())
        filled += e.empty() ? 0 : 1;
    EXPECT_EQ(filled, 1);
    EXPECT_DOUBLE_EQ(env.columns()[10].low, 5);
    EXPECT_DOUBLE_EQ(env.columns()[10].high, 5);
}

TEST(CurveEnvelope, NoSegmentFromZeroBeforeFirstTake)
{
    const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series({10, 10, 10}), 0, 2, 50);
    for (const dlv::ColumnExtent& e : env.columns()) {
        EXPECT_DOUBLE_EQ(e.low, 10);
        EXPECT_DOUBLE_EQ(e.high, 10);
    }
}

TEST(CurveEnvelope, SingleTakeIsFlatLineAcrossWholeWidth)
{
    const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series({7}), 0, 1, 40);
    for (const dlv::ColumnExtent& e : env.columns()) {
        ASSERT_FALSE(e.empty());
        EXPECT_DOUBLE_EQ(e.low, 7);
        EXPECT_DOUBLE_EQ(e.high, 7);
    }
}

TEST(CurveEnvelope, NeighbouringColumnsShareTheEdgeCrossing)
{
    // A steep segment over two columns: each column's extent reaches the
    // value where the segment crosses their common edge, so the runs join.
    const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series({0, 100}), 0, 1, 2);
    EXPECT_DOUBLE_EQ(env.columns()[0].low, 0);
    EXPECT_DOUBLE_EQ(env.columns()[0].high, 50);
    EXPECT_DOUBLE_EQ(env.columns()[1].low, 50);
    EXPECT_DOUBLE_EQ(env.columns()[1].high, 100);
}

TEST(CurveEnvelope, VisibleRangeClipsSegmentsAtItsEdges)
{
    std::vector<double> v;
    for (int t = 0; t <= 10; ++t)
        v.push_back(t);
    const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series(v), 2.5, 7.5, 5);
    EXPECT_DOUBLE_EQ(env.columns()[0].low, 2.5);
    EXPECT_DOUBLE_EQ(env.columns()[0].high, 3.5);
    EXPECT_DOUBLE_EQ(env.columns()[4].high, 7.5);
}

TEST(CurveEnvelope, RangeOutsideTheLogIsEmpty)
{
    for (auto [x0, x1] : {std::pair{-10.0, -1.0}, std::pair{5.0, 9.0}}) {
        const dlv::CurveEnvelope env = dlv::CurveEnvelope::build(series({1, 2, 3}), x0, x1, 8);
        for (const dlv::ColumnExtent& e : env.columns())
            EXPECT_TRUE(e.empty());
    }
}

// --- clicks -------------------------------------------------------------

TEST(CurveClick, HalvesRoundToEvenTake)
{
    EXPECT_EQ(dlv::clickedTake(2.5), 2);
    EXPECT_EQ(dlv::clickedTake(3.5), 4);
    EXPECT_EQ(dlv::clickedTake(3.49), 3);
    EXPECT_EQ(dlv::clickedTake(-0.5), 0);
    EXPECT_EQ(dlv::clickedTake(-0.6), -1);
}

TEST(CurveClick, FarOffPointerDoesNotOverflowTake)
{
    EXPECT_EQ(dlv::clickedTake(1e300), INT_MAX);
    EXPECT_EQ(dlv::clickedTake(-1e300), INT_MIN);
    EXPECT_EQ(dlv::clickedTake(std::numeric_limits<double>::quiet_NaN()), -1);
}

TEST(CurveClick, ValueTextIsTheLogTextTrimmed)
{
    const auto store = storeWithParam1({" 12.50 ", "abc", ""});
    ASSERT_TRUE(store);
    EXPECT_EQ(dlv::clickedValueText(*store, 1, 0), "12.50");
    EXPECT_EQ(dlv::clickedValueText(*store, 1, 1), "abc");
    EXPECT_EQ(dlv::clickedValueText(*store, 1, 2), "");
}

TEST(CurveClick, LeftOfFirstAndRightOfLastTakeShowNoValue)
{
    const auto store = storeWithParam1({"1", "2", "3"});
    ASSERT_TRUE(store);
    const int colCount = store->lastTake() + 2;
    const int left = dlv::clickedTake(-0.7);
    EXPECT_EQ(dlv::clickedValueText(*store, 1, left), "");
    EXPECT_EQ(dlv::clickedGridColumn(left, colCount), 1);
    const int right = dlv::clickedTake(2.6);
    EXPECT_EQ(dlv::clickedValueText(*store, 1, right), "");
    EXPECT_EQ(dlv::clickedGridColumn(right, colCount), colCount - 1);
}

TEST(CurveClick, GridColumnIsTakePlusOneClamped)
{
    EXPECT_EQ(dlv::clickedGridColumn(0, 12), 1);
    EXPECT_EQ(dlv::clickedGridColumn(4, 12), 5);
    EXPECT_EQ(dlv::clickedGridColumn(10, 12), 11);
    EXPECT_EQ(dlv::clickedGridColumn(50, 12), 11);
    EXPECT_EQ(dlv::clickedGridColumn(-9, 12), 1);
    EXPECT_EQ(dlv::clickedGridColumn(INT_MAX, 12), 11);
    EXPECT_EQ(dlv::clickedGridColumn(0, 1), 0);
}

}  // namespace

namespace {

// What a pass that skips the extremes' takes must still give: the count,
// the extremes and the average, to the bit.
void expectSameValues(const dlv::CurveSummary& kept, const dlv::CurveSummary& valuesOnly)
{
    EXPECT_EQ(kept.count, valuesOnly.count);
    if (kept.count == 0)
        return;
    EXPECT_EQ(std::memcmp(&kept.maxValue, &valuesOnly.maxValue, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&kept.minValue, &valuesOnly.minValue, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&kept.average, &valuesOnly.average, sizeof(double)), 0);
}

}  // namespace

// Summing several series side by side (in vector lanes) gives, for each,
// what adding it alone gives: the same extremes at the same takes, the same
// count and the same bits of the average, over blocks of any width (the
// last group short) and series with gaps, ties, no number at all, negative
// zeros and overflowing sums, on a processor without AVX2 alike; and the
// same values where the takes are skipped.
TEST(CurveSummary, SeriesSummedSideBySideGiveWhatEachGivesAlone)
{
    std::mt19937 random(11);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const bool anyProcessor : {false, true})
    for (const std::size_t width : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4}, std::size_t{9}}) {
        const dlvtest::AnyProcessorOnly only(anyProcessor);
        std::vector<std::vector<double>> series(width);
        for (std::size_t k = 0; k < width; ++k)
            for (int t = 0; t < 700; ++t) {
                const unsigned pick = random() % 10;
                series[k].push_back(k == 2      ? nan
                                    : k == 5    ? -0.0
                                    : pick == 0 ? nan
                                    : pick == 1 ? 1e308 * (k % 2 ? -1 : 1)
                                    : pick == 2 ? 5.0
                                                : static_cast<double>(random() % 1000) / 8.0 - 60.0);
            }
        std::vector<dlv::SummaryAccumulator> alone(width);
        std::vector<dlv::SummaryAccumulator> together(width);
        std::vector<dlv::SummaryAccumulator> valuesOnly(width);  // as the report sums them
        std::vector<dlv::SummaryAccumulator*> pointers;
        std::vector<dlv::SummaryAccumulator*> valuePointers;
        for (std::size_t k = 0; k < width; ++k) {
            pointers.push_back(&together[k]);
            valuePointers.push_back(&valuesOnly[k]);
        }
        for (int first = 0; first < 700; first += 250) {
            const auto count = static_cast<std::size_t>(std::min(250, 700 - first));
            std::vector<std::span<const double>> blocks;
            for (std::size_t k = 0; k < width; ++k) {
                blocks.emplace_back(series[k].data() + first, count);
                alone[k].add(first, blocks.back());
            }
            dlv::SummaryAccumulator::addEach(pointers, first, blocks);
            dlv::SummaryAccumulator::addEach(valuePointers, first, blocks, dlv::SummaryTakes::Skipped);
        }
        for (std::size_t k = 0; k < width; ++k) {
            SCOPED_TRACE("width " + std::to_string(width) + ", series " + std::to_string(k) +
                         (anyProcessor ? ", any processor" : ""));
            const dlv::CurveSummary a = alone[k].summary();
            const dlv::CurveSummary b = together[k].summary();
            EXPECT_EQ(a.count, b.count);
            EXPECT_EQ(a.maxTake, b.maxTake);
            EXPECT_EQ(a.minTake, b.minTake);
            EXPECT_EQ(a.maxValue, b.maxValue);
            EXPECT_EQ(a.minValue, b.minValue);
            EXPECT_EQ(std::memcmp(&a.average, &b.average, sizeof(double)), 0);
            const dlv::CurveSummary whole = dlv::summarizeValues(series[k], 1);
            EXPECT_EQ(std::memcmp(&a.average, &whole.average, sizeof(double)), 0);
            expectSameValues(a, valuesOnly[k].summary());
        }
    }
}

// Series kept a row a take (as the report's blocks hold them) and summed
// side by side in vector lanes give what adding each alone gives, to the
// bit: over any number of columns (full lanes and the rest), with gaps,
// ties, columns of no number, sums of negative zeros and sums that
// overflow, and on a processor without AVX2 alike; and the same values
// where the takes are skipped.
TEST(CurveSummary, RowsSummedInLanesGiveWhatEachSeriesGivesAlone)
{
    std::mt19937 random(29);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const bool anyProcessor : {false, true}) {
        const dlvtest::AnyProcessorOnly only(anyProcessor);
        for (const std::size_t width : {std::size_t{1}, std::size_t{2}, std::size_t{4}, std::size_t{7}, std::size_t{13}}) {
            const std::size_t stride = width + 3;
            constexpr int kTakes = 900;
            std::vector<double> rows(stride * kTakes, 12345.0);  // the spare places hold no column's number
            for (std::size_t k = 0; k < width; ++k)
                for (int t = 0; t < kTakes; ++t) {
                    const unsigned pick = random() % 10;
                    double v = static_cast<double>(random() % 1000) / 8.0 - 60.0;
                    if (k == 1)
                        v = nan;  // no number at all
                    else if (k == 2)
                        v = pick < 3 ? nan : -0.0;  // the sum stays a negative zero
                    else if (pick == 0)
                        v = nan;
                    else if (pick == 1)
                        v = 1e308 * (k % 2 ? -1 : 1);
                    else if (pick == 2)
                        v = 5.0;
                    rows[static_cast<std::size_t>(t) * stride + k] = v;
                }
            std::vector<dlv::SummaryAccumulator> alone(width);
            std::vector<dlv::SummaryAccumulator> lanes(width);
            std::vector<dlv::SummaryAccumulator> valuesOnly(width);
            std::vector<dlv::SummaryAccumulator*> pointers;
            std::vector<dlv::SummaryAccumulator*> valuePointers;
            for (std::size_t k = 0; k < width; ++k) {
                pointers.push_back(&lanes[k]);
                valuePointers.push_back(&valuesOnly[k]);
            }
            for (int first = 0; first < kTakes; first += 320) {
                const int count = std::min(320, kTakes - first);
                for (std::size_t k = 0; k < width; ++k) {
                    std::vector<double> column;
                    for (int i = 0; i < count; ++i)
                        column.push_back(rows[static_cast<std::size_t>(first + i) * stride + k]);
                    alone[k].add(first, column);
                }
                const double* block = rows.data() + static_cast<std::size_t>(first) * stride;
                dlv::SummaryAccumulator::addRows(pointers, first, block, stride, count);
                dlv::SummaryAccumulator::addRows(valuePointers, first, block, stride, count, dlv::SummaryTakes::Skipped);
            }
            for (std::size_t k = 0; k < width; ++k) {
                SCOPED_TRACE("width " + std::to_string(width) + ", column " + std::to_string(k) +
                             (anyProcessor ? ", any processor" : ""));
                const dlv::CurveSummary a = alone[k].summary();
                const dlv::CurveSummary b = lanes[k].summary();
                EXPECT_EQ(a.count, b.count);
                EXPECT_EQ(a.maxTake, b.maxTake);
                EXPECT_EQ(a.minTake, b.minTake);
                EXPECT_EQ(std::memcmp(&a.maxValue, &b.maxValue, sizeof(double)), 0);
                EXPECT_EQ(std::memcmp(&a.minValue, &b.minValue, sizeof(double)), 0);
                EXPECT_EQ(std::memcmp(&a.average, &b.average, sizeof(double)), 0);
                expectSameValues(a, valuesOnly[k].summary());
            }
        }
    }
}
