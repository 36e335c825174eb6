#include "render/chart_renderer.h"

#include "render/plot_axes.h"

#include "datalog/number.h"
#include "render/file_writing.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QImageWriter>
#include <QLineF>
#include <QPainter>
#include <QPolygonF>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

namespace dlv {

namespace {

constexpr QRgb kPlotBorder = 0xFFB0B0B0;
constexpr QRgb kGridLine = kPlotGridLine;
constexpr QRgb kCursorColor = 0xFF000000;
// range grown to hold by too (by empty: as it was).
void widen(ValueRange& range, const ValueRange& by) noexcept
{
    if (!by.empty()) {
        range.include(by.low);
        range.include(by.high);
    }
}

constexpr QRgb kOverlayPointColor = 0xFFE69F00;  // orange: the overlaid log's scatter points
constexpr int kTickPx = kAxisTickPx;
constexpr double kDotRadiusPx = 2.5;  // a take drawn alone

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::span<const double> valuesOf(const ColumnPtr& column)
{
    return column ? std::span<const double>(*column) : std::span<const double>();
}

std::span<const std::uint8_t> keepOf(const std::shared_ptr<const KeepMask>& keep)
{
    return keep ? std::span<const std::uint8_t>(*keep) : std::span<const std::uint8_t>();
}

// Ticks for an axis whose labels stand beside the plot, in the room of its
// margin: in scientific form also when the plain labels are too wide for it
// and the scientific ones narrower (a range of 1e9 and up).
AxisTicks sideTicks(ValueRange range, int maxTicks, const QFontMetrics& metrics, std::string_view separator)
{
    constexpr int kRoomPx = ChartRenderer::kLeftMargin - kTickPx - 4;
    AxisTicks ticks = niceTicks(range, maxTicks);
    if (ticks.scientific)
        return ticks;
    const auto widest = [&](bool scientific) {
        ticks.scientific = scientific;
        int px = 0;
        for (const double v : ticks.values)
            px = std::max(px, metrics.horizontalAdvance(fromUtf8(tickText(ticks, v, separator))));
        return px;
    };
    const int plain = widest(false);
    ticks.scientific = plain > kRoomPx && widest(true) < plain;
    return ticks;
}

}  // namespace

QColor chartQColor(ChartRgb rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | (rgb & 0xFFFFFFu)));
}

struct ChartRenderer::Cache {
    struct Envelope {
        const Column* column;  // identity only: the page holds the column
        double x0, x1;
        int width;
        CurveEnvelope envelope;
    };
    struct Scatter {
        int width = -1, height = -1;
        ScatterRanges ranges;
        ValueRange xShown, yShown;
        ScatterRaster raster;
        QImage image;
    };
    std::vector<Envelope> envelopes;
    std::vector<Scatter> scatters;                // one per pane
    std::vector<std::vector<ValueRange>> ranges;  // per pane and channel, from the last paint
};

ChartRenderer::ChartRenderer() : m_cache(std::make_unique<Cache>()) {}

ChartRenderer::~ChartRenderer() = default;

void ChartRenderer::setPage(ResolvedPage page)
{
    m_page = std::move(page);
    // A log of one take shows it in the middle, not on the left edge.
    m_zoom = m_page.takeCount == 1 ? CurveZoom(-0.5, 1.0)
                                   : CurveZoom(0.0, std::max(1.0, static_cast<double>(m_page.takeCount - 1)));
    if (m_cursor && *m_cursor > lastTake())
        m_cursor.reset();
    *m_cache = Cache{};
    m_cache->scatters.resize(m_page.panes.size());
    m_cache->ranges.resize(m_page.panes.size());
}

void ChartRenderer::setCursor(std::optional<int> take) noexcept
{
    if (take && (*take < 0 || *take > lastTake()))
        take.reset();
    m_cursor = take;
}

