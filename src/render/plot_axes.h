#pragma once

// The x axis of a plot over takes, shared by the chart panes and the General
// curve: the takes a filter drops shaded across it, grid lines and labels at
// time ticks (or take ticks) thinned until their labels do not touch.

#include "charts/chart_layout.h"

#include <QFontMetrics>
#include <QRect>
#include <QRgb>
#include <QString>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

class QPainter;

namespace dlv {

inline constexpr QRgb kPlotGridLine = 0xFFE8E8E8;
inline constexpr QRgb kDroppedShade = 0xFFDCDCDC;
inline constexpr QRgb kAxisText = 0xFF404040;
inline constexpr int kAxisTickPx = 4;

// Take position x's pixel column within plot, which shows takes x0 .. x1.
[[nodiscard]] inline double plotPixelOfTake(const QRect& plot, double x0, double x1, double x) noexcept
{
    return plot.left() + (x - x0) / (x1 - x0) * plot.width();
}

// Shades the takes keep drops (keep[t] == 0) within x0 .. x1 across plot.
// O(takes in view).
void paintDroppedTakes(QPainter& painter, const QRect& plot, std::span<const std::uint8_t> keep, double x0,
                       double x1);

// The ticks of plot's x axis over x0 .. x1: of time (seconds, a column that
// isTimeColumn) when time is not empty, of takes otherwise; fewer while two
// neighbours' labels, in metrics, would come closer than a small gap.
[[nodiscard]] std::vector<XTick> fittedXTicks(std::span<const double> time, const QRect& plot, double x0, double x1,
                                              const QFontMetrics& metrics, std::string_view separator);

// A grid line across plot at each tick.
void paintXGrid(QPainter& painter, const QRect& plot, double x0, double x1, std::span<const XTick> ticks);

// Tick marks and labels under plot, in the painter's font, and the caption
// ("s" or "take") after the last label; a label that would start left of
// leftEdge starts there, one that would touch the one before or run past
// rightEdge less the caption is left out.
void paintXLabels(QPainter& painter, const QRect& plot, int leftEdge, int rightEdge, double x0, double x1,
                  std::span<const XTick> ticks, const QString& caption);

// Pixels the labels take under a plot: the tick marks and a line of text.
[[nodiscard]] int xLabelBandPx(const QFontMetrics& metrics) noexcept;

}  // namespace dlv
