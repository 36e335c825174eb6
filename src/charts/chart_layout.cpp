#include "charts/chart_layout.h"

#include "datalog/columns.h"
#include "datalog/number.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace dlv {

namespace {

[[nodiscard]] bool kept(std::span<const std::uint8_t> keep, std::size_t t) noexcept
{
    return keep.empty() || (t < keep.size() && keep[t] != 0);
}

// The text of a number with fixed decimals, the separator replaced.
[[nodiscard]] std::string fixedText(double value, int decimals, std::string_view decimalSeparator)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", std::clamp(decimals, 0, 12), value);
    std::string text = buffer;
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-')
        text.erase(0, 1);  // no negative zero
    if (const auto dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, decimalSeparator);
    return text;
}

// The shortest text that reads back as value ("5", "5.25", "1e18",
// "-2.5e-7"), the separator replaced.
[[nodiscard]] std::string shortestText(double value, std::string_view decimalSeparator)
{
    std::array<char, 64> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    std::string text(buffer.data(), end);
    if (const auto e = text.find('e'); e != std::string::npos) {
        // "1e+18" as "1e18", "2.5e-07" as "2.5e-7".
        std::string exponent = text.substr(e + 1);
        const bool negative = exponent.front() == '-';
        exponent.erase(0, exponent.find_first_not_of("+-0"));
        text = text.substr(0, e + 1) + (negative ? "-" : "") + (exponent.empty() ? "0" : exponent);
    }
    if (text == "-0")
        text = "0";
    if (const auto dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, decimalSeparator);
    return text;
}

}  // namespace

void ValueRange::include(double v) noexcept
{
    if (!std::isfinite(v))
        return;
    if (empty()) {
        low = high = v;
        return;
    }
    low = std::min(low, v);
    high = std::max(high, v);
}

ValueRange envelopeRange(const CurveEnvelope& envelope) noexcept
{
    ValueRange r;
    for (const ColumnExtent& e : envelope.columns()) {
        if (e.empty())
            continue;
        r.include(e.low);
        r.include(e.high);
    }
    return r;
}

ValueRange columnRange(std::span<const double> values, long long first, long long last) noexcept
{
    ValueRange r;
    const long long n = static_cast<long long>(values.size());
    first = std::max(first, 0LL);
    last = std::min(last, n - 1);
    for (long long t = first; t <= last; ++t)
        r.include(values[static_cast<std::size_t>(t)]);
    return r;
}

ValueRange paddedRange(ValueRange r) noexcept
{
    if (r.empty())
        return {0.0, 1.0};
    // A span beyond the largest double (values of +-1e308) is measured in
    // halves, and the padded ends stop at the largest double.
    double room = std::isfinite(r.span()) ? r.span() * 0.05 : (r.high / 2 - r.low / 2) * 0.1;
    if (!(room > 0.0) || !std::isfinite(room))
        room = std::max(0.5, std::abs(r.low) * 0.05);
    double low = r.low - room;
    double high = r.high + room;
    if (!std::isfinite(low) && std::isfinite(r.low))
        low = -std::numeric_limits<double>::max();
    if (!std::isfinite(high) && std::isfinite(r.high))
        high = std::numeric_limits<double>::max();
    if (!std::isfinite(low) || !std::isfinite(high) || !(low < high))
        return r.low < r.high ? r : ValueRange{r.low - 1.0, r.low + 1.0};
    return {low, high};
}

namespace {

// a / b for a range's span a, which may lie beyond the largest double: then
// worked out from the halves of the ends. A number of steps, so finite.
[[nodiscard]] double stepsIn(ValueRange range, double step) noexcept
{
    const double span = range.span();
    return std::isfinite(span) ? span / step : (range.high / 2 - range.low / 2) / step * 2;
}

// value in scientific form with the digits the step needs: "6e300", "1.5e18",
// "-2.5e-7"; 0 as "0".
[[nodiscard]] std::string scientificText(double value, double step, std::string_view decimalSeparator)
{
    if (value == 0.0)
        return "0";
    const int digits = std::clamp(static_cast<int>(std::floor(std::log10(std::abs(value)) + 1e-9) -
                                                   std::floor(std::log10(step) + 1e-9)),
                                  0, 15);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", digits, value);
    std::string text = buffer;
    const std::size_t e = text.find('e');
    std::string mantissa = text.substr(0, e);
    if (mantissa.find('.') != std::string::npos) {
        while (mantissa.back() == '0')
            mantissa.pop_back();
        if (mantissa.back() == '.')
            mantissa.pop_back();
    }
    if (const auto dot = mantissa.find('.'); dot != std::string::npos)
        mantissa.replace(dot, 1, decimalSeparator);
    const int exponent = std::atoi(text.c_str() + e + 1);
    return mantissa + "e" + std::to_string(exponent);
}

}  // namespace