std::vector<ChartRenderer::PaneGeometry> ChartRenderer::geometry(QSize size) const
{
    std::vector<PaneGeometry> out;
    std::vector<bool> footers(m_page.panes.size());
    // The last stacked pane labels the shared x axis; scatter panes their own.
    int lastStacked = -1;
    for (std::size_t i = 0; i < m_page.panes.size(); ++i)
        if (m_page.panes[i].kind == ChartPaneKind::Stacked)
            lastStacked = static_cast<int>(i);
    for (std::size_t i = 0; i < m_page.panes.size(); ++i)
        footers[i] = m_page.panes[i].kind == ChartPaneKind::Scatter || static_cast<int>(i) == lastStacked;
    const std::vector<PaneBox> boxes = stackPanes(size.height() - 4, footers);
    const int plotWidth = std::max(8, size.width() - kLeftMargin - kRightMargin);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const PaneBox& b = boxes[i];
        out.push_back({QRect(0, b.top + 2, size.width(), b.bottom - b.top),
                       QRect(kLeftMargin, b.plotTop + 2, plotWidth, b.plotHeight), m_page.panes[i].kind});
    }
    return out;
}

int ChartRenderer::paneAt(QPoint point, QSize size) const
{
    const auto panes = geometry(size);
    for (std::size_t i = 0; i < panes.size(); ++i)
        if (panes[i].box.contains(point))
            return static_cast<int>(i);
    return -1;
}

double ChartRenderer::takeAtPixel(double px, QSize size) const
{
    const int width = std::max(8, size.width() - kLeftMargin - kRightMargin);
    const CurveScale scale(m_zoom.left(), 0.0, m_zoom.width(), 1.0);
    return scale.toUserX(px - kLeftMargin, width);
}

double ChartRenderer::pixelOfTake(double x, QSize size) const
{
    const int width = std::max(8, size.width() - kLeftMargin - kRightMargin);
    const CurveScale scale(m_zoom.left(), 0.0, m_zoom.width(), 1.0);
    return kLeftMargin + scale.toPixelX(x, width);
}

const CurveEnvelope& ChartRenderer::envelopeFor(const ColumnPtr& values, int widthPx)
{
    return envelopeOver(values, m_zoom.left(), m_zoom.right(), widthPx);
}

const CurveEnvelope& ChartRenderer::envelopeOver(const ColumnPtr& values, double x0, double x1, int widthPx)
{
    auto& cache = m_cache->envelopes;
    for (const Cache::Envelope& e : cache)
        if (e.column == values.get() && e.x0 == x0 && e.x1 == x1 && e.width == widthPx)
            return e.envelope;
    // Only this view's envelopes are worth keeping: a new x range or size
    // makes every earlier one useless. The overlay's range follows the
    // view's, so an envelope of either range of this width stays.
    const std::optional<std::pair<double, double>> overlayRange =
        m_overlay ? std::optional(std::pair(m_overlay->time.positionOnB(m_zoom.left()),
                                            m_overlay->time.positionOnB(m_zoom.right())))
                  : std::nullopt;
    std::erase_if(cache, [&](const Cache::Envelope& e) {
        const bool view = e.x0 == m_zoom.left() && e.x1 == m_zoom.right();
        const bool overlay = overlayRange && e.x0 == overlayRange->first && e.x1 == overlayRange->second;
        return e.width != widthPx || !(view || overlay);
    });
    cache.push_back({values.get(), x0, x1, widthPx,
                     CurveEnvelope::build(std::span<const double>(*values), x0, x1, widthPx)});
    return cache.back().envelope;
}

void ChartRenderer::setOverlay(std::optional<ChartOverlay> overlay)
{
    m_overlay = std::move(overlay);
    m_cache->envelopes.clear();
    for (Cache::Scatter& scatter : m_cache->scatters)
        scatter = Cache::Scatter{};
}

void ChartRenderer::setMarkers(std::vector<MarkerLine> markers)
{
    m_markersWithoutText = markers;
    for (MarkerLine& marker : m_markersWithoutText)
        marker.text.clear();
    m_markers = std::move(markers);
}

void ChartRenderer::setOverlayOffset(double offset) noexcept
{
    if (m_overlay)
        m_overlay->time.setOffset(offset);
}

