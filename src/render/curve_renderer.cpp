#include "render/curve_renderer.h"

#include "render/plot_axes.h"

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

}  // namespace

void paintEnvelopeRuns(QPainter& painter, const CurveEnvelope& envelope, int columns, int left, int top, int bottom,
                       const std::function<double(double)>& rowOf)
{
    const int w = std::min(columns, envelope.widthPx());
    const double first = static_cast<double>(top);
    const double last = static_cast<double>(bottom) + 1.0;  // the bottom row's lower edge
    QList<QLine> runs;
    runs.reserve(w);
    const std::vector<ColumnExtent>& cols = envelope.columns();
    for (int c = 0; c < w; ++c) {
        const ColumnExtent& e = cols[static_cast<std::size_t>(c)];
        if (e.empty())
            continue;
        const double yTop = rowOf(e.high);
        const double yBottom = rowOf(e.low);
        if (yBottom < first || yTop > last)
            continue;
        // The lower edge of the last row belongs to it, as the curve's
        // scale has it.
        const auto row = [&](double y) { return std::min(static_cast<int>(std::floor(y)), bottom); };
        runs.append(QLine(left + c, row(std::max(yTop, first)), left + c, row(std::min(yBottom, last))));
    }
    painter.drawLines(runs);
}

void paintCurveEnvelope(QPainter& painter, const CurveScale& scale, QSize size, const CurveEnvelope& envelope,
                        double maxValue, const QColor& color)
{
    const double pxPerUnit = static_cast<double>(size.height()) / scale.height();
    painter.setPen(QPen(color, 0));
    paintEnvelopeRuns(painter, envelope, size.width(), 0, 0, size.height() - 1,
                      [&](double v) { return (maxValue - v - scale.top()) * pxPerUnit; });
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
        // On a pale backing, so that a curve running through the text
        // leaves it readable.
        const int tw = metrics.horizontalAdvance(text);
        painter.fillRect(QRect(c + 2, 1, tw + 2, metrics.height()), QColor(255, 255, 255, 200));
        painter.setPen(color);
        painter.drawText(QPointF(c + 3, metrics.ascent() + 1), text);
        textRight = c + 3 + tw;
    }
}

void CurveRenderer::clear() noexcept
{
    m_view.clearSeries();
    m_lines.clear();
}

void CurveRenderer::setAxis(bool shown, ColumnPtr time, std::string decimalSeparator)
{
    m_axis = shown;
    m_time = std::move(time);
    m_separator = std::move(decimalSeparator);
}

QRect CurveRenderer::plotRect(QSize size) const
{
    size = size.expandedTo(QSize(1, 1));
    const int band = m_axis ? std::min(xLabelBandPx(QFontMetrics(m_font)), size.height() / 2) : 0;
    return {0, 0, size.width(), std::max(size.height() - band, 1)};
}

void CurveRenderer::paint(QPainter& painter, QSize size)
{
    size = size.expandedTo(QSize(1, 1));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(m_font);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const CurveScale& scale = m_view.visibleScale();
    const QRect plot = plotRect(size);
    if (m_dropped)
        paintDroppedTakes(painter, plot, *m_dropped, scale.left(), scale.right());
    std::vector<XTick> ticks;
    if (m_axis) {
        const std::span<const double> time = m_time ? std::span<const double>(*m_time) : std::span<const double>();
        ticks = fittedXTicks(time, plot, scale.left(), scale.right(), QFontMetrics(m_font), m_separator);
        paintXGrid(painter, plot, scale.left(), scale.right(), ticks);
    }
    const QSize area = plot.size();
    if (m_view.series())
        paintCurveEnvelope(painter, scale, area, m_view.envelope(area.width()), m_view.seriesMaxValue(),
                           m_curveColor);
    for (const Line& line : m_lines)
        paintUserLine(painter, scale, area, line.user, line.color);
    if (!m_view.ticks().empty())
        paintTakeTicks(painter, scale, area, m_view.ticks(), QColor::fromRgb(kTickColor), kTickHeight);
    if (!m_markers.empty())
        paintMarkerLines(painter, scale, area, m_markers);
    if (m_axis)
        paintXLabels(painter, plot, 0, size.width() - 1, scale.left(), scale.right(), ticks,
                     m_time ? QStringLiteral("s") : QStringLiteral("take"));
    painter.restore();
}

}  // namespace dlv
