#include "charts/time_alignment.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dlv {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

LogTimeline LogTimeline::ofTakes(int takeCount)
{
    LogTimeline out;
    out.m_takes = std::max(0, takeCount);
    return out;
}

LogTimeline::LogTimeline(ColumnPtr time, int takeCount) : m_takes(std::max(0, takeCount))
{
    if (!time)
        return;
    const Column& column = *time;
    const int inColumn = static_cast<int>(std::min<std::size_t>(column.size(), static_cast<std::size_t>(m_takes)));
    std::vector<double> steps;  // the positive steps, for the usual one
    std::vector<std::int32_t> index;
    bool gaps = inColumn < m_takes;
    double first = kNaN;
    double previous = kNaN;
    for (int t = 0; t < inColumn; ++t) {
        const double v = column[static_cast<std::size_t>(t)];
        if (!std::isfinite(v)) {
            if (!gaps) {
                // The first gap: every take before it had a time.
                index.resize(static_cast<std::size_t>(t));
                for (int k = 0; k < t; ++k)
                    index[static_cast<std::size_t>(k)] = k;
                gaps = true;
            }
            continue;
        }
        if (v < previous)
            return;  // runs back: take numbers
        if (v > previous)
            steps.push_back(v - previous);
        if (std::isnan(first))
            first = v;
        previous = v;
        if (gaps)
            index.push_back(t);
    }
    if (steps.empty())
        return;  // no span of time: take numbers
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    m_interval = *middle;
    m_timed = std::move(index);
    m_time = std::move(time);
}

double LogTimeline::timeOf(int take) const noexcept
{
    if (take < 0 || take >= m_takes)
        return kNaN;
    if (!m_time)
        return take;
    if (static_cast<std::size_t>(take) >= m_time->size())
        return kNaN;
    const double v = (*m_time)[static_cast<std::size_t>(take)];
    return std::isfinite(v) ? v : kNaN;
}

double LogTimeline::firstTime() const noexcept
{
    return timedCount() > 0 ? timeOfTimed(0) : kNaN;
}

double LogTimeline::lastTime() const noexcept
{
    const int n = timedCount();
    return n > 0 ? timeOfTimed(n - 1) : kNaN;
}

std::optional<int> LogTimeline::nearestTake(double time) const noexcept
{
    const int n = timedCount();
    if (n == 0 || std::isnan(time))
        return std::nullopt;
    if (!m_time) {
        // Take numbers: round half down, so a tie goes to the earlier take.
        const double rounded = std::ceil(std::clamp(time, 0.0, static_cast<double>(n - 1)) - 0.5);
        return std::max(0, static_cast<int>(rounded));
    }
    const int k = firstTimedAtOrAfter(time);
    if (k == n)
        return timedTake(firstTimedAtOrAfter(timeOfTimed(n - 1)));
    if (k == 0)
        return timedTake(0);
    const double before = timeOfTimed(k - 1);
    if (time - before <= timeOfTimed(k) - time)
        return timedTake(firstTimedAtOrAfter(before));  // the first take of that time
    return timedTake(k);
}