QString ChartRenderer::overlayValueText(int pane, int channel) const
{
    if (!m_overlay || !m_cursor || pane < 0 || pane >= static_cast<int>(m_overlay->page.panes.size()))
        return {};
    const ResolvedPane& p = m_overlay->page.panes[static_cast<std::size_t>(pane)];
    if (channel < 0 || channel >= static_cast<int>(p.channels.size()) || !p.channels[static_cast<std::size_t>(channel)].values)
        return {};
    const std::optional<int> take = m_overlay->time.takeOfBAt(*m_cursor);
    if (!take)
        return QStringLiteral("-");
    return valueText(p.channels[static_cast<std::size_t>(channel)].values, take);
}

QColor overlayShade(const QColor& colour)
{
    // Halfway to white: the same hue, plainly the second of the two.
    return QColor((colour.red() + 255) / 2, (colour.green() + 255) / 2, (colour.blue() + 255) / 2);
}

QString ChartRenderer::valueText(const ColumnPtr& values, std::optional<int> take) const
{
    return fromUtf8(cursorValueText(valuesOf(values), take ? *take : -1, m_separator));
}

ValueRange ChartRenderer::shownRange(int pane, int channel) const
{
    if (pane < 0 || pane >= static_cast<int>(m_cache->ranges.size()))
        return {};
    const auto& ranges = m_cache->ranges[static_cast<std::size_t>(pane)];
    return channel >= 0 && channel < static_cast<int>(ranges.size()) ? ranges[static_cast<std::size_t>(channel)]
                                                                      : ValueRange{};
}

QString ChartRenderer::legendText(int pane, int channel) const
{
    if (pane < 0 || pane >= static_cast<int>(m_page.panes.size()))
        return {};
    const ResolvedPane& p = m_page.panes[static_cast<std::size_t>(pane)];
    if (channel < 0 || channel >= static_cast<int>(p.channels.size()))
        return {};
    const ResolvedChannel& c = p.channels[static_cast<std::size_t>(channel)];
    const QString name = fromUtf8(shownChannelName(c.name, c.unit));
    if (!c.values)
        return name + QStringLiteral(" (not in this log)");
    if (!m_cursor)
        return name;
    return name + QLatin1Char(' ') + valueText(c.values, m_cursor);
}

QString ChartRenderer::scatterPointText(int pane, int take) const
{
    if (pane < 0 || pane >= static_cast<int>(m_page.panes.size()) || take < 0)
        return {};
    QString text = QStringLiteral("Take %1:").arg(take);
    bool first = true;
    for (const ResolvedChannel& c : m_page.panes[static_cast<std::size_t>(pane)].channels) {
        if (c.name.empty())
            continue;
        text += (first ? QStringLiteral(" ") : QStringLiteral(", ")) + fromUtf8(c.name) + QLatin1Char(' ') +
                valueText(c.values, take);
        first = false;
    }
    return text;
}

void ChartRenderer::paint(QPainter& painter, QSize size)
{
    painter.save();
    painter.setFont(m_font);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const auto panes = geometry(size);
    int lastStacked = -1;
    for (std::size_t i = 0; i < panes.size(); ++i)
        if (panes[i].kind == ChartPaneKind::Stacked)
            lastStacked = static_cast<int>(i);
    for (std::size_t i = 0; i < panes.size(); ++i) {
        const int index = static_cast<int>(i);
        if (panes[i].kind == ChartPaneKind::Scatter)
            paintScatter(painter, index, panes[i]);
        else
            paintStacked(painter, index, panes[i], index == lastStacked);
        paintLegend(painter, index, panes[i]);
    }
    if (panes.empty()) {
        painter.setPen(QColor::fromRgb(kAxisText));
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("No panes"));
    }
    painter.restore();
}

