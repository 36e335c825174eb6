#pragma once

#include <QFont>
#include <QSize>

class QPainter;

namespace dlv {

// What paints one plot: the General curve, a page of charts. The window's
// views, exported pictures and --plot all paint through it, so whatever a
// view shows can be saved as it is shown.
class PlotRenderer {
public:
    PlotRenderer() = default;
    PlotRenderer(const PlotRenderer&) = delete;
    PlotRenderer& operator=(const PlotRenderer&) = delete;
    virtual ~PlotRenderer() = default;

    // Paints the whole plot into a size.width() x size.height() pixel area
    // whose top-left corner is the painter's origin. O(width) or so a paint;
    // may keep caches for the next paint at the same size.
    virtual void paint(QPainter& painter, QSize size) = 0;
    // The font of its texts; an exported picture's footer is a step smaller.
    [[nodiscard]] virtual const QFont& font() const noexcept = 0;
};

}  // namespace dlv
