#include "views/curve.h"

#include "datalog/columns.h"
#include "datalog/number.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <cmath>
#include <limits>

#include "datalog/wide_instructions.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif


namespace dlv {

namespace {

[[nodiscard]] double positiveOrOne(double v) noexcept
{
    return (std::isfinite(v) && v > 0.0) ? v : 1.0;
}

}  // namespace

bool ParamSeries::isNumber(int t) const noexcept
{
    return t >= 0 && t < takeCount() && !std::isnan((*column)[static_cast<std::size_t>(t)]);
}

ParamSeries extractParamSeries(const TakeStore& store, long long p)
{
    return {p, std::make_shared<const Column>(std::move(parseColumns(store, std::span<const long long>(&p, 1)).front()))};
}

namespace {

// The rule of the extremes: v of take `take` becomes the highest or the
// lowest only when strictly beyond it, so that of equal values the first
// take stays.
template <class Take>
[[gnu::always_inline]] inline void widenExtremes(double v, Take take, double& high, Take& highTake, double& low,
                                                 Take& lowTake) noexcept
{
    if (v > high) {
        high = v;
        highTake = take;
    }
    if (v < low) {
        low = v;
        lowTake = take;
    }
}

// One accumulator's state in locals over a block, so that the loop does not
// go through memory for each take.
struct RunningSummary {
    int count;
    double high;
    double low;
    int highTake;
    int lowTake;
    OrderedSum sum;