void ChartRenderer::paintStacked(QPainter& painter, int index, const PaneGeometry& geo, bool labelX)
{
    const ResolvedPane& pane = m_page.panes[static_cast<std::size_t>(index)];
    const QRect plot = geo.plot;
    const int w = plot.width();
    const double x0 = m_zoom.left();
    const double x1 = m_zoom.right();
    const QFontMetrics metrics(painter.font());
    auto xPixel = [&](double x) { return plotPixelOfTake(plot, x0, x1, x); };

    // Takes the filter drops, shaded across the plot.
    paintDroppedTakes(painter, plot, keepOf(m_page.keep), x0, x1);

    // x ticks: grid lines here, labels under the last stacked pane. Fewer
    // ticks while their labels would touch (long times such as 1e18 s).
    const std::vector<XTick> xTicks = fittedXTicks(valuesOf(m_page.time), plot, x0, x1, metrics, m_separator);
    paintXGrid(painter, plot, x0, x1, xTicks);
    if (labelX)
        paintXLabels(painter, plot, geo.box.left(), geo.box.right(), x0, x1, xTicks,
                     m_page.time ? QStringLiteral("s") : QStringLiteral("take"));

    auto& ranges = m_cache->ranges[static_cast<std::size_t>(index)];
    ranges.assign(pane.channels.size(), ValueRange{});
    painter.save();
    painter.setClipRect(plot);
    // One channel's curve: with few takes in view the real polyline through
    // them (positionOf: a take's x position in the plot), broken where a take
    // has no number; otherwise its envelope's columns.
    const auto drawCurve = [&](const Column& values, const CurveEnvelope& envelope, const QColor& colour,
                               const auto& yPixel, double from, double to, const auto& positionOf) {
        painter.setPen(QPen(colour, 1.0));
        const long long takesInView = static_cast<long long>(std::floor(to) - std::ceil(from)) + 1;
        if (takesInView <= 2LL * w) {
            const long long first = std::max(0LL, static_cast<long long>(std::floor(from)));
            const long long last = std::min(static_cast<long long>(values.size()) - 1, static_cast<long long>(std::ceil(to)));
            QPolygonF run;
            // A take alone between takes without a number (or in a log
            // of one take) is a dot, not a pixel lost under the border.
            auto flush = [&] {
                if (run.size() == 1) {
                    painter.save();
                    painter.setRenderHint(QPainter::Antialiasing);
                    painter.setBrush(colour);
                    painter.drawEllipse(run.front(), kDotRadiusPx, kDotRadiusPx);
                    painter.restore();
                } else if (run.size() > 1) {
                    painter.drawPolyline(run);
                }
                run.clear();
            };
            for (long long t = first; t <= last; ++t) {
                const double v = values[static_cast<std::size_t>(t)];
                if (std::isnan(v)) {
                    flush();
                    continue;
                }
                run.append(QPointF(xPixel(positionOf(static_cast<double>(t))), yPixel(v)));
            }
            flush();
            return;
        }
        paintEnvelopeRuns(painter, envelope, static_cast<int>(envelope.columns().size()), plot.left(), plot.top(),
                          plot.bottom(), yPixel);
    };
    // The overlaid log's takes in view, on its own positions.
    const double bx0 = m_overlay ? m_overlay->time.positionOnB(x0) : 0.0;
    const double bx1 = m_overlay ? m_overlay->time.positionOnB(x1) : 0.0;
    const auto onA = [this](double bPosition) { return m_overlay->time.positionOnA(bPosition); };
    const auto same = [](double x) { return x; };

    for (std::size_t k = 0; k < pane.channels.size(); ++k) {
        const ResolvedChannel& channel = pane.channels[k];
        if (!channel.values || channel.values->empty())
            continue;
        const CurveEnvelope& envelope = envelopeFor(channel.values, w);
        ValueRange both = envelopeRange(envelope);
        // The overlaid log's channel, on the same scale as the first's.
        const ColumnPtr overlaid =
            m_overlay && static_cast<std::size_t>(index) < m_overlay->page.panes.size() &&
                    k < m_overlay->page.panes[static_cast<std::size_t>(index)].channels.size()
                ? m_overlay->page.panes[static_cast<std::size_t>(index)].channels[k].values
                : nullptr;
        const CurveEnvelope* overlayEnvelope = nullptr;
        if (overlaid && !overlaid->empty() && bx1 > bx0) {
            overlayEnvelope = &envelopeOver(overlaid, bx0, bx1, w);
            widen(both, envelopeRange(*overlayEnvelope));
        }
        const ValueRange shown = paddedRange(both);
        ranges[k] = shown;
        auto yPixel = [&](double v) { return plot.top() + axisPixel(v, shown, plot.height() - 1, true); };
        if (k == 0) {  // the first channel's ticks get grid lines
            painter.setPen(QColor::fromRgb(kGridLine));
            for (const double v : niceTicks(shown, std::max(2, plot.height() / 28)).values)
                painter.drawLine(QPointF(plot.left(), yPixel(v)), QPointF(plot.right(), yPixel(v)));
        }
        if (overlayEnvelope)
            drawCurve(*overlaid, *overlayEnvelope, overlayShade(chartQColor(channel.color)), yPixel, bx0, bx1, onA);
        drawCurve(*channel.values, envelope, chartQColor(channel.color), yPixel, x0, x1, same);
    }
    // Markers, drawn by the General curve's rule over this pane's x range.
    if (!m_markers.empty()) {
        const bool first = std::find_if(m_page.panes.begin(), m_page.panes.end(), [](const ResolvedPane& p) {
                               return p.kind == ChartPaneKind::Stacked;
                           }) - m_page.panes.begin() == index;
        painter.save();
        painter.translate(plot.topLeft());
        paintMarkerLines(painter, CurveScale(x0, 0.0, x1 - x0, 1.0), plot.size(),
                         first ? m_markers : m_markersWithoutText);
        painter.restore();
    }
    if (m_cursor && *m_cursor >= x0 && *m_cursor <= x1) {
        painter.setPen(QPen(QColor::fromRgb(kCursorColor), 1.0));
        const double px = std::floor(xPixel(*m_cursor)) + 0.5;
        painter.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
    }
    painter.restore();

    painter.setPen(QColor::fromRgb(kPlotBorder));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));

    // The first channel's values on the left axis, the second's on the right,
    // each in its channel's colour.
    for (std::size_t k = 0; k < std::min<std::size_t>(2, pane.channels.size()); ++k) {
        const ValueRange shown = ranges[k];
        if (shown.empty())
            continue;
        const AxisTicks ticks = sideTicks(shown, std::max(2, plot.height() / 28), metrics, m_separator);
        painter.setPen(chartQColor(pane.channels[k].color));
        for (const double v : ticks.values) {
            const double py = plot.top() + axisPixel(v, shown, plot.height() - 1, true);
            const QString label = fromUtf8(tickText(ticks, v, m_separator));
            const int tw = metrics.horizontalAdvance(label);
            const double baseline = py + metrics.ascent() / 2.0 - 1.0;
            if (k == 0) {
                painter.drawLine(QPointF(plot.left() - kTickPx, py), QPointF(plot.left() - 1, py));
                painter.drawText(QPointF(plot.left() - kTickPx - 2 - tw, baseline), label);
            } else {
                painter.drawLine(QPointF(plot.right() + 1, py), QPointF(plot.right() + kTickPx, py));
                painter.drawText(QPointF(plot.right() + kTickPx + 3, baseline), label);
            }
        }
    }
}

