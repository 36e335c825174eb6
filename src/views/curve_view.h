#pragma once

#include "views/curve.h"

#include <memory>
#include <optional>
#include <vector>

namespace dlv {

// Where a curve view looks and what it points at, without any painting: the
// full user scale, the zoom inside it, the series shown, the marker take and
// the tick takes. The window's curve surface holds one and paints from it;
// other charts can share its exploring rules.
//
// The zoom is a visible x range inside the full scale; visibleScale() is what
// is on show. It survives setFullScale with the same x range and setSeries of
// the same series (the window redraws on every click); another x range,
// another series or showWhole resets it. The marker is the take the keys
// step from: the last clicked or stepped take (a click beyond the takes
// counts as just beyond the first or last one), none at first and after a
// new series. Ticks mark takes on the bottom edge; the keys jump between them.
//
// The scale and zoom calls return true when the visible scale changed, so
// the caller knows to repaint. All O(1) but setTicks (O(n log n)), the tick
// steps (O(log n)) and envelope (see CurveEnvelope::build, once per series,
// visible range and width).
class CurveView final {
public:
    // The full scale; a zoom within the same x range is kept.
    bool setFullScale(const CurveScale& scale);
    [[nodiscard]] const CurveScale& fullScale() const noexcept { return m_fullScale; }
    // The full scale, or the zoomed x range at full height.
    [[nodiscard]] const CurveScale& visibleScale() const noexcept { return m_scale; }
    [[nodiscard]] bool isZoomed() const noexcept { return !m_zoom.isWhole(); }

    // Shows user x left .. left + width, clamped into the full x range and to
    // at least CurveZoom::kMinSpan takes across.
    bool setVisibleRange(double left, double width);
    bool showWhole();
    // Narrows the view by factor (above 1 zooms in), keeping the user x at
    // pixel px of a surface widthPx wide where it is (px clamped onto it).
    bool zoomAt(double px, double widthPx, double factor);
    // A drag: startPan at pixel x, then panTo each pixel x the pointer
    // reaches on a surface widthPx wide; the view follows the pointer.
    void startPan(double px) noexcept;
    bool panTo(double px, double widthPx);

    // The series shown, taken as shared; null is ignored. Another series
    // than the last one resets the zoom, the ticks and the marker.
    // maxValue is the value at user y = 0 (CurveLayout::maxValue).
    void setSeries(std::shared_ptr<const ParamSeries> series, double maxValue);
    void clearSeries() noexcept { m_series.reset(); }
    [[nodiscard]] const std::shared_ptr<const ParamSeries>& series() const noexcept { return m_series; }
    [[nodiscard]] double seriesMaxValue() const noexcept { return m_seriesMax; }
    // The series over the visible range, widthPx columns; kept until the
    // series, the range or the width changes. Needs a series.
    [[nodiscard]] const CurveEnvelope& envelope(int widthPx);
    // An envelope of series built elsewhere (beside the curve's summary, say),
    // kept as if envelope() had built it: used while the series, its x range
    // and width are what is on show.
    void offerEnvelope(const std::shared_ptr<const ParamSeries>& series, CurveEnvelope envelope);

    // Takes in any order; kept sorted without repeats.
    void setTicks(std::vector<int> takes);
    [[nodiscard]] const std::vector<int>& ticks() const noexcept { return m_ticks; }

    [[nodiscard]] std::optional<int> marker() const noexcept { return m_marker; }
    void setMarker(std::optional<int> take) noexcept { m_marker = take; }
    // A click at user x sets the marker; NaN leaves it.
    void markClick(double x);

    // Last take of the series shown (of the full x range when none is).
    [[nodiscard]] int lastTake() const;
    // The take under user x while a series is shown; none off the takes.
    [[nodiscard]] std::optional<int> takeAt(double x) const;

    // The keys: one take left or right (from the first visible take when
    // there is no marker), the next or previous tick (from the visible edge
    // the step moves away from). The marker moves to the take returned and a
    // zoomed view scrolls to show it; none when there is no tick that way.
    std::optional<int> stepMarker(int delta);
    std::optional<int> stepTick(bool forward);

private:
    bool applyZoom();
    int goTo(int take);
    [[nodiscard]] int firstVisibleTake() const;
    [[nodiscard]] int lastVisibleTake() const;

    CurveScale m_fullScale;
    CurveScale m_scale;  // visible: m_fullScale with m_zoom's x range
    CurveZoom m_zoom;
    double m_panStartPx = 0.0;
    double m_panStartLeft = 0.0;  // user x

    std::shared_ptr<const ParamSeries> m_series;     // null: none shown
    std::weak_ptr<const ParamSeries> m_viewSeries;   // what zoom, ticks and marker belong to
    double m_seriesMax = 0.0;
    std::vector<int> m_ticks;                        // sorted, no repeats
    std::optional<int> m_marker;

    // Outlives clearSeries, so that redrawing the same curve on a click does
    // not walk the takes again.
    struct CachedEnvelope {
        std::weak_ptr<const ParamSeries> series;
        double x0 = 0.0, x1 = 0.0;
        CurveEnvelope envelope;
    };
    CachedEnvelope m_envelope;
};

}  // namespace dlv