    [[gnu::always_inline]] void add(double v, int take) noexcept
    {
        if (std::isnan(v))
            return;
        if (count == 0) {
            high = low = v;
            highTake = lowTake = take;
        } else {
            widenExtremes(v, take, high, highTake, low, lowTake);
        }
        sum.add(v);
        ++count;
    }
};

}  // namespace

void SummaryAccumulator::add(int firstTake, std::span<const double> values) noexcept
{
    SummaryAccumulator* self = this;
    addEach(std::span<SummaryAccumulator* const>(&self, 1), firstTake,
            std::span<const std::span<const double>>(&values, 1));
}

namespace {

// RunningSummary::add over kW columns of the rows side by side, a column
// to a lane of the compiler's vectors (two lanes: SSE2, which every x86-64
// processor has; four in the copy built for AVX2). Each lane starts from
// its accumulator's state, the extremes from -inf and +inf while it has no
// number, so that its first number is taken as both (numbers are finite);
// comparisons with NaN are false, so a gap changes no extreme. A gap adds
// -0.0 to the sums, which leaves any sum as it is: the sum chains wait for
// nothing but themselves.
template <std::size_t kW>
struct Lanes {
    typedef double Doubles __attribute__((vector_size(8 * kW)));
    typedef long long Wholes __attribute__((vector_size(8 * kW)));
};

// load(i, v) puts the numbers of take firstTake + i into the lanes of v.
// Without takes the extremes' takes are not followed (their compare and
// select are most of the loop), and the takes stay as they were.
template <std::size_t kW, SummaryTakes kTakes, class Load>
[[gnu::always_inline]] inline void addLanes(CurveSummary* const* summaries, OrderedSum* const* sums, int firstTake,
                                            int takeCount, Load&& load) noexcept
{
    using Doubles = typename Lanes<kW>::Doubles;
    using Wholes = typename Lanes<kW>::Wholes;
    Doubles high, low, plain, scaled;
    Wholes count, highTake, lowTake;
    for (std::size_t k = 0; k < kW; ++k) {
        const CurveSummary& s = *summaries[k];
        const bool none = s.count == 0;
        high[k] = none ? -std::numeric_limits<double>::infinity() : s.maxValue;
        low[k] = none ? std::numeric_limits<double>::infinity() : s.minValue;
        highTake[k] = s.maxTake;
        lowTake[k] = s.minTake;
        count[k] = s.count;
        plain[k] = sums[k]->plain();
        scaled[k] = sums[k]->scaled();
    }
    const Doubles noChange = Doubles{} - 0.0;
    for (int i = 0; i < takeCount; ++i) {
        Doubles v;
        load(i, v);
        const Wholes take = Wholes{} + static_cast<long long>(firstTake + i);
        const Wholes number = v == v;
        if constexpr (kTakes == SummaryTakes::Kept) {
            const Wholes above = v > high;
            const Wholes below = v < low;
            high = above ? v : high;
            highTake = above ? take : highTake;
            low = below ? v : low;
            lowTake = below ? take : lowTake;
        } else {
            high = v > high ? v : high;
            low = v < low ? v : low;
        }
        plain += number ? v : noChange;
        scaled += number ? v * OrderedSum::kScale : noChange;
        count -= number;  // a set lane is -1
    }
    for (std::size_t k = 0; k < kW; ++k) {
        CurveSummary& s = *summaries[k];
        s.count = static_cast<int>(count[k]);
        if (s.count != 0) {
            s.maxValue = high[k];
            s.minValue = low[k];
            if constexpr (kTakes == SummaryTakes::Kept) {
                s.maxTake = static_cast<int>(highTake[k]);
                s.minTake = static_cast<int>(lowTake[k]);
            }
        }
        *sums[k] = OrderedSum::resumed(plain[k], scaled[k]);
    }
}

// One column of the rows the plain way: what is left beside full lanes.
void addColumn(CurveSummary& summary, OrderedSum& sum, int firstTake, const double* rows, std::size_t stride,
               int takeCount) noexcept
{
    RunningSummary run{summary.count, summary.maxValue, summary.minValue, summary.maxTake, summary.minTake, sum};
    for (int i = 0; i < takeCount; ++i)
        run.add(rows[static_cast<std::size_t>(i) * stride], firstTake + i);
    summary.count = run.count;
    summary.maxValue = run.high;
    summary.minValue = run.low;
    summary.maxTake = run.highTake;
    summary.minTake = run.lowTake;
    sum = run.sum;
}

}  // namespace

// The lanes proper, built into each copy (see wide_instructions.h).
struct SummaryRows {
    template <std::size_t kW, SummaryTakes kTakes>
    [[gnu::always_inline]] static void add(std::span<SummaryAccumulator* const> accumulators, int firstTake,
                                           const double* rows, std::size_t stride, int takeCount) noexcept
    {
        std::size_t k = 0;
        for (; k + kW <= accumulators.size(); k += kW) {
            CurveSummary* summaries[kW];
            OrderedSum* sums[kW];
            for (std::size_t j = 0; j < kW; ++j) {
                summaries[j] = &accumulators[k + j]->m_summary;
                sums[j] = &accumulators[k + j]->m_sum;
            }
            const double* from = rows + k;
            addLanes<kW, kTakes>(summaries, sums, firstTake, takeCount, [from, stride](int i, auto& v) {
                std::memcpy(&v, from + static_cast<std::size_t>(i) * stride, sizeof v);
            });
        }
        // Two or three columns left: lanes too, the spare ones fed gaps into
        // accumulators of their own, so that their sums do not wait for
        // each other as the plain loop's do (a 3,600,000-take log's last
        // columns took a tenth of its report).
        if (const std::size_t left = accumulators.size() - k; left >= 2) {
            CurveSummary spareSummaries[kW];
            OrderedSum spareSums[kW];
            CurveSummary* summaries[kW];
            OrderedSum* sums[kW];
            for (std::size_t j = 0; j < kW; ++j) {
                summaries[j] = j < left ? &accumulators[k + j]->m_summary : &spareSummaries[j];
                sums[j] = j < left ? &accumulators[k + j]->m_sum : &spareSums[j];
            }
            const double* from = rows + k;
            addLanes<kW, kTakes>(summaries, sums, firstTake, takeCount, [from, stride, left](int i, auto& v) {
                const double* const row = from + static_cast<std::size_t>(i) * stride;
                for (std::size_t j = 0; j < kW; ++j)
                    v[j] = j < left ? row[j] : std::numeric_limits<double>::quiet_NaN();
            });
            return;
        }
        for (; k < accumulators.size(); ++k)
            addColumn(accumulators[k]->m_summary, accumulators[k]->m_sum, firstTake, rows + k, stride, takeCount);
    }
#if defined(DLV_WIDE_INSTRUCTIONS)
    template <SummaryTakes kTakes>
    DLV_WIDE_INSTRUCTIONS static void addWide(std::span<SummaryAccumulator* const> accumulators, int firstTake,
                                              const double* rows, std::size_t stride, int takeCount) noexcept
    {
        add<4, kTakes>(accumulators, firstTake, rows, stride, takeCount);
    }
#endif
};

namespace {

// Calls f with the takes' choice as a constant.
template <class F>
void withTakes(SummaryTakes takes, F&& f)
{
    if (takes == SummaryTakes::Kept)
        f(std::integral_constant<SummaryTakes, SummaryTakes::Kept>{});
    else
        f(std::integral_constant<SummaryTakes, SummaryTakes::Skipped>{});
}

}  // namespace

void SummaryAccumulator::addRows(std::span<SummaryAccumulator* const> accumulators, int firstTake, const double* rows,
                                 std::size_t stride, int takeCount, SummaryTakes takes) noexcept
{
    if (takeCount <= 0)
        return;
    withTakes(takes, [&](auto kept) {
#if defined(DLV_WIDE_INSTRUCTIONS)
        if (useWideInstructions()) {
            SummaryRows::addWide<decltype(kept)::value>(accumulators, firstTake, rows, stride, takeCount);
            return;
        }
#endif
        SummaryRows::add<2, decltype(kept)::value>(accumulators, firstTake, rows, stride, takeCount);
    });
}

// The same lanes over series held apart (a ColumnBlock's columns), each
// lane's number loaded from its own series.
struct SummaryColumns {
    template <std::size_t kW, SummaryTakes kTakes>
    [[gnu::always_inline]] static void add(std::span<SummaryAccumulator* const> accumulators, int firstTake,
                                           std::span<const std::span<const double>> values) noexcept
    {
        const int takeCount = static_cast<int>(values[0].size());
        std::size_t k = 0;
        for (; k + kW <= accumulators.size(); k += kW) {
            CurveSummary* summaries[kW];
            OrderedSum* sums[kW];
            const double* from[kW];
            for (std::size_t j = 0; j < kW; ++j) {
                summaries[j] = &accumulators[k + j]->m_summary;
                sums[j] = &accumulators[k + j]->m_sum;
                from[j] = values[k + j].data();
            }
            addLanes<kW, kTakes>(summaries, sums, firstTake, takeCount, [&from](int i, auto& v) {
                for (std::size_t j = 0; j < kW; ++j)
                    v[j] = from[j][i];
            });
        }
        for (; k < accumulators.size(); ++k)
            addColumn(accumulators[k]->m_summary, accumulators[k]->m_sum, firstTake, values[k].data(), 1, takeCount);
    }
#if defined(DLV_WIDE_INSTRUCTIONS)
    template <SummaryTakes kTakes>
    DLV_WIDE_INSTRUCTIONS static void addWide(std::span<SummaryAccumulator* const> accumulators, int firstTake,
                                              std::span<const std::span<const double>> values) noexcept
    {
        add<4, kTakes>(accumulators, firstTake, values);
    }
#endif
};

void SummaryAccumulator::addEach(std::span<SummaryAccumulator* const> accumulators, int firstTake,
                                 std::span<const std::span<const double>> values, SummaryTakes takes) noexcept
{
    if (accumulators.empty() || values[0].empty())
        return;
    // One series: its sum is one chain whatever is done, so the plain loop.
    if (accumulators.size() == 1) {
        addColumn(accumulators[0]->m_summary, accumulators[0]->m_sum, firstTake, values[0].data(), 1,
                  static_cast<int>(values[0].size()));
        return;
    }
    withTakes(takes, [&](auto kept) {
#if defined(DLV_WIDE_INSTRUCTIONS)
        if (useWideInstructions()) {
            SummaryColumns::addWide<decltype(kept)::value>(accumulators, firstTake, values);
            return;
        }
#endif
        SummaryColumns::add<2, decltype(kept)::value>(accumulators, firstTake, values);
    });
}

CurveSummary SummaryAccumulator::summary() const noexcept
{
    CurveSummary s = m_summary;
    if (s.count > 0)
        s.average = m_sum.mean(s.count);
    return s;
}

namespace {

// The lowest and highest of n >= 1 values, and whether one of them is NaN
// (then low and high mean nothing). Two values a step, in four independent
// chains, so that a run of hundreds of takes costs about what reading it does.
struct RunExtent {
    double low;
    double high;
    bool gap;
};

[[nodiscard]] RunExtent runExtent(const double* v, std::size_t n) noexcept
{
    std::size_t i = 0;
    double low = v[0];
    double high = v[0];
    bool gap = std::isnan(v[0]);
#if defined(__SSE2__)
    if (n >= 4) {
        __m128d lowA = _mm_set1_pd(v[0]);
        __m128d highA = lowA;
        __m128d lowB = lowA;
        __m128d highB = lowA;
        __m128d gaps = _mm_setzero_pd();
        for (; i + 4 <= n; i += 4) {
            const __m128d a = _mm_loadu_pd(v + i);
            const __m128d b = _mm_loadu_pd(v + i + 2);
            lowA = _mm_min_pd(lowA, a);
            highA = _mm_max_pd(highA, a);
            lowB = _mm_min_pd(lowB, b);
            highB = _mm_max_pd(highB, b);
            gaps = _mm_or_pd(gaps, _mm_cmpunord_pd(a, b));
        }
        alignas(16) double lows[2];
        alignas(16) double highs[2];
        _mm_store_pd(lows, _mm_min_pd(lowA, lowB));
        _mm_store_pd(highs, _mm_max_pd(highA, highB));
        low = std::min(lows[0], lows[1]);
        high = std::max(highs[0], highs[1]);
        gap = gap || _mm_movemask_pd(gaps) != 0;
    }
#endif
    for (; i < n; ++i) {
        const double x = v[i];
        gap = gap || std::isnan(x);
        low = std::min(low, x);
        high = std::max(high, x);
    }
    return {low, high, gap};
}

// Threads for a split pass over a curve's takes. Both passes are short
// beside the wait for a core: on two cores a second thread made them slower
// (3,600,000 takes under load: summary 7.1 ms split against 4.6 ms, the
// envelope of the whole log 4.4 ms against 2.1 ms), so only three cores or
// more split.
[[nodiscard]] std::size_t curveParts(std::size_t items, std::size_t minPerPart) noexcept
{
    const std::size_t parts = partCount(items, minPerPart);
    return parts >= 3 ? parts : 1;
}

// Takes below which splitting a summary does not pay for the threads.
constexpr std::size_t kMinSummaryTakes = std::size_t{1} << 16;

// The extremes and the count of values (take firstTake + i at i) and, when
// sum is given, the numbers added to it in take order beside them in the
// same pass (a gap adds +0.0, as in orderedSumOf). Strict comparisons from
// the first number on: the first take wins. Without a branch per number
// but the rule's own, one pass costs a fifth less than adding each number
// to a SummaryAccumulator.
template <bool kWithSum>
[[nodiscard]] CurveSummary scanValues(int firstTake, std::span<const double> values, OrderedSum* sum) noexcept
{
    CurveSummary s;
    const std::size_t n = values.size();
    std::size_t i = 0;
    while (i < n && std::isnan(values[i]))
        ++i;
    if (i == n)
        return s;
    double high = values[i];
    double low = high;
    std::size_t highAt = i;
    std::size_t lowAt = i;
    std::size_t gaps = i;
    OrderedSum running = kWithSum ? *sum : OrderedSum();
    if constexpr (kWithSum)
        running.add(high);
    // A block at a time: where it has no gap its extremes are swept first,
    // several values a step, and taken only when strictly beyond the ones
    // so far, at their first take in the block; the additions in take
    // order, the one chain that cannot be shortened, then have the loop to
    // themselves.
    constexpr std::size_t kBlock = 256;
    for (++i; i < n;) {
        const std::size_t m = std::min(kBlock, n - i);
        const double* const v = values.data() + i;
        const RunExtent extent = runExtent(v, m);
        if (!extent.gap) {
            // x is one of them; -0 and +0 equal as in the rule. Four at a
            // step: in a rising (or falling) series every block has a new
            // highest (lowest) near its end.
            const auto firstEqual = [v, m](double x) {
                std::size_t j = 0;
#if defined(__SSE2__)
                const __m128d wanted = _mm_set1_pd(x);
                for (; j + 4 <= m; j += 4) {
                    const int a = _mm_movemask_pd(_mm_cmpeq_pd(_mm_loadu_pd(v + j), wanted));
                    const int b = _mm_movemask_pd(_mm_cmpeq_pd(_mm_loadu_pd(v + j + 2), wanted));
                    if ((a | b) != 0)
                        return j + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(a | (b << 2))));
                }
#endif
                while (!(v[j] == x))
                    ++j;
                return j;
            };
            if (extent.high > high) {
                const std::size_t j = firstEqual(extent.high);
                high = v[j];
                highAt = i + j;
            }
            if (extent.low < low) {
                const std::size_t j = firstEqual(extent.low);
                low = v[j];
                lowAt = i + j;
            }
            if constexpr (kWithSum)
                for (std::size_t j = 0; j < m; ++j)
                    running.add(v[j]);
        } else {
            for (std::size_t j = 0; j < m; ++j) {
                const double x = v[j];
                const bool gap = std::isnan(x);  // NaN fails both comparisons of the rule
                gaps += gap ? 1 : 0;
                if constexpr (kWithSum)
                    running.add(gap ? 0.0 : x);
                widenExtremes(x, i + j, high, highAt, low, lowAt);
            }
        }
        i += m;
    }
    if constexpr (kWithSum)
        *sum = running;
    s.count = static_cast<int>(n - gaps);
    s.maxValue = high;
    s.maxTake = firstTake + static_cast<int>(highAt);
    s.minValue = low;
    s.minTake = firstTake + static_cast<int>(lowAt);
    return s;
}