void ChartRenderer::paintScatter(QPainter& painter, int index, const PaneGeometry& geo)
{
    const ResolvedPane& pane = m_page.panes[static_cast<std::size_t>(index)];
    const QRect plot = geo.plot;
    const QFontMetrics metrics(painter.font());
    const ColumnPtr& xs = pane.channels[0].values;
    const ColumnPtr& ys = pane.channels[1].values;
    const ColumnPtr& cs = pane.channels[2].values;
    Cache::Scatter& cache = m_cache->scatters[static_cast<std::size_t>(index)];
    if (cache.width != plot.width() || cache.height != plot.height()) {
        cache = Cache::Scatter{};
        cache.width = plot.width();
        cache.height = plot.height();
        cache.ranges = scatterRanges(valuesOf(xs), valuesOf(ys), valuesOf(cs), keepOf(m_page.keep));
        // The overlaid log's points, on the same axes: its ranges widen them.
        const ResolvedPane* other = m_overlay && static_cast<std::size_t>(index) < m_overlay->page.panes.size()
                                        ? &m_overlay->page.panes[static_cast<std::size_t>(index)]
                                        : nullptr;
        if (other && (other->kind != ChartPaneKind::Scatter || other->channels.size() < 3))
            other = nullptr;
        ScatterRanges otherRanges;
        if (other) {
            otherRanges = scatterRanges(valuesOf(other->channels[0].values), valuesOf(other->channels[1].values),
                                        valuesOf(other->channels[2].values), keepOf(m_overlay->page.keep));
            widen(cache.ranges.x, otherRanges.x);
            widen(cache.ranges.y, otherRanges.y);
        }
        cache.xShown = paddedRange(cache.ranges.x);
        cache.yShown = paddedRange(cache.ranges.y);
        const int radius = cache.ranges.points + otherRanges.points > 20000 ? 1 : 2;
        cache.raster = ScatterRaster::build(valuesOf(xs), valuesOf(ys), keepOf(m_page.keep), cache.xShown,
                                            cache.yShown, plot.width(), plot.height(), radius);
        cache.image = QImage(plot.size(), QImage::Format_ARGB32_Premultiplied);
        cache.image.fill(Qt::transparent);
        if (other) {
            // Under the first log's points, in a second colour set: one
            // orange, or a light-to-dark grey by its own colour channel.
            const ScatterRaster raster =
                ScatterRaster::build(valuesOf(other->channels[0].values), valuesOf(other->channels[1].values),
                                     keepOf(m_overlay->page.keep), cache.xShown, cache.yShown, plot.width(),
                                     plot.height(), radius);
            const std::span<const double> shades = valuesOf(other->channels[2].values);
            const ValueRange sr = otherRanges.color;
            const double sSpan = sr.span() > 0.0 ? sr.span() : 1.0;
            for (int y = 0; y < raster.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(cache.image.scanLine(y));
                const std::int32_t* row = raster.takes().data() + static_cast<std::size_t>(y) * raster.width();
                for (int x = 0; x < raster.width(); ++x) {
                    const std::int32_t t = row[x];
                    if (t < 0)
                        continue;
                    if (shades.empty()) {
                        line[x] = kOverlayPointColor;
                    } else {
                        const double c = shades[static_cast<std::size_t>(t)];
                        const int grey = std::isnan(c) ? 160 : 200 - static_cast<int>(150 * std::clamp((c - sr.low) / sSpan, 0.0, 1.0));
                        line[x] = qRgb(grey, grey, grey);
                    }
                }
            }
        }
        const std::span<const double> colors = valuesOf(cs);
        const ValueRange cr = cache.ranges.color;
        const double cSpan = cr.span() > 0.0 ? cr.span() : 1.0;
        const QRgb plain = chartQColor(defaultChannelColor(0)).rgb();
        const auto& takes = cache.raster.takes();
        for (int y = 0; y < cache.raster.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(cache.image.scanLine(y));
            const std::int32_t* row = takes.data() + static_cast<std::size_t>(y) * cache.raster.width();
            for (int x = 0; x < cache.raster.width(); ++x) {
                const std::int32_t t = row[x];
                if (t < 0)
                    continue;
                if (colors.empty()) {
                    line[x] = plain;
                } else {
                    const double c = colors[static_cast<std::size_t>(t)];
                    line[x] = 0xFF000000u | colourScale(std::isnan(c) ? c : (c - cr.low) / cSpan);
                }
            }
        }
    }

    // Grid and axes from the shown ranges.
    const AxisTicks xTicks = niceTicks(cache.xShown, std::max(2, plot.width() / 90));
    const AxisTicks yTicks = sideTicks(cache.yShown, std::max(2, plot.height() / 28), metrics, m_separator);
    auto xPixel = [&](double v) { return plot.left() + axisPixel(v, cache.xShown, plot.width() - 1, false); };
    auto yPixel = [&](double v) { return plot.top() + axisPixel(v, cache.yShown, plot.height() - 1, true); };
    painter.setPen(QColor::fromRgb(kGridLine));
    for (const double v : xTicks.values)
        painter.drawLine(QPointF(xPixel(v), plot.top()), QPointF(xPixel(v), plot.bottom()));
    for (const double v : yTicks.values)
        painter.drawLine(QPointF(plot.left(), yPixel(v)), QPointF(plot.right(), yPixel(v)));
    painter.drawImage(plot.topLeft(), cache.image);

    if (m_cursor && xs && ys) {
        const std::size_t t = static_cast<std::size_t>(*m_cursor);
        if (t < xs->size() && t < ys->size() && std::isfinite((*xs)[t]) && std::isfinite((*ys)[t])) {
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor::fromRgb(kCursorColor), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QPointF(xPixel((*xs)[t]), yPixel((*ys)[t])), 5.0, 5.0);
            painter.restore();
        }
    }
    painter.setPen(QColor::fromRgb(kPlotBorder));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));

    painter.setPen(QColor::fromRgb(kAxisText));
    for (const double v : xTicks.values) {
        const QString label = fromUtf8(tickText(xTicks, v, m_separator));
        const double px = xPixel(v);
        painter.drawLine(QPointF(px, plot.bottom() + 1), QPointF(px, plot.bottom() + kTickPx));
        painter.drawText(QPointF(px - metrics.horizontalAdvance(label) / 2.0, plot.bottom() + kTickPx + metrics.ascent()),
                         label);
    }
    for (const double v : yTicks.values) {
        const QString label = fromUtf8(tickText(yTicks, v, m_separator));
        const double py = yPixel(v);
        painter.drawLine(QPointF(plot.left() - kTickPx, py), QPointF(plot.left() - 1, py));
        painter.drawText(QPointF(plot.left() - kTickPx - 2 - metrics.horizontalAdvance(label),
                                 py + metrics.ascent() / 2.0 - 1.0),
                         label);
    }

    // The colour scale beside the plot: low at the bottom, high at the top.
    if (cs && !cache.ranges.color.empty()) {
        const QRect bar(plot.right() + 8, plot.top(), 10, plot.height());
        QLinearGradient gradient(bar.bottomLeft(), bar.topLeft());
        for (int i = 0; i <= 10; ++i)
            gradient.setColorAt(i / 10.0, chartQColor(colourScale(i / 10.0)));
        painter.fillRect(bar, gradient);
        painter.setPen(QColor::fromRgb(kPlotBorder));
        painter.drawRect(bar.adjusted(0, 0, -1, -1));
        painter.setPen(QColor::fromRgb(kAxisText));
        painter.drawText(QPointF(bar.right() + 4, bar.top() + metrics.ascent()),
                         fromUtf8(formatPlain(cache.ranges.color.high, m_separator)));
        painter.drawText(QPointF(bar.right() + 4, bar.bottom()),
                         fromUtf8(formatPlain(cache.ranges.color.low, m_separator)));
    }
}