AxisTicks niceTicks(ValueRange range, int maxTicks)
{
    AxisTicks ticks;
    maxTicks = std::max(maxTicks, 2);
    if (range.empty() || !std::isfinite(range.low) || !std::isfinite(range.high))
        return ticks;
    const bool wide = !std::isfinite(range.span());
    const double span = range.span() > 0.0 ? range.span() : std::max(1.0, std::abs(range.low));
    const double rough = wide ? stepsIn(range, maxTicks) : span / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    double step = magnitude;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * magnitude;
        if ((wide ? stepsIn(range, step) : span / step) <= maxTicks)
            break;
    }
    if (!(step > 0.0) || !std::isfinite(step))
        return ticks;
    ticks.step = step;
    ticks.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    const double first = std::ceil(range.low / step - 1e-9);
    const double last = std::floor(range.high / step + 1e-9);
    for (double k = first; k <= last && ticks.values.size() <= static_cast<std::size_t>(maxTicks) + 1; k += 1.0) {
        const double v = k * step;
        ticks.values.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    }
    // Scientific form where the plain one runs long (6e300 has 301 digits,
    // a time of 1e18 seconds 19) and the scientific one is shorter.
    std::size_t plain = 0;
    std::size_t scientific = 0;
    for (const double v : ticks.values) {
        plain = std::max(plain, fixedText(v, ticks.decimals, ".").size());
        scientific = std::max(scientific, scientificText(v, step, ".").size());
    }
    ticks.scientific = plain > kLongestPlainTick && scientific < plain;
    return ticks;
}

std::string tickLabel(double value, int decimals, std::string_view decimalSeparator)
{
    return fixedText(value, decimals, decimalSeparator);
}

std::string tickText(const AxisTicks& ticks, double value, std::string_view decimalSeparator)
{
    return ticks.scientific ? scientificText(value, ticks.step, decimalSeparator)
                            : fixedText(value, ticks.decimals, decimalSeparator);
}

std::string cursorValueText(std::span<const double> values, long long take, std::string_view decimalSeparator)
{
    if (take < 0 || take >= static_cast<long long>(values.size()) || std::isnan(values[static_cast<std::size_t>(take)]))
        return "\u2013";
    return formatPlain(values[static_cast<std::size_t>(take)], decimalSeparator);
}

bool isTimeColumn(std::span<const double> time) noexcept
{
    double previous = -std::numeric_limits<double>::infinity();
    return !time.empty() && runsForward(time, previous);
}

std::vector<XTick> takeTicks(double x0, double x1, int maxTicks)
{
    AxisTicks ticks = niceTicks({x0, x1}, maxTicks);
    std::vector<XTick> out;
    if (ticks.step < 1.0)  // a few takes across: every take at most
        ticks = niceTicks({x0, x1}, std::max(2, static_cast<int>(std::floor(x1 - x0))));
    for (const double v : ticks.values)
        if (v == std::floor(v))
            out.push_back({v, fixedText(v, 0, ".")});
    return out;
}

double timeAt(std::span<const double> time, double x) noexcept
{
    if (time.empty())
        return 0.0;
    const double last = static_cast<double>(time.size() - 1);
    x = std::clamp(std::isnan(x) ? 0.0 : x, 0.0, last);
    const auto t = static_cast<std::size_t>(std::floor(x));
    if (t + 1 >= time.size())
        return time[t];
    return time[t] + (time[t + 1] - time[t]) * (x - static_cast<double>(t));
}

