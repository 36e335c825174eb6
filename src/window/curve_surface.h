#pragma once

#include "render/colors.h"
#include "render/curve_renderer.h"
#include "views/curve_view.h"

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
// until a scale is set). Where it looks (scale, zoom, marker, ticks) is a
// CurveView, whose rules it follows; it adds lines in user units drawn over
// the curve, the mouse and the keys, and paints through
// render/curve_renderer, so the picture survives being covered, hidden and
// resized. O(width) per paint.
//
// Exploring: the wheel zooms the x range around the pointer; a middle-button
// drag or a Ctrl + left drag pans; a middle double-click or Home shows the
// whole log. Left / Right step the marker one take, F3 / Shift+F3 to the
// next / previous tick take, each reported through takeStepRequested as if
// that take had been clicked. Hovering shows "Take t: value" as a tooltip.
// The context menu of a plot at globalPos with its one entry, "Add Marker at
// Take N…"; true when the user chose it. Shared by the General curve and the
// chart panes.
[[nodiscard]] bool askAddMarker(QWidget* parent, const QPoint& globalPos, int take);

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
    [[nodiscard]] const CurveScale& userScale() const noexcept { return m_view.visibleScale(); }
    // The scale last given to setUserScale.
    [[nodiscard]] const CurveScale& fullScale() const noexcept { return m_view.fullScale(); }

    // Zoom, as CurveView::setVisibleRange and showWhole.
    void setVisibleRange(double left, double width);
    void showWholeLog();
    [[nodiscard]] bool isZoomed() const noexcept { return m_view.isZoomed(); }

    // Removes everything drawn: the curve and the lines. Zoom, ticks and the marker
    // take stay (the window clears and redraws on every click).
    void clear();

    // Colour of what is drawn next, 24-bit blue-green-red (0 black, 0xFF0000 blue).
    void setDrawColor(GridColor color);
    [[nodiscard]] GridColor drawColor() const noexcept { return m_color; }

    // A line in user units in the current colour.
    void drawLine(double x1, double y1, double x2, double y2);

    // The curve of series in the current colour, in place of any curve shown:
    // take v at user x = v, value a at y = layout.userY(a). Shared, not
    // copied; null draws nothing; another series resets as CurveView::setSeries.
    void setCurve(std::shared_ptr<const ParamSeries> series, const CurveLayout& layout);

    // An envelope of series for the width the surface has now, built while
    // the caller worked out the rest (CurveView::offerEnvelope).
    void offerEnvelope(const std::shared_ptr<const ParamSeries>& series, CurveEnvelope envelope)
    {
        m_view.offerEnvelope(series, std::move(envelope));
    }

    // The parameter of the curve on show, none while no curve is.
    [[nodiscard]] std::optional<long long> curveParam() const noexcept
    {
        return m_view.series() ? std::optional<long long>(m_view.series()->param) : std::nullopt;
    }

    // Takes marked with a short tick on the bottom edge, in any order
    // (O(width log n) per paint). Kept by clear(); removed by setTickTakes({})
    // and by setCurve of another series, so set them after setCurve.
    void setTickTakes(std::vector<int> takes);
    [[nodiscard]] const std::vector<int>& tickTakes() const noexcept { return m_view.ticks(); }
    static constexpr QRgb kTickColor = CurveRenderer::kTickColor;
    static constexpr int kTickHeight = CurveRenderer::kTickHeight;

    // Markers drawn as dashed lines across the curve with their texts (the
    // user's and the log's own), in take order; kept by clear() and by
    // another curve, replaced as a whole.
    void setMarkers(std::vector<MarkerLine> markers);
    [[nodiscard]] const std::vector<MarkerLine>& markers() const noexcept { return m_renderer.markers(); }

    // Texts of the hover tooltip: provider(t) is take t's value as the log
    // holds it (empty shows "(empty)"). Without one the series' numbers are
    // shown and a take without a number shows "(empty)". Called once per hover.
    void setValueTextProvider(std::function<QString(int take)> provider);
    // The tooltip for a pointer at widgetPos, e.g. "Take 1500: 3000"; empty
    // where no curve is shown or the pointer is on no take.
    [[nodiscard]] QString toolTipTextAt(QPointF widgetPos) const;

    // The take the arrow keys start from (CurveView::marker).
    [[nodiscard]] std::optional<int> markerTake() const noexcept { return m_view.marker(); }
    void setMarkerTake(std::optional<int> take) noexcept { m_view.setMarker(take); }
    // Last take of the curve shown (of the full x range when none is).
    [[nodiscard]] int lastTake() const { return m_view.lastTake(); }

    // Size of the inside in pixels (the user rectangle maps onto it).
    [[nodiscard]] QSize surfaceSize() const;
    // Between user units and widget pixel coordinates (frame included); the
    // user rectangle fills the plot, above the time axis when one is shown.
    [[nodiscard]] QPointF toWidget(QPointF user) const;
    [[nodiscard]] QPointF toUser(QPointF widgetPos) const;

    // Number of things drawn: the lines and the curve.
    [[nodiscard]] int drawnItemCount() const noexcept
    {
        return static_cast<int>(m_renderer.lineCount()) + (m_view.series() ? 1 : 0);
    }
    // What paints it, for a picture of the curve as shown.
    [[nodiscard]] CurveRenderer& renderer() noexcept { return m_renderer; }

signals:
    // A mouse button was let go; x, y in user units, possibly outside the
    // user rectangle when the pointer was dragged off the surface.
    // A middle-button release and a left release with Ctrl held (or that ends
    // a Ctrl + left pan) are pans, not clicks, and are not reported.
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y);
    // A key moved the marker to take (always 0 .. lastTake(), scrolled into
    // view): the receiver should do what a click at user x = take does.
    void takeStepRequested(int take);
    // M, or "Add Marker..." of the context menu: the user wants a marker at
    // take (the marked take, else the one under the pointer).
    void markerRequested(int take);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    [[nodiscard]] QColor qtColor(GridColor color) const;
    // Repaints when changed says the visible scale moved.
    void viewMoved(bool changed);
    void stepTo(std::optional<int> take);
    [[nodiscard]] bool handlesKey(const QKeyEvent& key) const;

    CurveRenderer m_renderer;
    CurveView& m_view = m_renderer.view();  // where it looks: the renderer's
    GridColor m_color = 0;
    std::function<QString(int)> m_valueText;
    Qt::MouseButton m_panButton = Qt::NoButton;
};

}  // namespace dlv