int ChartRenderer::scatterTakeAt(int pane, QPoint point, QSize size)
{
    const auto panes = geometry(size);
    if (pane < 0 || pane >= static_cast<int>(panes.size()) || panes[static_cast<std::size_t>(pane)].kind != ChartPaneKind::Scatter)
        return -1;
    const QRect plot = panes[static_cast<std::size_t>(pane)].plot;
    const Cache::Scatter& cache = m_cache->scatters[static_cast<std::size_t>(pane)];
    if (cache.width != plot.width() || cache.height != plot.height())
        return -1;
    return cache.raster.nearestTake(point.x() - plot.left(), point.y() - plot.top(), 3);
}

void ChartRenderer::paintLegend(QPainter& painter, int index, const PaneGeometry& geo)
{
    const ResolvedPane& pane = m_page.panes[static_cast<std::size_t>(index)];
    const QFontMetrics metrics(painter.font());
    const int baseline = geo.box.top() + metrics.ascent() + 2;
    int x = geo.plot.left();
    if (pane.kind == ChartPaneKind::Scatter) {
        static const char* const kRoles[] = {"x", "y", "colour"};
        for (std::size_t k = 0; k < pane.channels.size(); ++k) {
            const ResolvedChannel& c = pane.channels[k];
            if (c.name.empty())
                continue;
            const QString text = QString::fromLatin1(kRoles[k]) + QStringLiteral(": ") + legendText(index, static_cast<int>(k));
            painter.setPen(QColor::fromRgb(kAxisText));
            painter.drawText(QPointF(x, baseline), text);
            x += metrics.horizontalAdvance(text) + 16;
        }
        return;
    }
    for (std::size_t k = 0; k < pane.channels.size(); ++k) {
        const QString text = legendText(index, static_cast<int>(k));
        painter.fillRect(QRect(x, baseline - metrics.ascent() + 2, 10, 10), chartQColor(pane.channels[k].color));
        x += 14;
        painter.setPen(QColor::fromRgb(kAxisText));
        painter.drawText(QPointF(x, baseline), text);
        x += metrics.horizontalAdvance(text) + 6;
        // The overlaid log's value beside it, by its lighter swatch.
        if (QString other = overlayValueText(index, static_cast<int>(k)); !other.isEmpty()) {
            if (index == 0 && k == 0)
                other += QStringLiteral(" (%1)").arg(m_overlay->name);  // which log the lighter curves are
            painter.fillRect(QRect(x, baseline - metrics.ascent() + 2, 10, 10),
                             overlayShade(chartQColor(pane.channels[k].color)));
            x += 14;
            painter.drawText(QPointF(x, baseline), other);
            x += metrics.horizontalAdvance(other);
        }
        x += 10;
    }
    // The cursor's take (and time) at the right of the first pane.
    if (index == 0 && m_cursor) {
        QString where = QStringLiteral("Take %1").arg(*m_cursor);
        if (m_page.time)
            where += QStringLiteral(" (%1 s)").arg(valueText(m_page.time, m_cursor));
        painter.drawText(QPointF(geo.plot.right() - metrics.horizontalAdvance(where), baseline), where);
    }
}