std::vector<XTick> timeTicks(std::span<const double> time, double x0, double x1, int maxTicks,
                             std::string_view decimalSeparator)
{
    std::vector<XTick> out;
    if (time.empty())
        return out;
    const double first = timeAt(time, x0);
    const double last = timeAt(time, x1);
    if (!(first < last)) {
        // A clock that stands (a log of one take): its one time, as the log
        // gives it, under the first take in view.
        const double x = std::clamp(std::ceil(x0), 0.0, static_cast<double>(time.size() - 1));
        if (x <= x1 + 1e-9 && std::isfinite(time[static_cast<std::size_t>(x)]))
            out.push_back({x, shortestText(time[static_cast<std::size_t>(x)], decimalSeparator)});
        return out;
    }
    const AxisTicks ticks = niceTicks({first, last}, maxTicks);
    for (const double seconds : ticks.values) {
        // The first take at or after the tick's time, and the fraction of the
        // way from the take before it.
        const auto it = std::lower_bound(time.begin(), time.end(), seconds);
        if (it == time.end())
            continue;
        const auto t = static_cast<double>(it - time.begin());
        double x = t;
        if (it != time.begin() && *it > seconds) {
            const double before = *(it - 1);
            x = t - 1.0 + (seconds - before) / (*it - before);
        }
        if (x < x0 - 1e-9 || x > x1 + 1e-9)
            continue;
        out.push_back({x, tickText(ticks, seconds, decimalSeparator)});
    }
    return out;
}

std::vector<PaneBox> stackPanes(int heightPx, const std::vector<bool>& hasFooter, const PaneStackMetrics& m)
{
    std::vector<PaneBox> boxes;
    const int n = static_cast<int>(hasFooter.size());
    if (n == 0)
        return boxes;
    int fixed = m.gapPx * (n - 1) + m.legendPx * n;
    for (const bool footer : hasFooter)
        fixed += footer ? m.footerPx : 0;
    const int plot = std::max(m.minPlotPx, (heightPx - fixed) / n);
    int y = 0;
    for (const bool footer : hasFooter) {
        PaneBox box;
        box.top = y;
        box.plotTop = y + m.legendPx;
        box.plotHeight = plot;
        box.bottom = box.plotTop + plot + (footer ? m.footerPx : 0);
        boxes.push_back(box);
        y = box.bottom + m.gapPx;
    }
    return boxes;
}

int paneAtY(std::span<const PaneBox> panes, int y) noexcept
{
    for (std::size_t i = 0; i < panes.size(); ++i)
        if (y >= panes[i].top && y < panes[i].bottom)
            return static_cast<int>(i);
    return -1;
}

ChartRgb defaultChannelColor(int index) noexcept
{
    static constexpr std::array<ChartRgb, 6> kColors = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7, 0xE69F00, 0x56B4E9};
    const int n = static_cast<int>(kColors.size());
    return kColors[static_cast<std::size_t>(((index % n) + n) % n)];
}

ChartRgb colourScale(double f) noexcept
{
    // Viridis at eleven even steps; linear in between.
    static constexpr std::array<ChartRgb, 11> kStops = {0x440154, 0x482475, 0x414487, 0x355F8D, 0x2A788E, 0x21918C,
                                                        0x22A884, 0x44BF70, 0x7AD151, 0xBDDF26, 0xFDE725};
    if (std::isnan(f))
        return 0x9A9A9A;
    const double pos = std::clamp(f, 0.0, 1.0) * static_cast<double>(kStops.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(pos), kStops.size() - 2);
    const double w = pos - static_cast<double>(i);
    ChartRgb out = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
        const double a = (kStops[i] >> shift) & 0xFF;
        const double b = (kStops[i + 1] >> shift) & 0xFF;
        out |= static_cast<ChartRgb>(std::lround(a + (b - a) * w)) << shift;
    }
    return out;
}

std::optional<ChartRgb> parseChartColor(std::string_view text) noexcept
{
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    ChartRgb value = 0;
    for (const char c : text.substr(1)) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<ChartRgb>(digit);
    }
    return value;
}

std::string chartColorText(ChartRgb color)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%06x", static_cast<unsigned>(color & 0xFFFFFF));
    return buffer;
}

std::vector<PixelSpan> droppedSpans(std::span<const std::uint8_t> keep, double x0, double x1, int widthPx)
{
    std::vector<PixelSpan> spans;
    if (keep.empty() || widthPx < 1 || !(x1 > x0))
        return spans;
    const double scale = widthPx / (x1 - x0);
    const long long n = static_cast<long long>(keep.size());
    // Takes whose [t - 0.5, t + 0.5) meets [x0, x1].
    const long long first = std::max(0LL, static_cast<long long>(std::floor(x0 - 0.5)) + 1);
    const long long last = std::min(n - 1, static_cast<long long>(std::floor(x1 + 0.5)));
    auto toPixel = [&](double x) {
        return static_cast<int>(std::clamp(std::floor((x - x0) * scale), 0.0, static_cast<double>(widthPx)));
    };
    for (long long t = first; t <= last; ++t) {
        if (keep[static_cast<std::size_t>(t)] != 0)
            continue;
        long long end = t;
        while (end + 1 <= last && keep[static_cast<std::size_t>(end + 1)] == 0)
            ++end;
        const int a = toPixel(static_cast<double>(t) - 0.5);
        const int b = std::max(a + 1, toPixel(static_cast<double>(end) + 0.5));
        const PixelSpan span{a, std::min(b, widthPx)};
        if (span.begin < span.end) {
            if (!spans.empty() && spans.back().end >= span.begin)
                spans.back().end = std::max(spans.back().end, span.end);
            else
                spans.push_back(span);
        }
        t = end;
    }
    return spans;
}

