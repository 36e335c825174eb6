#include "charts/automatic_alignment.h"

#include "charts/cross_correlation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace dlv {

namespace {

// A variance over some points below this share of their mean square counts
// as none: they do not change, whatever rounding left over (a stretch at one
// level, the even changes of a ramp).
constexpr double kNoChange = 1e-10;

// The FFT searches a grid of at most this many points (both channels): a
// transform of 2^16 points, a few milliseconds. Only a channel far shorter
// than the other (which keeps kFewestBlocks blocks) makes it larger.
constexpr std::size_t kSearchPoints = std::size_t{1} << 16;

// The FFT's coarser grid keeps at least this many blocks of the shorter
// channel, and each channel's grid at least this many points.
constexpr std::size_t kFewestBlocks = 64;
constexpr std::size_t kFewestPoints = 8;

// The lags either side of the region's best that the changes are tried at,
// at least; and the correlation the region's score takes at most (a perfect
// match would score infinity).
constexpr long long kFewestLags = 8;
constexpr double kHighestR = 1.0 - 1e-9;

// The refinement on the takes tries at most this many offsets a grid step.
constexpr double kRefineSteps = 10.0;

// The takes of one log that have a time and a number of the channel, in
// take order, as (time, value).
class SampleWalk final {
public:
    SampleWalk(const LogTimeline& timeline, std::span<const double> values) noexcept
        : m_timeline(timeline), m_values(values), m_count(timeline.timedCount())
    {
    }

    bool next(double& time, double& value) noexcept
    {
        while (m_k < m_count) {
            const int take = m_timeline.timedTake(m_k++);
            if (static_cast<std::size_t>(take) >= m_values.size())
                continue;
            const double v = m_values[static_cast<std::size_t>(take)];
            if (!std::isfinite(v))
                continue;
            time = m_timeline.timeOfTimed(m_k - 1);
            value = v;
            return true;
        }
        return false;
    }

private:
    const LogTimeline& m_timeline;
    std::span<const double> m_values;
    int m_count = 0;
    int m_k = 0;
};

// What the alignment needs to know of one channel's samples.
struct Samples {
    const LogTimeline* timeline = nullptr;
    std::span<const double> values;
    long long count = 0;
    double first = 0.0;  // times of the first and last sample
    double last = 0.0;
    double low = 0.0;    // smallest and largest value
    double high = 0.0;
    double mean = 0.0;

    [[nodiscard]] SampleWalk walk() const noexcept { return {*timeline, values}; }
    [[nodiscard]] double span() const noexcept { return last - first; }
};

Samples describe(const LogTimeline& timeline, std::span<const double> values) noexcept
{
    Samples s;
    s.timeline = &timeline;
    s.values = values;
    SampleWalk walk = s.walk();
    double time = 0.0;
    double value = 0.0;
    if (!walk.next(time, value))
        return s;
    // The sum about the first value, so that a channel far from zero keeps
    // its digits.
    const double origin = value;
    s.first = time;
    s.low = s.high = value;
    double sum = 0.0;
    do {
        s.last = time;
        s.low = std::min(s.low, value);
        s.high = std::max(s.high, value);
        ++s.count;
        sum += value - origin;
    } while (walk.next(time, value));
    s.mean = origin + sum / static_cast<double>(s.count);
    return s;
}

// A channel's value at times that never decrease, none before its first
// sample: linear between the samples around the time (across gaps), the
// last sample's value from the last sample's time on.
class Interpolator final {
public:
    explicit Interpolator(SampleWalk walk) noexcept : m_walk(walk)
    {
        m_hasNext = m_walk.next(m_t0, m_v0) && m_walk.next(m_t1, m_v1);
    }