int LogTimeline::firstTimedAtOrAfter(double time) const noexcept
{
    int lo = 0;
    int hi = timedCount();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (timeOfTimed(mid) < time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool LogTimeline::covers(double time) const noexcept
{
    return timedCount() > 0 && time >= firstTime() - 0.5 * m_interval && time <= lastTime() + 0.5 * m_interval;
}

int LogTimeline::timedBelowOrAt(double x) const noexcept
{
    // Called with timedTake(0) <= x < timedTake(last).
    if (m_timed.empty())
        return static_cast<int>(std::floor(x));
    const auto it = std::upper_bound(m_timed.begin(), m_timed.end(), x,
                                     [](double v, std::int32_t take) { return v < static_cast<double>(take); });
    return static_cast<int>(it - m_timed.begin()) - 1;
}

double LogTimeline::timeAt(double x) const noexcept
{
    const int n = timedCount();
    if (n == 0 || std::isnan(x))
        return kNaN;
    if (!m_time)
        return x;
    const double firstTake = timedTake(0);
    const double lastTake = timedTake(n - 1);
    if (x <= firstTake)
        return firstTime() + (x - firstTake) * m_interval;
    if (x >= lastTake)
        return lastTime() + (x - lastTake) * m_interval;
    const int k = timedBelowOrAt(x);
    const double p0 = timedTake(k);
    const double p1 = timedTake(k + 1);
    const double t0 = timeOfTimed(k);
    return t0 + (timeOfTimed(k + 1) - t0) * ((x - p0) / (p1 - p0));
}

double LogTimeline::positionAt(double time) const noexcept
{
    const int n = timedCount();
    if (n == 0 || std::isnan(time))
        return kNaN;
    if (!m_time)
        return time;
    const double first = firstTime();
    const double last = lastTime();
    if (time <= first)
        return timedTake(0) + (time - first) / m_interval;
    if (time > last)
        return timedTake(n - 1) + (time - last) / m_interval;
    const int lo = firstTimedAtOrAfter(time);  // below n, as time <= last
    const double t1 = timeOfTimed(lo);
    if (t1 == time)
        return timedTake(lo);
    // lo > 0 here, as time > first; the times around it differ.
    const double t0 = timeOfTimed(lo - 1);
    const double p0 = timedTake(lo - 1);
    return p0 + (timedTake(lo) - p0) * ((time - t0) / (t1 - t0));
}

OverlayTime::OverlayTime(LogTimeline a, LogTimeline b, double offset) : m_a(std::move(a)), m_b(std::move(b))
{
    if (!m_a.inSeconds() || !m_b.inSeconds()) {
        m_a = LogTimeline::ofTakes(m_a.takeCount());
        m_b = LogTimeline::ofTakes(m_b.takeCount());
    }
    setOffset(offset);
}

void OverlayTime::setOffset(double offset) noexcept
{
    if (std::isfinite(offset))
        m_offset = offset;
}

double OverlayTime::timeOnA(int bTake) const noexcept
{
    return m_b.timeOf(bTake) + m_offset;
}

double OverlayTime::positionOnA(double bPosition) const noexcept
{
    return m_a.positionAt(m_b.timeAt(bPosition) + m_offset);
}

double OverlayTime::positionOnB(double aPosition) const noexcept
{
    return m_b.positionAt(m_a.timeAt(aPosition) - m_offset);
}

std::optional<int> OverlayTime::takeOfB(double aTime) const noexcept
{
    const double bTime = aTime - m_offset;
    if (!m_b.covers(bTime))
        return std::nullopt;
    return m_b.nearestTake(bTime);
}

std::optional<int> OverlayTime::takeOfBAt(int aTake) const noexcept
{
    if (aTake < 0 || aTake >= m_a.takeCount())
        return std::nullopt;
    return takeOfB(m_a.timeAt(aTake));
}

std::optional<double> OverlayTime::offsetAligning(int aTake, int bTake) const noexcept
{
    const double ta = m_a.timeOf(aTake);
    const double tb = m_b.timeOf(bTake);
    if (std::isnan(ta) || std::isnan(tb))
        return std::nullopt;
    return ta - tb;
}

double OverlayTime::dragChange(double x0, double x1, double widthPx, double fromPx, double toPx) const noexcept
{
    if (!(widthPx > 0.0) || !(x1 > x0) || !std::isfinite(fromPx) || !std::isfinite(toPx))
        return 0.0;
    const double perPixel = (x1 - x0) / widthPx;
    const double change = m_a.timeAt(x0 + toPx * perPixel) - m_a.timeAt(x0 + fromPx * perPixel);
    return std::isfinite(change) ? change : 0.0;
}

std::optional<std::string> defaultAlignmentChannel(std::span<const std::string> namesA,
                                                   std::span<const std::string> namesB)
{
    const std::string rpm = "RPM";
    const auto has = [&](std::span<const std::string> names) {
        return std::find(names.begin(), names.end(), rpm) != names.end();
    };
    if (has(namesA) && has(namesB))
        return rpm;
    return std::nullopt;
}

}  // namespace dlv