std::optional<ChartFormat> chartFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return ChartFormat::Png;
    if (suffix == QLatin1String("svg"))
        return ChartFormat::Svg;
    return std::nullopt;
}

QString chartFooter(const QString& logName, std::string_view filter)
{
    const QString kept = filter.empty() ? QStringLiteral("every take")
                                        : QStringLiteral("filter: ") + QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size()));
    return pictureFooter(logName, kept);
}

QString pictureFooter(const QString& logName, const QString& what)
{
    return logName + QStringLiteral("  \u00b7  ") + what;
}

namespace {

// The page over size less a footer band, the footer in small grey text
// below it (elided to the width).
void paintExported(PlotRenderer& renderer, QPainter& painter, QSize size, const QString& footer)
{
    if (footer.isEmpty()) {
        renderer.paint(painter, size);
        return;
    }
    QFont small = renderer.font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.85);
    else if (small.pixelSize() > 0)
        small.setPixelSize(std::max(6, small.pixelSize() * 85 / 100));
    const QFontMetrics metrics(small);
    const int band = std::min(metrics.height() + 4, size.height() / 4);
    renderer.paint(painter, QSize(size.width(), size.height() - band));
    const QRect strip(0, size.height() - band, size.width(), band);
    painter.fillRect(strip, Qt::white);
    painter.setFont(small);
    painter.setPen(QColor::fromRgb(kAxisText));
    painter.drawText(strip.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(footer, Qt::ElideMiddle, std::max(0, strip.width() - 12)));
}

}  // namespace