[[nodiscard]] CurveSummary extremesOf(int firstTake, std::span<const double> values) noexcept
{
    return scanValues<false>(firstTake, values, nullptr);
}

// later's takes all come after into's: on equal values into's take stays.
void mergeExtremes(CurveSummary& into, const CurveSummary& later) noexcept
{
    if (later.count == 0)
        return;
    if (into.count == 0) {
        into = later;
        return;
    }
    into.count += later.count;
    if (later.maxValue > into.maxValue) {
        into.maxValue = later.maxValue;
        into.maxTake = later.maxTake;
    }
    if (later.minValue < into.minValue) {
        into.minValue = later.minValue;
        into.minTake = later.minTake;
    }
}

// The numbers of values added in take order. A gap adds +0.0, which leaves
// the sum as it is: a sum that starts at +0.0 never becomes -0.0. No branch
// per take, so NaN runs cost no mispredictions.
[[nodiscard]] OrderedSum orderedSumOf(std::span<const double> values) noexcept
{
    OrderedSum sum;
    for (const double v : values)
        sum.add(std::isnan(v) ? 0.0 : v);
    return sum;
}

}  // namespace

CurveSummary summarizeValues(std::span<const double> values, std::size_t parts)
{
    const std::size_t n = values.size();
    // One part sums in take order (a chain of dependent additions, the
    // longest piece); the others share the extremes by take ranges.
    if (parts == 0)
        parts = curveParts(n, kMinSummaryTakes);
    if (parts < 2) {
        OrderedSum sum;
        CurveSummary s = scanValues<true>(0, values, &sum);
        if (s.count > 0)
            s.average = sum.mean(s.count);
        return s;
    }
    const std::size_t ranges = parts - 1;
    std::vector<CurveSummary> extremes(ranges);
    OrderedSum sum;
    runParts(parts, [&](std::size_t k) {
        if (k == 0) {
            sum = orderedSumOf(values);
            return;
        }
        const std::size_t begin = n * (k - 1) / ranges;
        const std::size_t end = n * k / ranges;
        extremes[k - 1] = extremesOf(static_cast<int>(begin), values.subspan(begin, end - begin));
    });
    CurveSummary s;
    for (const CurveSummary& part : extremes)
        mergeExtremes(s, part);
    if (s.count > 0)
        s.average = sum.mean(s.count);
    return s;
}

