#include "render/curve_renderer.h"

#include <QLine>
#include <QList>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

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

void paintCurveEnvelope(QPainter& painter, const CurveScale& scale, QSize size, const CurveEnvelope& envelope,
                        double maxValue, const QColor& color)
{
    const int w = std::min(size.width(), envelope.widthPx());
    const int h = size.height();
    const double pxPerUnit = static_cast<double>(h) / scale.height();
    const double hd = static_cast<double>(h);
    QList<QLine> runs;
    runs.reserve(w);
    const std::vector<ColumnExtent>& cols = envelope.columns();
    for (int c = 0; c < w; ++c) {
        const ColumnExtent& e = cols[static_cast<std::size_t>(c)];
        if (e.empty())
            continue;
        const double yTop = (maxValue - e.high - scale.top()) * pxPerUnit;
        const double yBottom = (maxValue - e.low - scale.top()) * pxPerUnit;
        if (yBottom < 0.0 || yTop > hd)
            continue;
        runs.append(QLine(c, pixelRow(std::max(yTop, 0.0), h), c, pixelRow(std::min(yBottom, hd), h)));
    }
    painter.setPen(QPen(color, 0));
    painter.drawLines(runs);
}

void paintUserLine(QPainter& painter, const CurveScale& scale, QSize size, QLineF line, const QColor& color)
{
    const int w = size.width();
    const int h = size.height();
    painter.setPen(QPen(color, 0));
    painter.drawLine(QPointF(pullInsideEdge(scale.toPixelX(line.x1(), w), w), pullInsideEdge(scale.toPixelY(line.y1(), h), h)),
                     QPointF(pullInsideEdge(scale.toPixelX(line.x2(), w), w), pullInsideEdge(scale.toPixelY(line.y2(), h), h)));
}

void paintTakeTicks(QPainter& painter, const CurveScale& scale, QSize size, std::span<const int> sortedTakes,
                    const QColor& color, int height)
{
    const int w = size.width();
    const int h = size.height();
    // Column of a take, the right edge belonging to the last column; it only
    // grows with the take, so the ticks of one column are found by bisection
    // and each column costs O(log ticks) however many ticks it holds.
    auto column = [&](int t) {
        return std::min(static_cast<int>(std::floor(scale.toPixelX(static_cast<double>(t), w))), w - 1);
    };
    auto it = std::lower_bound(sortedTakes.begin(), sortedTakes.end(), scale.left(),
                               [](int t, double x) { return static_cast<double>(t) < x; });
    const int top = std::max(h - height, 0);
    QList<QLine> ticks;
    while (it != sortedTakes.end() && static_cast<double>(*it) <= scale.right()) {
        const int c = std::max(column(*it), 0);
        ticks.append(QLine(c, top, c, h - 1));
        if (c >= w - 1)
            break;
        it = std::partition_point(it, sortedTakes.end(), [&](int t) { return column(t) <= c; });
    }
    painter.setPen(QPen(color, 0));
    painter.drawLines(ticks);
}

void paintMarkerLines(QPainter& painter, const CurveScale& scale, QSize size, std::span<const MarkerLine> markers)
{
    const int w = size.width();
    const int h = size.height();
    const QFontMetrics metrics = painter.fontMetrics();
    int textRight = -1;  // where the last text shown ends: texts never overlap
    for (const MarkerLine& marker : markers) {
        const double x = static_cast<double>(marker.take);
        if (x < scale.left() || x > scale.right())
            continue;
        const int c = std::clamp(static_cast<int>(std::floor(scale.toPixelX(x, w))), 0, std::max(w - 1, 0));
        const QColor& color = marker.fromLog ? kLogMarkerColor : kUserMarkerColor;
        painter.setPen(QPen(color, 0, Qt::DashLine));
        painter.drawLine(c, 0, c, h - 1);
        if (marker.text.isEmpty() || c + 3 <= textRight)
            continue;
        const QString text = metrics.elidedText(marker.text, Qt::ElideRight, std::max(w - c - 4, 0));
        if (text.isEmpty())
            continue;
        painter.setPen(color);
        painter.drawText(QPointF(c + 3, metrics.ascent() + 1), text);
        textRight = c + 3 + metrics.horizontalAdvance(text);
    }
}

}  // namespace dlv