    [[nodiscard]] double at(double time) noexcept
    {
        while (m_hasNext && m_t1 <= time) {
            m_t0 = m_t1;
            m_v0 = m_v1;
            m_hasNext = m_walk.next(m_t1, m_v1);
        }
        if (!m_hasNext)
            return m_v0;
        // m_t0 <= time < m_t1 here, so the two times differ.
        return m_v0 + (m_v1 - m_v0) * ((time - m_t0) / (m_t1 - m_t0));
    }

private:
    SampleWalk m_walk;
    double m_t0 = 0.0, m_v0 = 0.0, m_t1 = 0.0, m_v1 = 0.0;
    bool m_hasNext = false;
};

// The channel on the grid first + i * step, i < points, less its mean.
std::vector<double> resample(const Samples& s, double step, std::size_t points)
{
    std::vector<double> out(points);
    Interpolator values(s.walk());
    for (std::size_t i = 0; i < points; ++i)
        out[i] = values.at(s.first + static_cast<double>(i) * step) - s.mean;
    return out;
}

// The change from each point to the next.
std::vector<double> changes(const std::vector<double>& values)
{
    std::vector<double> out(values.empty() ? 0 : values.size() - 1);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = values[i + 1] - values[i];
    return out;
}

// The means of blocks of d points (the last one of what is left): the grid
// d times coarser, with what changes faster than a block smoothed away.
std::vector<double> blockMeans(const std::vector<double>& values, std::size_t d)
{
    std::vector<double> out((values.size() + d - 1) / d);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t end = std::min(values.size(), (i + 1) * d);
        double sum = 0.0;
        for (std::size_t k = i * d; k < end; ++k)
            sum += values[k];
        out[i] = sum / static_cast<double>(end - i * d);
    }
    return out;
}

// Pearson's r from the sums over n pairs (x, y), none when either does not
// change over them.
struct PairSums {
    double n = 0.0, x = 0.0, y = 0.0, xx = 0.0, yy = 0.0, xy = 0.0;

    void add(double vx, double vy) noexcept
    {
        n += 1.0;
        x += vx;
        y += vy;
        xx += vx * vx;
        yy += vy * vy;
        xy += vx * vy;
    }

    [[nodiscard]] std::optional<double> correlation() const noexcept
    {
        if (n < 2.0)
            return std::nullopt;
        const double vx = xx - x * x / n;
        const double vy = yy - y * y / n;
        if (!(vx > kNoChange * xx) || !(vy > kNoChange * yy))
            return std::nullopt;
        return std::clamp((xy - x * y / n) / std::sqrt(vx * vy), -1.0, 1.0);
    }
};

// A series on a uniform grid with its running sums (element i of each
// covers values 0 .. i - 1).
struct Grid {
    std::vector<double> values;
    std::vector<double> sum;
    std::vector<double> squares;

    explicit Grid(std::vector<double> v) : values(std::move(v)), sum(values.size() + 1, 0.0), squares(sum)
    {
        for (std::size_t i = 0; i < values.size(); ++i) {
            sum[i + 1] = sum[i] + values[i];
            squares[i + 1] = squares[i] + values[i] * values[i];
        }
    }
    [[nodiscard]] long long size() const noexcept { return static_cast<long long>(values.size()); }
};

// Two grids of the same step: lag L pairs b[j] with a[j + L].
struct GridPair {
    const Grid& a;
    const Grid& b;

    // The lags that overlap the grids by at least minPoints points.
    [[nodiscard]] long long lowLag(long long minPoints) const noexcept { return minPoints - b.size(); }
    [[nodiscard]] long long highLag(long long minPoints) const noexcept { return a.size() - minPoints; }

    // Pearson's r at lag from the sum of the products there. O(1).
    [[nodiscard]] std::optional<double> correlation(long long lag, double products) const noexcept
    {
        const auto [jLow, jHigh] = range(lag);
        const auto iLow = static_cast<std::size_t>(static_cast<long long>(jLow) + lag);
        const auto iHigh = static_cast<std::size_t>(static_cast<long long>(jHigh) + lag);
        const PairSums sums{static_cast<double>(jHigh - jLow),
                            a.sum[iHigh] - a.sum[iLow],
                            b.sum[jHigh] - b.sum[jLow],
                            a.squares[iHigh] - a.squares[iLow],
                            b.squares[jHigh] - b.squares[jLow],
                            products};
        return sums.correlation();
    }