CurveSummary summarizeSeries(const ParamSeries& series)
{
    return summarizeValues(series.values());
}

CurveLabels curveLabels(const CurveSummary& summary, std::string_view decimalSeparator)
{
    if (!summary.hasNumbers())
        return {};
    return {formatFixed2(summary.maxValue, decimalSeparator), formatFixed2(summary.average, decimalSeparator),
            formatFixed2(summary.minValue, decimalSeparator)};
}

CurveScale::CurveScale(double left, double top, double width, double height) noexcept
    : m_left(std::isfinite(left) ? left : 0.0),
      m_top(std::isfinite(top) ? top : 0.0),
      m_width(positiveOrOne(width)),
      m_height(positiveOrOne(height))
{
}

double CurveScale::toPixelX(double x, double widthPx) const noexcept
{
    return (x - m_left) / m_width * std::max(widthPx, 1.0);
}

double CurveScale::toPixelY(double y, double heightPx) const noexcept
{
    return (y - m_top) / m_height * std::max(heightPx, 1.0);
}

double CurveScale::toUserX(double px, double widthPx) const noexcept
{
    return m_left + px / std::max(widthPx, 1.0) * m_width;
}

double CurveScale::toUserY(double py, double heightPx) const noexcept
{
    return m_top + py / std::max(heightPx, 1.0) * m_height;
}

