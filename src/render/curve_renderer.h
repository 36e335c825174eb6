#pragma once

#include "charts/chart_layout.h"
#include "datalog/columns.h"
#include "render/plot_renderer.h"
#include "views/curve.h"
#include "views/curve_view.h"

#include <QColor>
#include <QFont>
#include <QLineF>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QPainter;

namespace dlv {

// Pure painting of a parameter curve, shared by the window's curve and any
// other chart: each function paints into a w x h pixel area whose top-left
// corner is the painter's origin, through the user coordinate system scale.
// Nothing is kept between calls.

// One vertical run per column of envelope that has a number, the first
// `columns` of them, column c at x = left + c: from row rowOf(high) to row
// rowOf(low), both drawn, where rowOf(v) is v's pixel row (fractional, as a
// scale gives it); runs wholly above row top or below row bottom are
// skipped, the others cut to those rows. In the painter's pen. The one
// envelope painter of every curve. O(columns).
void paintEnvelopeRuns(QPainter& painter, const CurveEnvelope& envelope, int columns, int left, int top, int bottom,
                       const std::function<double(double)>& rowOf);

// The curve reduced to envelope (built for scale's x range and size.width()):
// one vertical run per pixel column, value a at user y = maxValue - a.
// O(width).
void paintCurveEnvelope(QPainter& painter, const CurveScale& scale, QSize size, const CurveEnvelope& envelope,
                        double maxValue, const QColor& color);

// A straight line given in user units. Points on the right or bottom edge
// belong to the last column or row, so they stay visible.
void paintUserLine(QPainter& painter, const CurveScale& scale, QSize size, QLineF line, const QColor& color);

// A tick of height pixels on the bottom edge at each of sortedTakes (user x =
// take) inside scale's x range: at most one per column, O(width log ticks).
void paintTakeTicks(QPainter& painter, const CurveScale& scale, QSize size, std::span<const int> sortedTakes,
                    const QColor& color, int height);

// A marker line from top to bottom at each take (user x = take) inside
// scale's x range, dashed, with its text beside its top end where there is
// room, on a pale backing; fromLog markers in the second colour. O(markers).
struct MarkerLine {
    int take = 0;
    QString text;
    bool fromLog = false;
};
inline const QColor kUserMarkerColor{0xD5, 0x5E, 0x00};  // vermilion
inline const QColor kLogMarkerColor{0x56, 0x56, 0x56};   // dark grey
void paintMarkerLines(QPainter& painter, const CurveScale& scale, QSize size, std::span<const MarkerLine> markers);

// The General curve as one plot: the envelope of the view's series over its
// visible range in the curve colour, lines given in user units, a tick on
// the bottom edge at each of the view's tick takes and the marker lines,
// over white. Asked to, it shades the takes a filter drops and labels its
// x axis underneath as the chart panes do (plot_axes.h); otherwise the curve
// fills the picture. The view (scale, zoom, marker take, ticks) is its own,
// for the widget that shows it to steer. O(width) a paint.
class CurveRenderer final : public PlotRenderer {
public:
    struct Line {
        QLineF user;
        QColor color;
    };
    static constexpr QRgb kTickColor = 0xFFFF0000;  // red
    static constexpr int kTickHeight = 5;           // pixels

    [[nodiscard]] CurveView& view() noexcept { return m_view; }
    [[nodiscard]] const CurveView& view() const noexcept { return m_view; }

    void setCurveColor(const QColor& color) { m_curveColor = color; }
    void addLine(const Line& line) { m_lines.push_back(line); }
    [[nodiscard]] std::size_t lineCount() const noexcept { return m_lines.size(); }
    // The series and the lines; the view's scale, zoom and ticks stay.
    void clear() noexcept;
    void setMarkers(std::vector<MarkerLine> markers) { m_markers = std::move(markers); }
    [[nodiscard]] const std::vector<MarkerLine>& markers() const noexcept { return m_markers; }
    // The x axis under the curve, in seconds over time (a column that
    // isTimeColumn) or in takes when time is null; shown false: none.
    void setAxis(bool shown, ColumnPtr time, std::string decimalSeparator);
    [[nodiscard]] bool axisShown() const noexcept { return m_axis; }
    // The takes keep drops, shaded behind the curve; null: no shading.
    void setDropped(std::shared_ptr<const KeepMask> keep) { m_dropped = std::move(keep); }
    // Where the curve goes in a picture of size: all of it, or above the axis.
    [[nodiscard]] QRect plotRect(QSize size) const;
    void setFont(const QFont& font) { m_font = font; }
    [[nodiscard]] const QFont& font() const noexcept override { return m_font; }

    // Builds the envelope for size.width() when the last paint had another
    // width (CurveView::envelope). Throws std::bad_alloc.
    void paint(QPainter& painter, QSize size) override;

private:
    CurveView m_view;
    QColor m_curveColor;
    std::vector<Line> m_lines;
    std::vector<MarkerLine> m_markers;
    QFont m_font;
    bool m_axis = false;
    ColumnPtr m_time;
    std::string m_separator = ".";
    std::shared_ptr<const KeepMask> m_dropped;
};

}  // namespace dlv
