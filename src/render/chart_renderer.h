#pragma once

// Draws a chart page with a QPainter onto any paint device: the Charts tab's
// widget, an image or an SVG file. Uses Qt GUI only (no widgets), so the
// command line can draw without a display.
//
// Stacked panes share one x range in take units (take t at x = t) held as a
// CurveZoom over 0 .. U; each channel gets a vertical range fitted to what it
// shows in that x range. A channel is drawn from its per-pixel-column
// envelope (O(width) a paint once built; building walks the takes in view) or,
// with fewer takes than two a pixel, as its polyline. Envelopes and scatter
// rasters are cached until the page, the x range or the size changes, so a
// repaint of an unchanged view walks no takes.

#include "charts/chart_data.h"
#include "charts/time_alignment.h"
#include "render/curve_renderer.h"
#include "render/plot_renderer.h"
#include "views/curve.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;
class QPainter;

namespace dlv {

// A second open log drawn over the stacked panes: the same page resolved in
// that log (its own columns, by the same names), and its time on the axis
// of the log on show. Its curves are a lighter shade of the same colours,
// on the same vertical scale, and its values stand beside the first log's
// in the legends.
struct ChartOverlay {
    ResolvedPage page;
    OverlayTime time;
    QString name;  // the log's file name
};

// colour a step towards white: the overlaid log's shade of a channel colour.
[[nodiscard]] QColor overlayShade(const QColor& colour);

class ChartRenderer final : public PlotRenderer {
public:
    // Pixels around the plot areas.
    static constexpr int kLeftMargin = 64;
    static constexpr int kRightMargin = 64;

    ChartRenderer();
    ~ChartRenderer() override;

    // A new page: the whole log is shown again; the cursor stays when it is
    // still a take.
    void setPage(ResolvedPage page);
    [[nodiscard]] const ResolvedPage& page() const noexcept { return m_page; }

    // The x range of the stacked panes (take units).
    [[nodiscard]] const CurveZoom& zoom() const noexcept { return m_zoom; }
    void setZoom(const CurveZoom& zoom) noexcept { m_zoom = zoom; }
    [[nodiscard]] int lastTake() const noexcept { return m_page.takeCount - 1; }

    [[nodiscard]] std::optional<int> cursor() const noexcept { return m_cursor; }
    void setCursor(std::optional<int> take) noexcept;

    // The log overlaid (none: only the log on show); its page must have the
    // same panes and channels as page().
    void setOverlay(std::optional<ChartOverlay> overlay);
    [[nodiscard]] const std::optional<ChartOverlay>& overlay() const noexcept { return m_overlay; }
    // The overlay's offset (OverlayTime::setOffset); nothing without one.
    void setOverlayOffset(double offset) noexcept;
    // The overlaid log's value of channel k of pane at the cursor ("B 2950"
    // style text without the name), empty without an overlay or a cursor.
    [[nodiscard]] QString overlayValueText(int pane, int channel) const;

    // Marker lines across every stacked pane at their takes, their texts on
    // the first pane only (as the General curve draws them).
    void setMarkers(std::vector<MarkerLine> markers);
    [[nodiscard]] const std::vector<MarkerLine>& markers() const noexcept { return m_markers; }

    void setDecimalSeparator(std::string separator) { m_separator = std::move(separator); }
    void setFont(const QFont& font) { m_font = font; }
    [[nodiscard]] const QFont& font() const noexcept override { return m_font; }

    // Where things are for a chart of size pixels.
    struct PaneGeometry {
        QRect box;   // legend, plot and footer
        QRect plot;  // the plot area
        ChartPaneKind kind = ChartPaneKind::Stacked;
    };
    [[nodiscard]] std::vector<PaneGeometry> geometry(QSize size) const;
    // Index of the pane at point, or -1.
    [[nodiscard]] int paneAt(QPoint point, QSize size) const;

    // Take position (x in take units) at widget column px of a stacked plot.
    [[nodiscard]] double takeAtPixel(double px, QSize size) const;
    // Widget column of take position x.
    [[nodiscard]] double pixelOfTake(double x, QSize size) const;

    // The take drawn under point in scatter pane `pane` (from the last paint
    // at this size), -1 where none.
    [[nodiscard]] int scatterTakeAt(int pane, QPoint point, QSize size);
    // "Take 812: RPM 2400, BLM 131, MAP 62" for a scatter pane.
    [[nodiscard]] QString scatterPointText(int pane, int take) const;

    // The vertical range channel k of stacked pane `pane` showed at its last paint.
    [[nodiscard]] ValueRange shownRange(int pane, int channel) const;
    // The legend text of channel k of pane: its name and, with a cursor, its
    // value there ("RPM 3000").
    [[nodiscard]] QString legendText(int pane, int channel) const;

    void paint(QPainter& painter, QSize size) override;

private:
    struct Cache;

    void paintStacked(QPainter& painter, int index, const PaneGeometry& geo, bool labelX);
    void paintScatter(QPainter& painter, int index, const PaneGeometry& geo);
    void paintLegend(QPainter& painter, int index, const PaneGeometry& geo);
    [[nodiscard]] const CurveEnvelope& envelopeFor(const ColumnPtr& values, int widthPx);
    // The envelope of values over take positions x0 .. x1 (the overlay's,
    // on its own takes), cached as envelopeFor's.
    [[nodiscard]] const CurveEnvelope& envelopeOver(const ColumnPtr& values, double x0, double x1, int widthPx);
    [[nodiscard]] QString valueText(const ColumnPtr& values, std::optional<int> take) const;

    ResolvedPage m_page;
    CurveZoom m_zoom;
    std::optional<int> m_cursor;
    std::optional<ChartOverlay> m_overlay;
    std::vector<MarkerLine> m_markers;
    std::vector<MarkerLine> m_markersWithoutText;  // for the panes below the first
    std::string m_separator = ".";
    QFont m_font;
    std::unique_ptr<Cache> m_cache;
};

// The QColor of a chart colour.
[[nodiscard]] QColor chartQColor(ChartRgb rgb);

enum class ChartFormat { Png, Svg };

// The format a picture's name asks for: ".png" or ".svg" at its end, any case.
[[nodiscard]] std::optional<ChartFormat> chartFormatOf(const QString& path);

// The footer of an exported chart: the log's name and the takes the filter
// keeps, "drive.csv  ·  filter: ECT > 80" ("every take" without a filter).
[[nodiscard]] QString chartFooter(const QString& logName, std::string_view filter);
// The footer of any exported plot: "drive.csv  ·  what".
[[nodiscard]] QString pictureFooter(const QString& logName, const QString& what);

// Paints the plot at size onto device as format, white behind, with footer
// (when not empty) in a small band at the bottom. Returns false with why
// for a picture that cannot be made (no memory for its pixels, the encoder
// giving up); a failing device is for its owner to see (render/file_writing.h).
[[nodiscard]] bool writeChart(PlotRenderer& renderer, QSize size, ChartFormat format, const QString& footer,
                              QIODevice& device, QString& why);

// Writes the plot to path (writeChart's picture by the name's end) whole or
// not at all (writeFileSafely). Returns an empty text, or why it failed
// ("cannot write 'FILE': no space left on device").
[[nodiscard]] QString exportChart(PlotRenderer& renderer, QSize size, const QString& path,
                                  const QString& footer = {});

}  // namespace dlv