CurveLayout CurveLayout::of(int lastTake, const CurveSummary& summary) noexcept
{
    CurveLayout layout;
    layout.width = lastTake >= 1 ? static_cast<double>(lastTake) : 1.0;
    if (summary.hasNumbers()) {
        layout.maxValue = summary.maxValue;
        const double bottom = std::min(-1.0, summary.minValue);
        const double h = summary.maxValue - bottom;
        layout.height = h > 0.0 ? h : 1.0;
    }
    return layout;
}

namespace {

// Pixel columns being filled; the right edge x = widthPx belongs to the last
// column. A pass writes only the columns it owns, [ownFirst, ownEnd), so that
// passes over neighbouring column ranges can run side by side.
struct Columns {
    ColumnExtent* cols;
    int width;
    double widthPx;
    int ownFirst;
    int ownEnd;

    [[nodiscard]] int column(double px) const noexcept
    {
        const int c = static_cast<int>(px);  // px >= 0 here
        return c < width ? c : width - 1;
    }

    [[nodiscard]] bool owns(int c) const noexcept { return c >= ownFirst && c < ownEnd; }

    void extend(int c, double a, double b) const noexcept
    {
        if (!owns(c))
            return;
        ColumnExtent& e = cols[c];
        e.low = std::min(e.low, std::min(a, b));
        e.high = std::max(e.high, std::max(a, b));
    }

