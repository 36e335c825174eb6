#pragma once

#include "views/curve.h"
#include "window/cell_grid.h"

#include <QFrame>
#include <QPointF>
#include <QRgb>

#include <memory>
#include <vector>

namespace dlv {

// The drawing surface of the window (Picture1): a white, sunken box with a
// user coordinate system laid over its inside (origin top-left, y down;
// 1 x 1 until a scale is set). What is drawn is kept as a display list, lines
// in user units and whole curves, and repainted from it, so it survives being
// covered, hidden and resized. A curve is painted from a per-column envelope:
// O(width) per paint, O(takes) once per series and width.
class CurveSurface final : public QFrame {
    Q_OBJECT
public:
    explicit CurveSurface(QWidget* parent = nullptr);
    ~CurveSurface() override;

    // Makes the inside span user x 0 .. width and y 0 .. height (non-positive
    // sizes count as 1). What is already drawn stays in user units.
    void setUserScale(double width, double height);
    // Any user rectangle, e.g. a visible range of takes from CurveLayout::scale(x0, x1).
    void setUserScale(const CurveScale& scale);
    [[nodiscard]] const CurveScale& userScale() const noexcept { return m_scale; }

    // Removes everything drawn: lines, curves and markers.
    void clear();

    // Colour of what is drawn next, 24-bit blue-green-red (0 black, 0xFF0000 blue).
    void setDrawColor(GridColor color);
    [[nodiscard]] GridColor drawColor() const noexcept { return m_color; }

    // A line in user units in the current colour.
    void drawLine(double x1, double y1, double x2, double y2);

    // The curve of series in the current colour: take v at user x = v, value a
    // at y = layout.userY(a). The series is shared, not copied; null draws nothing.
    void setCurve(std::shared_ptr<const ParamSeries> series, const CurveLayout& layout);

    // Size of the inside in pixels (the user rectangle maps onto it).
    [[nodiscard]] QSize surfaceSize() const;
    // Between user units and widget pixel coordinates (frame included).
    [[nodiscard]] QPointF toWidget(QPointF user) const;
    [[nodiscard]] QPointF toUser(QPointF widgetPos) const;

    // Number of items in the display list (lines + curves).
    [[nodiscard]] int drawnItemCount() const noexcept { return static_cast<int>(m_lines.size() + m_curves.size()); }

signals:
    // A mouse button was let go; x, y in user units, possibly outside the
    // user rectangle when the pointer was dragged off the surface.
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Line {
        double x1, y1, x2, y2;
        QRgb color;
        int order;  // position in the display list
    };
    struct Curve {
        std::shared_ptr<const ParamSeries> series;
        double maxValue = 0.0;
        QRgb color = 0;
        int order = 0;
        CurveEnvelope envelope;    // cached for the width and scale it was built for
        CurveScale envelopeScale;
        bool envelopeValid = false;
    };

    void paintContents(QPainter& painter);
    void paintCurve(QPainter& painter, Curve& curve, int w, int h);
    void paintLine(QPainter& painter, const Line& line, int w, int h) const;
    [[nodiscard]] QRgb qtColor(GridColor color) const;

    CurveScale m_scale;
    GridColor m_color = 0;
    std::vector<Line> m_lines;
    std::vector<Curve> m_curves;
    int m_nextOrder = 0;
};

}  // namespace dlv
