#include "render/plot_axes.h"

#include <QColor>
#include <QPainter>
#include <QPointF>

#include <algorithm>

namespace dlv {

namespace {

constexpr int kLabelGapPx = 8;  // at least between two x labels

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void paintDroppedTakes(QPainter& painter, const QRect& plot, std::span<const std::uint8_t> keep, double x0,
                       double x1)
{
    for (const PixelSpan& span : droppedSpans(keep, x0, x1, plot.width()))
        painter.fillRect(QRect(plot.left() + span.begin, plot.top(), span.end - span.begin, plot.height()),
                         QColor::fromRgb(kDroppedShade));
}

std::vector<XTick> fittedXTicks(std::span<const double> time, const QRect& plot, double x0, double x1,
                                const QFontMetrics& metrics, std::string_view separator)
{
    std::vector<XTick> ticks;
    for (int maxTicks = std::max(2, plot.width() / 90);; --maxTicks) {
        ticks = !time.empty() ? timeTicks(time, x0, x1, maxTicks, separator) : takeTicks(x0, x1, maxTicks);
        bool apart = true;
        for (std::size_t i = 1; i < ticks.size() && apart; ++i)
            apart = plotPixelOfTake(plot, x0, x1, ticks[i].x) - plotPixelOfTake(plot, x0, x1, ticks[i - 1].x) >=
                    (metrics.horizontalAdvance(fromUtf8(ticks[i].label)) +
                     metrics.horizontalAdvance(fromUtf8(ticks[i - 1].label))) / 2.0 + kLabelGapPx;
        if (apart || maxTicks <= 2)
            return ticks;
    }
}

void paintXGrid(QPainter& painter, const QRect& plot, double x0, double x1, std::span<const XTick> ticks)
{
    painter.setPen(QColor::fromRgb(kPlotGridLine));
    for (const XTick& tick : ticks) {
        const double px = plotPixelOfTake(plot, x0, x1, tick.x);
        painter.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
    }
}

void paintXLabels(QPainter& painter, const QRect& plot, int leftEdge, int rightEdge, double x0, double x1,
                  std::span<const XTick> ticks, const QString& caption)
{
    const QFontMetrics metrics(painter.font());
    painter.setPen(QColor::fromRgb(kAxisText));
    const double rightmost = rightEdge - metrics.horizontalAdvance(caption) - 4;
    const double baseline = plot.bottom() + kAxisTickPx + metrics.ascent();
    double labelEnd = -1e9;
    for (const XTick& tick : ticks) {
        const double px = plotPixelOfTake(plot, x0, x1, tick.x);
        painter.drawLine(QPointF(px, plot.bottom() + 1), QPointF(px, plot.bottom() + kAxisTickPx));
        const QString label = fromUtf8(tick.label);
        const int tw = metrics.horizontalAdvance(label);
        const double left = std::max<double>(px - tw / 2.0, leftEdge);
        if (left < labelEnd + kLabelGapPx || left + tw > rightmost)
            continue;
        painter.drawText(QPointF(left, baseline), label);
        labelEnd = left + tw;
    }
    // Right of the plot where its margin has room for it, else after the
    // last label, which leaves room for it before rightEdge.
    const double captionX = std::min<double>(std::max<double>(plot.right() + 6, labelEnd + 4),
                                             rightEdge - metrics.horizontalAdvance(caption));
    painter.drawText(QPointF(captionX, baseline), caption);
}

int xLabelBandPx(const QFontMetrics& metrics) noexcept
{
    return kAxisTickPx + metrics.height() + 1;
}

}  // namespace dlv
