#include "window/curve_surface.h"

#include <QLine>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <exception>

namespace dlv {

namespace {

// The right and bottom edges belong to the last column and row, as the curve
// envelope has it; without this a line at x = width would fall just outside.
constexpr double kEdgeNudge = 1.0 / 1024.0;

[[nodiscard]] double pullInsideEdge(double p, int size)
{
    const double edge = static_cast<double>(size);
    return (p >= edge && p < edge + kEdgeNudge) ? edge - kEdgeNudge : p;
}

// Pixel row of a y in pixels, the bottom edge counting as the last row.
[[nodiscard]] int pixelRow(double py, int h)
{
    return std::min(static_cast<int>(std::floor(py)), h - 1);
}

}  // namespace

CurveSurface::CurveSurface(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
}

CurveSurface::~CurveSurface() = default;

void CurveSurface::setUserScale(double width, double height)
{
    setUserScale(CurveScale(0.0, 0.0, width, height));
}

void CurveSurface::setUserScale(const CurveScale& scale)
{
    if (scale == m_scale)
        return;
    m_scale = scale;
    update();
}

void CurveSurface::clear()
{
    m_lines.clear();
    m_curves.clear();
    m_nextOrder = 0;
    update();
}

void CurveSurface::setDrawColor(GridColor color)
{
    m_color = color;
}

void CurveSurface::drawLine(double x1, double y1, double x2, double y2)
{
    m_lines.push_back(Line{x1, y1, x2, y2, qtColor(m_color), m_nextOrder++});
    update();
}

void CurveSurface::setCurve(std::shared_ptr<const ParamSeries> series, const CurveLayout& layout)
{
    if (!series)
        return;
    Curve curve;
    curve.series = std::move(series);
    curve.maxValue = layout.maxValue;
    curve.color = qtColor(m_color);
    curve.order = m_nextOrder++;
    m_curves.push_back(std::move(curve));
    update();
}

QSize CurveSurface::surfaceSize() const
{
    const QSize s = contentsRect().size();
    return {std::max(s.width(), 1), std::max(s.height(), 1)};
}

QPointF CurveSurface::toWidget(QPointF user) const
{
    const QSize s = surfaceSize();
    const QPoint origin = contentsRect().topLeft();
    return {origin.x() + m_scale.toPixelX(user.x(), s.width()), origin.y() + m_scale.toPixelY(user.y(), s.height())};
}

QPointF CurveSurface::toUser(QPointF widgetPos) const
{
    const QSize s = surfaceSize();
    const QPoint origin = contentsRect().topLeft();
    return {m_scale.toUserX(widgetPos.x() - origin.x(), s.width()),
            m_scale.toUserY(widgetPos.y() - origin.y(), s.height())};
}

QRgb CurveSurface::qtColor(GridColor color) const
{
    if (color == kButtonFace)
        return palette().color(QPalette::Button).rgb();
    return qRgb(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                static_cast<int>((color >> 16) & 0xFFu));
}

void CurveSurface::paintEvent(QPaintEvent* event)
{
    try {
        QFrame::paintEvent(event);  // the sunken border
        QPainter painter(this);
        painter.setClipRect(contentsRect());
        painter.translate(contentsRect().topLeft());
        painter.setRenderHint(QPainter::Antialiasing, false);
        paintContents(painter);
    } catch (const std::exception&) {
        // Out of memory while building an envelope: leave the surface blank
        // rather than let the exception into Qt's event loop.
    } catch (...) {
    }
}

void CurveSurface::paintContents(QPainter& painter)
{
    const QSize s = surfaceSize();
    auto line = m_lines.begin();
    auto curve = m_curves.begin();
    // Lines and curves in the order they were drawn, so later items lie on top.
    while (line != m_lines.end() || curve != m_curves.end()) {
        if (curve == m_curves.end() || (line != m_lines.end() && line->order < curve->order)) {
            paintLine(painter, *line, s.width(), s.height());
            ++line;
        } else {
            paintCurve(painter, *curve, s.width(), s.height());
            ++curve;
        }
    }
}

void CurveSurface::paintLine(QPainter& painter, const Line& line, int w, int h) const
{
    painter.setPen(QPen(QColor(line.color), 0));
    const QPointF a(pullInsideEdge(m_scale.toPixelX(line.x1, w), w), pullInsideEdge(m_scale.toPixelY(line.y1, h), h));
    const QPointF b(pullInsideEdge(m_scale.toPixelX(line.x2, w), w), pullInsideEdge(m_scale.toPixelY(line.y2, h), h));
    painter.drawLine(a, b);
}

void CurveSurface::paintCurve(QPainter& painter, Curve& curve, int w, int h)
{
    const bool fresh = curve.envelopeValid && curve.envelope.widthPx() == w && curve.envelopeScale == m_scale;
    if (!fresh) {
        curve.envelope = CurveEnvelope::build(*curve.series, m_scale.left(), m_scale.right(), w);
        curve.envelopeScale = m_scale;
        curve.envelopeValid = true;
    }
    // One vertical run per column: value -> user y -> pixel row.
    const double top = m_scale.top();
    const double pxPerUnit = static_cast<double>(h) / m_scale.height();
    const double hd = static_cast<double>(h);
    QList<QLine> runs;
    runs.reserve(w);
    const std::vector<ColumnExtent>& cols = curve.envelope.columns();
    for (int c = 0; c < w; ++c) {
        const ColumnExtent& e = cols[static_cast<std::size_t>(c)];
        if (e.empty())
            continue;
        const double yTop = (curve.maxValue - e.high - top) * pxPerUnit;
        const double yBottom = (curve.maxValue - e.low - top) * pxPerUnit;
        if (yBottom < 0.0 || yTop > hd)
            continue;
        const int r0 = pixelRow(std::max(yTop, 0.0), h);
        const int r1 = pixelRow(std::min(yBottom, hd), h);
        runs.append(QLine(c, r0, c, r1));
    }
    painter.setPen(QPen(QColor(curve.color), 0));
    painter.drawLines(runs);
}

void CurveSurface::mouseReleaseEvent(QMouseEvent* event)
{
    try {
        const QPointF user = toUser(event->position());
        event->accept();
        emit mouseReleased(event->button(), event->modifiers(), user.x(), user.y());
    } catch (...) {
        // A receiver's failure must not unwind through Qt's event loop.
    }
}

}  // namespace dlv
