#pragma once

// The arithmetic of the Charts tab, without any drawing: axis ticks and their
// labels, vertical ranges fitted to what is on show, the time axis, the pane
// stack, the colours, the filter's shaded spans and the scatter raster. All
// positions are in pixels (continuous: pixel column c covers [c, c + 1)) or
// in take units (take t at x = t), as each function says.

#include "views/curve.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

// A colour as 0xRRGGBB (red in the high byte, unlike the grid's colours).
using ChartRgb = std::uint32_t;

// A closed range of values; empty when low > high. span() is infinite for
// a range wider than the largest double.
struct ValueRange {
    double low = 1.0;
    double high = 0.0;

    [[nodiscard]] bool empty() const noexcept { return !(low <= high); }
    [[nodiscard]] double span() const noexcept { return high - low; }
    void include(double v) noexcept;
    friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

// The values an envelope shows, over all its columns. O(width).
[[nodiscard]] ValueRange envelopeRange(const CurveEnvelope& envelope) noexcept;

// The finite values among values[first .. last] (clamped to the column). O(last - first).
[[nodiscard]] ValueRange columnRange(std::span<const double> values, long long first, long long last) noexcept;

// The range a vertical axis shows for values in r: 5 % room above and below,
// so that the extremes do not sit on the pane's edges. A flat range gets room
// of 5 % of its value (at least 0.5) either side; an empty one shows 0 .. 1.
[[nodiscard]] ValueRange paddedRange(ValueRange r) noexcept;

// Tick values at a step of 1, 2 or 5 times a power of ten, chosen so that at
// most maxTicks ticks (at least 2) fall into [low, high]. decimals is the
// number of decimals the step needs (0 for whole steps).
// Ranges wider than the largest double (values of +-1e308) are worked out
// in halves. scientific: the labels are written so (see tickText).
struct AxisTicks {
    std::vector<double> values;
    double step = 1.0;
    int decimals = 0;
    bool scientific = false;
};
[[nodiscard]] AxisTicks niceTicks(ValueRange range, int maxTicks);

// Tick labels longer than this in plain form are written in scientific form
// when that is shorter.
inline constexpr std::size_t kLongestPlainTick = 10;

// A tick value as text with the given decimals; "-0" is written "0".
[[nodiscard]] std::string tickLabel(double value, int decimals, std::string_view decimalSeparator = ".");
// A tick of ticks as its axis writes it: tickLabel with ticks.decimals, or
// in scientific form with the digits the step needs ("6e300", "1.5e18").
[[nodiscard]] std::string tickText(const AxisTicks& ticks, double value, std::string_view decimalSeparator = ".");

// A value at the cursor as plain text ("13.6", "3000"); "–" for no number.
[[nodiscard]] std::string cursorValueText(std::span<const double> values, long long take,
                                          std::string_view decimalSeparator = ".");

// The x axis of the stacked panes shows the Time channel (parameter 0, in
// seconds) when it is a number in every take and never runs backwards, so
// that each time names one place; takes otherwise. O(takes).
[[nodiscard]] bool isTimeColumn(std::span<const double> time) noexcept;

// A tick on the x axis: where it lies (take units) and its label.
struct XTick {
    double x = 0.0;
    std::string label;
};
// Take ticks over the visible range [x0, x1]: whole takes only.
[[nodiscard]] std::vector<XTick> takeTicks(double x0, double x1, int maxTicks);
// Time ticks over [x0, x1] for a time column (isTimeColumn): nice seconds,
// placed where the time reaches them between two takes. O(log takes) a tick.
// A time that stands over [x0, x1] (a log of one take) is one tick, its
// time written as the shortest text that reads back as it.
[[nodiscard]] std::vector<XTick> timeTicks(std::span<const double> time, double x0, double x1, int maxTicks,
                                           std::string_view decimalSeparator = ".");
// The time at take position x (interpolated between takes, clamped to the log).
[[nodiscard]] double timeAt(std::span<const double> time, double x) noexcept;

// One pane of the stack, in pixels from the top of the chart: a legend band,
// the plot area and, for panes that label their own x axis, a footer band.
struct PaneBox {
    int top = 0;
    int plotTop = 0;
    int plotHeight = 0;
    int bottom = 0;  // one past the footer
};
struct PaneStackMetrics {
    int legendPx = 18;
    int footerPx = 18;
    int gapPx = 6;
    int minPlotPx = 8;
};
// Stacks panes into heightPx: every plot area gets the same height (at least
// minPlotPx, so a too-small chart runs off its bottom rather than vanishing).
[[nodiscard]] std::vector<PaneBox> stackPanes(int heightPx, const std::vector<bool>& hasFooter,
                                              const PaneStackMetrics& metrics = {});

// Index of the pane whose box holds pixel row y, or -1.
[[nodiscard]] int paneAtY(std::span<const PaneBox> panes, int y) noexcept;

// Channel colours told apart by every kind of colour vision (Okabe and Ito),
// by position within a pane; they repeat after six.
[[nodiscard]] ChartRgb defaultChannelColor(int index) noexcept;
// The viridis scale from f = 0 (dark blue) to 1 (yellow), even in lightness,
// so it reads in grey and for colour-blind eyes; f is clamped, NaN is grey.
[[nodiscard]] ChartRgb colourScale(double f) noexcept;
// "#rrggbb" (case-insensitive) to a colour; nullopt for anything else.
[[nodiscard]] std::optional<ChartRgb> parseChartColor(std::string_view text) noexcept;
[[nodiscard]] std::string chartColorText(ChartRgb color);

// The filter: keep[t] != 0 for takes it lets through. A take occupies
// [t - 0.5, t + 0.5) in take units.
using KeepMask = std::vector<std::uint8_t>;
struct PixelSpan {
    int begin = 0;  // first pixel column
    int end = 0;    // one past the last
    friend bool operator==(const PixelSpan&, const PixelSpan&) = default;
};
// Runs of dropped takes within the visible range [x0, x1] as pixel columns of
// a plot widthPx wide, neighbouring runs merged. O(takes in view).
[[nodiscard]] std::vector<PixelSpan> droppedSpans(std::span<const std::uint8_t> keep, double x0, double x1,
                                                  int widthPx);

// Where a number lies on an axis of lengthPx pixels showing range r; reversed
// for a vertical axis (the high end at pixel 0).
[[nodiscard]] double axisPixel(double value, ValueRange r, double lengthPx, bool vertical) noexcept;

// A scatter plot as a raster: each pixel holds the take drawn there last (the
// latest take on top), -1 where none. Each take with numbers for x and y that
// the filter keeps is stamped as a square of (2 * radius + 1) pixels across.
// O(takes * (2 * radius + 1)^2).
class ScatterRaster final {
public:
    ScatterRaster() = default;
    [[nodiscard]] static ScatterRaster build(std::span<const double> xs, std::span<const double> ys,
                                             std::span<const std::uint8_t> keep, ValueRange xRange,
                                             ValueRange yRange, int widthPx, int heightPx, int radius);

    [[nodiscard]] int width() const noexcept { return m_width; }
    [[nodiscard]] int height() const noexcept { return m_height; }
    [[nodiscard]] int pointCount() const noexcept { return m_points; }
    [[nodiscard]] const std::vector<std::int32_t>& takes() const noexcept { return m_takes; }
    [[nodiscard]] int takeAt(int px, int py) const noexcept;
    // The take drawn nearest to (px, py) within maxDistance pixels, or -1.
    [[nodiscard]] int nearestTake(int px, int py, int maxDistance) const noexcept;

private:
    int m_width = 0;
    int m_height = 0;
    int m_points = 0;
    std::vector<std::int32_t> m_takes;
};

// The ranges of a scatter pane: x and y over the takes that have both and
// that the filter keeps, the colour channel over the same takes.
struct ScatterRanges {
    ValueRange x;
    ValueRange y;
    ValueRange color;
    int points = 0;
};
[[nodiscard]] ScatterRanges scatterRanges(std::span<const double> xs, std::span<const double> ys,
                                          std::span<const double> colors, std::span<const std::uint8_t> keep) noexcept;

}  // namespace dlv