bool writeChart(PlotRenderer& renderer, QSize size, ChartFormat format, const QString& footer, QIODevice& device,
                QString& why)
{
    if (format == ChartFormat::Svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&device);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Chart"));
        QPainter painter;
        if (!painter.begin(&generator)) {
            why = QStringLiteral("the drawing cannot be started");
            return false;
        }
        paintExported(renderer, painter, size, footer);
        return painter.end();
    }
    // Opaque: the page is painted on white, and a PNG without an alpha
    // channel is smaller and quicker to compress.
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        why = QStringLiteral("no memory for a picture of %1 x %2 pixels").arg(size.width()).arg(size.height());
        return false;
    }
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paintExported(renderer, painter, size, footer);
    }
    // Encoded in memory first: libpng prints its own "libpng error" on
    // standard error when a write fails, and a buffer never fails.
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, "png");
    if (!writer.write(image)) {
        why = reasonText(writer.errorString());
        return false;
    }
    const QByteArray& bytes = encoded.data();
    return device.write(bytes) == bytes.size();
}

QString exportChart(PlotRenderer& renderer, QSize size, const QString& path, const QString& footer)
{
    const std::optional<ChartFormat> format = chartFormatOf(path);
    if (!format)
        return cannotWriteMessage(path, QStringLiteral("the name must end in .png or .svg"));
    const QString reason = writeFileSafely(path, [&](QIODevice& device, QString& why) {
        return writeChart(renderer, size, *format, footer, device, why);
    });
    return reason.isEmpty() ? QString() : cannotWriteMessage(path, reason);
}

}  // namespace dlv