    void dot(double px, double v) const noexcept
    {
        if (px >= 0.0 && px <= widthPx)
            extend(column(px), v, v);
    }

    // Segment from (pa, va) to (pb, vb) in pixel x, pa < pb, over any number
    // of columns: each column gets the values where the segment crosses its
    // edges; the parts outside the surface are cut off.
    [[gnu::noinline]] void segment(double pa, double va, double pb, double vb) const noexcept
    {
        if (pb < 0.0 || pa > widthPx)
            return;
        const long double slope = (static_cast<long double>(vb) - va) / (pb - pa);  // no overflow for far-apart values
        if (pa < 0.0) {
            va += slope * (0.0 - pa);
            pa = 0.0;
        }
        if (pb > widthPx) {
            vb -= slope * (pb - widthPx);
            pb = widthPx;
        }
        const int ca = column(pa);
        const int cb = column(pb);
        if (ca == cb) {
            extend(ca, va, vb);
            return;
        }
        double edgeValue = va + slope * (static_cast<double>(ca + 1) - pa);
        extend(ca, va, edgeValue);
        for (int c = ca + 1; c < cb; ++c) {
            const double next = va + slope * (static_cast<double>(c + 1) - pa);
            extend(c, edgeValue, next);
            edgeValue = next;
        }
        extend(cb, edgeValue, vb);
    }
};

// The takes whose segments can reach the visible range, plus one on each
// side (clipped away when drawn) so that a segment entering the range is kept.
struct TakeRange {
    int first;
    int last;  // below first: none
};

[[nodiscard]] TakeRange visibleTakes(int n, const CurveScale& scale) noexcept
{
    if (n < 2 || scale.right() < 0.0 || scale.left() > static_cast<double>(n - 1))
        return {0, -1};
    const double firstInside = std::ceil(scale.left());
    const double lastInside = std::min(std::floor(scale.right()), static_cast<double>(n - 1));
    const int first = firstInside <= 0.0 ? 0 : static_cast<int>(firstInside) - 1;
    return {first, std::min(n - 1, static_cast<int>(lastInside) + 1)};
}

// Takes below which a run inside one column is not worth looking for.
constexpr int kMinRun = 16;

// Fills out's columns from takes from .. to of the visible takes `all`
// (series of two takes or more). Every take whose segments reach the owned
// columns must lie in from .. to; further takes change nothing. Each owned
// column sees the same values in the same take order whatever the split, so
// the result is the same to the bit.
void fillEnvelope(const double* v, int n, TakeRange all, int from, int to, const CurveScale& scale,
                  const Columns& out) noexcept
{
    // The same arithmetic as CurveScale::toPixelX, so that a take on a column
    // edge lands in the same column as a line drawn to it.
    auto px = [&](int t) { return scale.toPixelX(static_cast<double>(t), out.widthPx); };

    // Hundreds of takes share a column when the whole log is shown: the
    // current column's extent stays in locals (registers) and is stored only
    // when the column changes or a segment takes the general path.
    int current = -1;
    double low = 0.0;
    double high = 0.0;
    auto store = [&] {
        if (current >= 0)
            out.cols[current] = ColumnExtent{low, high};
        current = -1;
    };
    // Column c (when owned) covers lo .. hi too.
    auto widen = [&](int c, double lo, double hi) {
        if (!out.owns(c))
            return;
        if (c != current) {
            store();
            current = c;
            low = out.cols[c].low;
            high = out.cols[c].high;
        }
        low = std::min(low, lo);
        high = std::max(high, hi);
    };

    // Takes t .. last share column c, inside the surface.
    auto inColumn = [&](int t, int c) {
        const double p = px(t);
        return p >= 0.0 && p <= out.widthPx && out.column(p) == c;
    };
    // The last take of `all` from t on in pCur's column (t itself when pCur
    // lies off the surface); px grows with t, so a guess from the column's
    // right edge is corrected by a step or two.
    auto lastInColumn = [&](int t, double pCur) {
        if (!(pCur >= 0.0 && pCur <= out.widthPx))
            return t;
        const int c = out.column(pCur);
        const double edge = std::floor(scale.toUserX(static_cast<double>(c + 1), out.widthPx));
        int last = static_cast<int>(std::clamp(edge, static_cast<double>(t), static_cast<double>(all.last)));
        while (last > t && !inColumn(last, c))
            --last;
        while (last < all.last && inColumn(last + 1, c))
            ++last;
        return last;
    };

    bool prevNumber = from > all.first && !std::isnan(v[from - 1]);
    double pCur = px(from);
    int noRunBefore = from;  // a run with a gap was found up to here
    for (int t = from; t <= to; ++t) {
        // Hundreds of takes in one column with no gap among them: their
        // segments cover exactly their lowest to highest value, found in
        // one sweep; the last of them goes on as any take.
        if (t >= noRunBefore) {
            const int last = std::min(lastInColumn(t, pCur), to);
            if (last - t >= kMinRun) {
                const RunExtent run = runExtent(v + t, static_cast<std::size_t>(last - t) + 1);
                if (run.gap) {
                    noRunBefore = last;
                } else {
                    widen(out.column(pCur), run.low, run.high);
                    t = last;
                    prevNumber = true;
                    pCur = px(t);
                }
            }
        }
        const double pNext = px(t + 1);
        const double a = v[t];
        if (std::isnan(a)) {
            prevNumber = false;
            pCur = pNext;
            continue;
        }
        const bool nextNumber = t + 1 < n && !std::isnan(v[t + 1]);
        if (nextNumber && t < all.last) {
            const double b = v[t + 1];
            const int c = pCur >= 0.0 && pNext <= out.widthPx ? out.column(pCur) : -1;
            if (c >= 0 && c == out.column(pNext)) {
                widen(c, std::min(a, b), std::max(a, b));
            } else {
                store();
                out.segment(pCur, a, pNext, b);
            }
        } else if (!nextNumber && !prevNumber) {
            store();
            out.dot(pCur, a);
        }
        prevNumber = true;
        pCur = pNext;
    }
    store();
}

// Visible takes below which splitting an envelope does not pay for the
// threads: runs inside a column cost about a nanosecond a take, so only a
// series broken by many gaps gains.
constexpr std::size_t kMinEnvelopeTakes = std::size_t{1} << 18;

void fillEnvelope(std::span<const double> values, const CurveScale& scale, ColumnExtent* cols, int width,
                  std::size_t parts)
{
    const int n = static_cast<int>(values.size());
    const double widthPx = static_cast<double>(width);
    const Columns whole{cols, width, widthPx, 0, width};
    if (n == 1) {
        if (!std::isnan(values[0]))
            whole.segment(scale.toPixelX(0.0, widthPx), values[0], scale.toPixelX(1.0, widthPx), values[0]);
        return;
    }
    const TakeRange all = visibleTakes(n, scale);
    if (all.last < all.first)
        return;
    const std::size_t taken = static_cast<std::size_t>(all.last - all.first) + 1;
    if (parts == 0)
        parts = curveParts(taken, kMinEnvelopeTakes);
    parts = std::min(parts, static_cast<std::size_t>(width));
    // Each part owns a range of pixel columns and walks the takes that reach
    // it: the columns' user x edges widened by two takes each way, which
    // covers any rounding between the pixel and the user arithmetic.
    runParts(parts, [&](std::size_t k) {
        const int c0 = static_cast<int>(static_cast<std::size_t>(width) * k / parts);
        const int c1 = static_cast<int>(static_cast<std::size_t>(width) * (k + 1) / parts);
        int from = all.first;
        int to = all.last;
        if (k > 0)
            from = static_cast<int>(std::clamp(std::floor(scale.toUserX(c0, widthPx)) - 2.0,
                                               static_cast<double>(all.first), static_cast<double>(all.last)));
        if (k + 1 < parts)
            to = static_cast<int>(std::clamp(std::ceil(scale.toUserX(c1, widthPx)) + 2.0,
                                             static_cast<double>(all.first), static_cast<double>(all.last)));
        fillEnvelope(values.data(), n, all, from, to, scale, Columns{cols, width, widthPx, c0, c1});
    });
}

}  // namespace