    // The same with the products summed here. O(overlap).
    [[nodiscard]] std::optional<double> correlation(long long lag) const noexcept
    {
        const auto [jLow, jHigh] = range(lag);
        if (jLow >= jHigh)
            return std::nullopt;
        const double* x = a.values.data() + static_cast<std::ptrdiff_t>(static_cast<long long>(jLow) + lag);
        const double* y = b.values.data() + jLow;
        const std::size_t n = jHigh - jLow;
        // Four sums, so that the additions need not wait on each other.
        double s[4] = {0.0, 0.0, 0.0, 0.0};
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4)
            for (std::size_t k = 0; k < 4; ++k)
                s[k] += x[i + k] * y[i + k];
        for (; i < n; ++i)
            s[0] += x[i] * y[i];
        return correlation(lag, (s[0] + s[1]) + (s[2] + s[3]));
    }

    // The points that lag overlaps.
    [[nodiscard]] std::size_t overlap(long long lag) const noexcept
    {
        const auto [jLow, jHigh] = range(lag);
        return jHigh > jLow ? jHigh - jLow : 0;
    }

private:
    // The j that lag pairs, jLow .. jHigh - 1.
    [[nodiscard]] std::pair<std::size_t, std::size_t> range(long long lag) const noexcept
    {
        return {static_cast<std::size_t>(std::max(0LL, -lag)),
                static_cast<std::size_t>(std::max(0LL, std::min(b.size(), a.size() - lag)))};
    }
};

// The best lag in low .. high by score (none where it gives none), and, while
// the best sits on an edge, beyond it as long as that gets better, up to
// climb further lags a side; all within limitLow .. limitHigh (a window off
// them shrinks to the nearest lag within).
template <class Score>
std::optional<long long> bestLag(long long low, long long high, long long limitLow, long long limitHigh,
                                 long long climb, Score&& score, double& best)
{
    std::optional<long long> at;
    best = -std::numeric_limits<double>::infinity();
    if (limitLow > limitHigh)
        return at;
    auto consider = [&](long long lag) {
        if (const std::optional<double> r = score(lag); r && *r > best) {
            best = *r;
            at = lag;
        }
    };
    low = std::clamp(low, limitLow, limitHigh);
    high = std::clamp(high, limitLow, limitHigh);
    for (long long lag = low; lag <= high; ++lag)
        consider(lag);
    for (long long lag = low - 1; at == lag + 1 && lag >= std::max(limitLow, low - climb); --lag)
        consider(lag);
    for (long long lag = high + 1; at == lag - 1 && lag <= std::min(limitHigh, high + climb); ++lag)
        consider(lag);
    return at;
}

std::string logName(bool isA)
{
    return isA ? "the log on show" : "the overlaid log";
}

AlignmentResult refused(AlignmentProblem problem, std::string reason)
{
    AlignmentResult out;
    out.problem = problem;
    out.reason = std::move(reason);
    return out;
}

// Why a channel cannot be aligned on its own, if it cannot.
std::optional<AlignmentResult> unusable(const Samples& s, bool isA)
{
    if (s.count < 2 || !(s.last > s.first))
        return refused(AlignmentProblem::NoNumbers,
                       "the channel has fewer than two numbers at different times in " + logName(isA));
    if (s.low == s.high)
        return refused(AlignmentProblem::Flat, "the channel never changes in " + logName(isA));
    return std::nullopt;
}

// The correlations at one offset, take by take: the coarser log (walked) is
// paired take by take with the other (read) at each take's time plus shift;
// that of the changes from each take to the next, which the search
// maximises, and that of the values.
struct TakeScore {
    std::optional<double> changes;
    std::optional<double> values;
};