double axisPixel(double value, ValueRange r, double lengthPx, bool vertical) noexcept
{
    const double span = r.span() > 0.0 ? r.span() : 1.0;
    // Beyond the largest double the span is taken in halves.
    const double f = std::isfinite(span) ? (value - r.low) / span : (value / 2 - r.low / 2) / (r.high / 2 - r.low / 2);
    return vertical ? (1.0 - f) * lengthPx : f * lengthPx;
}

ScatterRanges scatterRanges(std::span<const double> xs, std::span<const double> ys, std::span<const double> colors,
                            std::span<const std::uint8_t> keep) noexcept
{
    ScatterRanges r;
    const std::size_t n = std::min(xs.size(), ys.size());
    for (std::size_t t = 0; t < n; ++t) {
        if (!kept(keep, t) || !std::isfinite(xs[t]) || !std::isfinite(ys[t]))
            continue;
        r.x.include(xs[t]);
        r.y.include(ys[t]);
        if (t < colors.size())
            r.color.include(colors[t]);
        ++r.points;
    }
    return r;
}

ScatterRaster ScatterRaster::build(std::span<const double> xs, std::span<const double> ys,
                                   std::span<const std::uint8_t> keep, ValueRange xRange, ValueRange yRange,
                                   int widthPx, int heightPx, int radius)
{
    ScatterRaster raster;
    raster.m_width = std::max(widthPx, 0);
    raster.m_height = std::max(heightPx, 0);
    raster.m_takes.assign(static_cast<std::size_t>(raster.m_width) * static_cast<std::size_t>(raster.m_height), -1);
    if (raster.m_width == 0 || raster.m_height == 0)
        return raster;
    radius = std::clamp(radius, 0, 8);
    const std::size_t n = std::min(xs.size(), ys.size());
    const double w = raster.m_width;
    const double h = raster.m_height;
    std::int32_t* cells = raster.m_takes.data();
    for (std::size_t t = 0; t < n; ++t) {
        const double x = xs[t];
        const double y = ys[t];
        if (!std::isfinite(x) || !std::isfinite(y) || !kept(keep, t))
            continue;
        const double px = axisPixel(x, xRange, w - 1.0, false);
        const double py = axisPixel(y, yRange, h - 1.0, true);
        if (!(px >= -0.5 && px <= w - 0.5 && py >= -0.5 && py <= h - 0.5))
            continue;
        ++raster.m_points;
        const int cx = static_cast<int>(std::lround(px));
        const int cy = static_cast<int>(std::lround(py));
        const int x0 = std::max(cx - radius, 0);
        const int x1 = std::min(cx + radius, raster.m_width - 1);
        const int y0 = std::max(cy - radius, 0);
        const int y1 = std::min(cy + radius, raster.m_height - 1);
        for (int yy = y0; yy <= y1; ++yy) {
            std::int32_t* row = cells + static_cast<std::size_t>(yy) * static_cast<std::size_t>(raster.m_width);
            for (int xx = x0; xx <= x1; ++xx)
                row[xx] = static_cast<std::int32_t>(t);
        }
    }
    return raster;
}

int ScatterRaster::takeAt(int px, int py) const noexcept
{
    if (px < 0 || py < 0 || px >= m_width || py >= m_height)
        return -1;
    return m_takes[static_cast<std::size_t>(py) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(px)];
}

int ScatterRaster::nearestTake(int px, int py, int maxDistance) const noexcept
{
    int best = -1;
    long long bestDistance = std::numeric_limits<long long>::max();
    for (int dy = -maxDistance; dy <= maxDistance; ++dy) {
        for (int dx = -maxDistance; dx <= maxDistance; ++dx) {
            const int take = takeAt(px + dx, py + dy);
            const long long d = static_cast<long long>(dx) * dx + static_cast<long long>(dy) * dy;
            if (take >= 0 && d < bestDistance) {
                best = take;
                bestDistance = d;
            }
        }
    }
    return best;
}

}  // namespace dlv