CurveEnvelope CurveEnvelope::build(const ParamSeries& series, double x0, double x1, int widthPx)
{
    return build(series.values(), x0, x1, widthPx);
}

CurveEnvelope CurveEnvelope::build(std::span<const double> values, double x0, double x1, int widthPx,
                                   std::size_t parts)
{
    CurveEnvelope env;
    const int w = std::max(widthPx, 1);
    const CurveScale scale(x0, 0.0, x1 - x0, 1.0);
    env.m_x0 = scale.left();
    env.m_x1 = scale.right();
    env.m_columns.assign(static_cast<std::size_t>(w),
                         ColumnExtent{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
    fillEnvelope(values, scale, env.m_columns.data(), w, parts);
    return env;
}

CurveZoom::CurveZoom(double fullLeft, double fullWidth, double minSpan) noexcept
    : m_fullLeft(std::isfinite(fullLeft) ? fullLeft : 0.0),
      m_fullWidth(positiveOrOne(fullWidth)),
      m_minSpan(std::isfinite(minSpan) && minSpan > 0.0 ? minSpan : kMinSpan),
      m_left(m_fullLeft),
      m_width(m_fullWidth)
{
}

double CurveZoom::minSpan() const noexcept
{
    return std::min(m_minSpan, m_fullWidth);
}

void CurveZoom::clampLeft() noexcept
{
    m_left = std::clamp(m_left, m_fullLeft, m_fullLeft + m_fullWidth - m_width);
}

void CurveZoom::setVisible(double left, double width) noexcept
{
    if (!std::isfinite(left) || !std::isfinite(width))
        return;
    m_width = std::clamp(width, minSpan(), m_fullWidth);
    m_left = left;
    if (m_width >= m_fullWidth)
        m_left = m_fullLeft;  // whole again: no rounding left over
    clampLeft();
}

void CurveZoom::zoomAt(double anchor, double fraction, double factor) noexcept
{
    if (!std::isfinite(anchor) || !std::isfinite(fraction) || !std::isfinite(factor) || factor <= 0.0)
        return;
    const double width = std::clamp(m_width / factor, minSpan(), m_fullWidth);
    setVisible(anchor - fraction * width, width);
}

void CurveZoom::panBy(double dx) noexcept
{
    if (!std::isfinite(dx))
        return;
    m_left += dx;
    clampLeft();
}

void CurveZoom::reset() noexcept
{
    m_left = m_fullLeft;
    m_width = m_fullWidth;
}

int clickedTake(double x) noexcept
{
    if (std::isnan(x))
        return -1;
    const double r = roundHalfEven(x);
    if (r <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (r >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(r);
}

std::string_view clickedValueText(const TakeStore& store, long long p, int t) noexcept
{
    return store.Get_Param_data(p, t).value_or(std::string_view{});
}

std::string_view clickedValueText(const LogChannels& log, long long p, int t, std::string& scratch)
{
    return log.shownValue(p, t, scratch).value_or(std::string_view{});
}

int clickedGridColumn(int t, int colCount) noexcept
{
    if (colCount < 2)
        return 0;
    const long long col = static_cast<long long>(t) + 1;
    return static_cast<int>(std::clamp<long long>(col, 1, colCount - 1));
}

}  // namespace dlv