TakeScore scoreOnTakes(const Samples& walked, const Samples& read, double shift)
{
    SampleWalk takes = walked.walk();
    Interpolator other(read.walk());
    PairSums changed;
    PairSums valued;
    double time = 0.0;
    double value = 0.0;
    bool previous = false;
    double previousX = 0.0;
    double previousY = 0.0;
    while (takes.next(time, value)) {
        const double at = time + shift;
        if (at < read.first)
            continue;
        if (at > read.last)
            break;
        const double x = value - walked.mean;
        const double y = other.at(at) - read.mean;
        valued.add(x, y);
        if (previous)
            changed.add(x - previousX, y - previousY);
        previous = true;
        previousX = x;
        previousY = y;
    }
    return {changed.correlation(), valued.correlation()};
}

}  // namespace

AlignmentResult findAlignment(const OverlayTime& overlay, std::span<const double> aValues,
                              std::span<const double> bValues, const AlignmentOptions& options)
{
    const Samples a = describe(overlay.a(), aValues);
    const Samples b = describe(overlay.b(), bValues);
    if (auto why = unusable(a, true))
        return *why;
    if (auto why = unusable(b, false))
        return *why;
    const double minOverlap = std::clamp(std::isnan(options.minOverlap) ? 0.0 : options.minOverlap, 0.0, 1.0);
    const std::string unlike = "the channel does not match between the logs at any offset";

    // The grid: the finer log's step, coarser if the two would not fit; a
    // few points of each channel at least.
    const double fine = std::min(overlay.a().sampleInterval(), overlay.b().sampleInterval());
    const double budget = static_cast<double>(std::max<std::size_t>(options.maxGridPoints, 16));
    double step = fine;
    if (a.span() / step + b.span() / step + 2.0 > budget)
        step = (a.span() + b.span()) / (budget - 2.0);
    const auto points = [&](const Samples& s) {
        return std::max<std::size_t>(kFewestPoints, static_cast<std::size_t>(std::floor(s.span() / step)) + 1);
    };
    const std::vector<double> ra = resample(a, step, points(a));
    const std::vector<double> rb = resample(b, step, points(b));
    // The changes carry the search: a match of the values peaks gently and
    // an unrelated stretch within the overlap can tilt it by a take or two,
    // a match of the changes peaks sharply at the one offset (and the
    // unrelated stretches' chance agreement falls off with the overlap).
    const Grid ga(changes(ra));
    const Grid gb(changes(rb));
    const GridPair grids{ga, gb};
    const long long shorter = std::min(ga.size(), gb.size());
    const auto minPoints = static_cast<long long>(
        std::clamp<double>(std::ceil(minOverlap * static_cast<double>(shorter)), 2.0, static_cast<double>(shorter)));

    // Every lag at once by FFT, on the grid made coarser by blocks of d
    // points until it has at most kSearchPoints: which region matches best
    // shows at that scale already, for a fraction of the cost. The shorter
    // channel keeps some blocks of its own.
    std::size_t d = 1;
    while (static_cast<std::size_t>(ga.size() + gb.size()) / d > kSearchPoints &&
           static_cast<std::size_t>(shorter) / (2 * d) >= kFewestBlocks)
        d *= 2;
    const auto blocks = static_cast<long long>(d);
    std::optional<long long> gridLag;
    double gridBest = 0.0;
    {
        // The region is where both the changes and the values agree: the
        // values' match shows through noise that swamps the changes of a slow
        // channel, the changes' through a level that differs between logs.
        // Each is scored by how unlikely its match is by chance (Fisher's z
        // times the root of the points), so that a short overlap that happens
        // to agree does not beat a long one that truly does.
        const Grid va(d == 1 ? ra : blockMeans(ra, d));
        const Grid vb(d == 1 ? rb : blockMeans(rb, d));
        const Grid ca(d == 1 ? ga.values : changes(va.values));
        const Grid cb(d == 1 ? gb.values : changes(vb.values));
        const GridPair values{va, vb};
        const GridPair changed{ca, cb};
        const long long coarseMin = std::max<long long>(3, minPoints / blocks);
        const long long low = changed.lowLag(coarseMin);
        const long long high = changed.highLag(coarseMin);
        const std::vector<double> valueProducts = crossCorrelation(va.values, vb.values, low, high);
        const std::vector<double> changeProducts = crossCorrelation(ca.values, cb.values, low, high);
        auto z = [](const GridPair& pair, long long lag, double products) -> std::optional<double> {
            const std::optional<double> r = pair.correlation(lag, products);
            if (!r)
                return r;
            return std::atanh(std::min(*r, kHighestR)) * std::sqrt(static_cast<double>(pair.overlap(lag)) - 2.0);
        };
        double coarseBest = 0.0;
        const std::optional<long long> coarseLag = bestLag(low, high, low, high, 0, [&](long long lag) -> std::optional<double> {
            const auto k = static_cast<std::size_t>(lag - low);
            const std::optional<double> zValues = z(values, lag, valueProducts[k]);
            const std::optional<double> zChanges = z(changed, lag, changeProducts[k]);
            if (!zValues || !zChanges)
                return std::nullopt;
            return *zValues + *zChanges;
        }, coarseBest);
        if (!coarseLag)
            return refused(AlignmentProblem::Unlike, unlike);
        // Then the grid's own lags around it by their changes alone, which
        // peak sharply at the one offset, each summed directly.
        const long long window = std::max(blocks, kFewestLags);
        gridLag = bestLag(*coarseLag * blocks - window, *coarseLag * blocks + window, grids.lowLag(minPoints),
                          grids.highLag(minPoints), 2 * window,
                          [&](long long lag) { return grids.correlation(lag); }, gridBest);
    }
    if (!gridLag)
        return refused(AlignmentProblem::Unlike, unlike);

    // The refinement on the takes: offsets origin + k * refine, the finer
    // log's step unless the grid is far coarser (then a tenth of the grid's
    // step, so that the offsets tried stay few). The coarser log (B on a tie)
    // is walked take by take, the other read at each take's time.
    const double refine = std::max(fine, step / kRefineSteps);
    const double origin = a.first - b.first;
    const bool walkB = overlay.b().sampleInterval() >= overlay.a().sampleInterval();
    const double minOverlapTime = minOverlap * std::min(a.span(), b.span()) - refine;
    auto offsetOf = [&](long long k) { return origin + static_cast<double>(k) * refine; };
    auto score = [&](long long k) -> TakeScore {
        const double offset = offsetOf(k);
        if (std::min(a.last, b.last + offset) - std::max(a.first, b.first + offset) < minOverlapTime)
            return {};
        return walkB ? scoreOnTakes(b, a, offset) : scoreOnTakes(a, b, -offset);
    };
    const double gridSteps = step / refine;  // 1 unless the grid was made coarser
    const auto centre = static_cast<long long>(std::llround(static_cast<double>(*gridLag) * gridSteps));
    const auto reach = static_cast<long long>(std::ceil(gridSteps));
    const long long none = std::numeric_limits<long long>::max() / 4;
    double bestChanges = 0.0;
    const std::optional<long long> bestK = bestLag(centre - reach, centre + reach, -none, none, 4 * reach + 8,
                                                   [&](long long k) { return score(k).changes; }, bestChanges);

    AlignmentResult out;
    if (bestK) {
        out.offset = offsetOf(*bestK);
        out.correlation = score(*bestK).values.value_or(0.0);
    } else {
        bestChanges = gridBest;
        out.offset = origin + static_cast<double>(*gridLag) * step;
        const Grid va(ra);
        const Grid vb(rb);
        out.correlation = GridPair{va, vb}.correlation(*gridLag).value_or(0.0);
    }
    if (!(bestChanges > 0.0))
        return refused(AlignmentProblem::Unlike, unlike);
    out.changeCorrelation = bestChanges;
    return out;
}

}  // namespace dlv
