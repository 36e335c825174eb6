#pragma once

#include "render/colors.h"
#include "views/curve.h"

#include <QFrame>
#include <QLineF>
#include <QPointF>
#include <QRgb>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace dlv {

// The curve view of the window (Picture1): a white, sunken box with a user
// coordinate system laid over its inside (origin top-left, y down; 1 x 1
// until a scale is set). It holds what it shows, not how to paint it: one
// curve (a shared series and its layout), lines in user units drawn over it,
// the zoom, the marker take and the tick takes; render/curve_renderer paints
// them, so the picture survives being covered, hidden and resized. A curve is
// painted from a per-column envelope: O(width) per paint, O(takes in view)
// once per series, visible range and width.
//
// Exploring: the wheel zooms the x range around the pointer; a middle-button
// drag or a Ctrl + left drag pans; a middle double-click or Home shows the
// whole log. The zoom is a visible x range inside the "full" scale last given
// to setUserScale; userScale() is what is visible, so releases keep reporting
// the user x under the pointer. The zoom survives setUserScale with the same
// full x range and setCurve of the same series (as the window does on every
// click); a different x range, a different series or Home resets it.
// Left / Right step the marker one take, F3 / Shift+F3 to the next / previous
// tick take, each reported through takeStepRequested as if that take had been
// clicked. Hovering shows "Take t: value" as a tooltip.
class CurveSurface final : public QFrame {
    Q_OBJECT
public:
    explicit CurveSurface(QWidget* parent = nullptr);
    ~CurveSurface() override;

    // Makes the inside span user x 0 .. width and y 0 .. height (non-positive
    // sizes count as 1). What is already drawn stays in user units.
    void setUserScale(double width, double height);
    // Any user rectangle, e.g. a visible range of takes from CurveLayout::scale(x0, x1).
    // This is the full scale: a zoom within the same x range is kept.
    void setUserScale(const CurveScale& scale);
    // What is visible now: the full scale, or the zoomed x range at full height.
    [[nodiscard]] const CurveScale& userScale() const noexcept { return m_scale; }
    // The scale last given to setUserScale.
    [[nodiscard]] const CurveScale& fullScale() const noexcept { return m_fullScale; }

    // Zoom. setVisibleRange shows user x left .. left + width, clamped into the
    // full x range and to at least CurveZoom::kMinSpan takes across.
    void setVisibleRange(double left, double width);
    void showWholeLog();
    [[nodiscard]] bool isZoomed() const noexcept { return !m_zoom.isWhole(); }

    // Removes everything drawn: the curve and the lines. Zoom, ticks and the marker
    // take stay (the window clears and redraws on every click).
    void clear();

    // Colour of what is drawn next, 24-bit blue-green-red (0 black, 0xFF0000 blue).
    void setDrawColor(GridColor color);
    [[nodiscard]] GridColor drawColor() const noexcept { return m_color; }

    // A line in user units in the current colour.
    void drawLine(double x1, double y1, double x2, double y2);

    // The curve of series in the current colour, in place of any curve shown:
    // take v at user x = v, value a at y = layout.userY(a). The series is
    // shared, not copied; null draws nothing.
    // A series other than the last one given resets the zoom, the tick takes
    // and the marker take.
    void setCurve(std::shared_ptr<const ParamSeries> series, const CurveLayout& layout);

    // Takes marked with a short tick on the bottom edge, in any order
    // (O(n log n) here, O(width log n) per paint). Kept by clear(); removed by
    // setTickTakes({}) and by setCurve of another series, so set them after setCurve.
    void setTickTakes(std::vector<int> takes);
    [[nodiscard]] const std::vector<int>& tickTakes() const noexcept { return m_ticks; }
    static constexpr QRgb kTickColor = 0xFFFF0000;  // red
    static constexpr int kTickHeight = 5;           // pixels

    // Texts of the hover tooltip: provider(t) is take t's value as the log
    // holds it (empty shows "(empty)"). Without one the series' numbers are
    // shown and a take without a number shows "(empty)". Called once per hover.
    void setValueTextProvider(std::function<QString(int take)> provider);
    // The tooltip for a pointer at widgetPos, e.g. "Take 1500: 3000"; empty
    // where no curve is shown or the pointer is on no take.
    [[nodiscard]] QString toolTipTextAt(QPointF widgetPos) const;

    // The take the arrow keys start from: the last clicked or stepped take
    // (a click beyond the takes counts as just beyond the first or last one);
    // none at first and after a new series.
    [[nodiscard]] std::optional<int> markerTake() const noexcept { return m_markerTake; }
    void setMarkerTake(std::optional<int> take) noexcept { m_markerTake = take; }
    // Last take of the curve shown (of the full x range when none is).
    [[nodiscard]] int lastTake() const;

    // Size of the inside in pixels (the user rectangle maps onto it).
    [[nodiscard]] QSize surfaceSize() const;
    // Between user units and widget pixel coordinates (frame included).
    [[nodiscard]] QPointF toWidget(QPointF user) const;
    [[nodiscard]] QPointF toUser(QPointF widgetPos) const;

    // Number of things drawn: the lines and the curve.
    [[nodiscard]] int drawnItemCount() const noexcept { return static_cast<int>(m_lines.size()) + (m_curve ? 1 : 0); }

signals:
    // A mouse button was let go; x, y in user units, possibly outside the
    // user rectangle when the pointer was dragged off the surface.
    // A middle-button release and a left release with Ctrl held (or that ends
    // a Ctrl + left pan) are pans, not clicks, and are not reported.
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y);
    // A key moved the marker to take (always 0 .. lastTake(), scrolled into
    // view): the receiver should do what a click at user x = take does.
    void takeStepRequested(int take);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Line {
        QLineF user;
        QColor color;
    };
    // Envelopes outlive clear(), so that redrawing the same curve on a click
    // does not walk the takes again.
    struct CachedEnvelope {
        std::weak_ptr<const ParamSeries> series;
        double x0 = 0.0, x1 = 0.0;
        CurveEnvelope envelope;
    };

    [[nodiscard]] const CurveEnvelope& envelopeFor(const std::shared_ptr<const ParamSeries>& series, int w);
    [[nodiscard]] QColor qtColor(GridColor color) const;

    void applyZoom();
    void stepMarker(int delta);
    void stepTick(bool forward);
    void requestTake(int take);
    [[nodiscard]] bool handlesKey(const QKeyEvent& key) const;
    [[nodiscard]] int firstVisibleTake() const;
    [[nodiscard]] int lastVisibleTake() const;

    CurveScale m_fullScale;
    CurveScale m_scale;  // visible: m_fullScale with m_zoom's x range
    CurveZoom m_zoom;
    GridColor m_color = 0;
    std::shared_ptr<const ParamSeries> m_curve;  // null: no curve shown
    double m_curveMax = 0.0;
    QColor m_curveColor;
    std::vector<Line> m_lines;

    std::weak_ptr<const ParamSeries> m_viewSeries;  // what zoom, ticks and marker belong to
    std::vector<int> m_ticks;                       // sorted, no repeats
    std::optional<int> m_markerTake;
    std::function<QString(int)> m_valueText;
    CachedEnvelope m_envelope;

    Qt::MouseButton m_panButton = Qt::NoButton;
    double m_panStartX = 0.0;     // widget pixels
    double m_panStartLeft = 0.0;  // user x
};

}  // namespace dlv
