#pragma once

#include "charts/chart_data.h"
#include "charts/chart_page.h"
#include "charts/chart_workspace.h"
#include "render/curve_renderer.h"
#include "workbench/workspace.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QCompleter;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStringListModel;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace dlv {

class ChartRenderer;
namespace workbench {
class LogSession;
}

// The chart drawing of the Charts tab. Stacked panes share one x range:
// the wheel zooms it around the pointer, a left drag pans it, Home shows the
// whole log. A click on a stacked pane puts the cursor on the nearest take in
// every pane; a click on a scatter point puts it on that point's take; Left
// and Right step it one take (the view follows). Hovering a scatter point
// shows its take and three values as a tooltip. Repaints reuse the
// renderer's envelopes, so they cost O(width) a channel while the view stays.
class ChartView final : public QWidget {
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);
    ~ChartView() override;

    [[nodiscard]] ChartRenderer& renderer() noexcept { return *m_renderer; }
    [[nodiscard]] const ChartRenderer& renderer() const noexcept { return *m_renderer; }

    // The cursor take, moved as a click would, without reporting it.
    void setCursorTake(std::optional<int> take);
    [[nodiscard]] std::optional<int> cursorTake() const;

    // The tooltip text of the last hover ("" when not over a point).
    [[nodiscard]] const QString& hoverText() const noexcept { return m_hoverText; }

signals:
    // The user put the cursor on take (click, scatter click or arrow key).
    void takeChosen(int take);
    void viewChanged();
    // A Shift+drag moved the overlaid log to offset (OverlayTime's unit).
    void overlayOffsetDragged(double offset);
    // M on a pane (at the cursor) or the context menu: a marker is wanted there.
    void markerRequested(int take);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void chooseTake(int take);
    void stepCursor(int delta);
    [[nodiscard]] bool overStackedPlot(QPoint point) const;

    std::unique_ptr<ChartRenderer> m_renderer;
    bool m_pressed = false;
    bool m_panning = false;
    bool m_shifting = false;  // a Shift+drag moving the overlaid log
    QPoint m_pressPos;
    double m_pressLeft = 0.0;
    double m_pressOffset = 0.0;
    QString m_hoverText;
};

// The "Charts" tab: an outline of the page (panes and their channels) with a
// channel picker and edit buttons beside the chart drawing. The page shown
// is the one set (from a workspace) or, until one is, the default page of
// the open log. Child widgets carry object names for tests and style sheets:
// chartOutline, chartChannelPicker, chartAddChannel, chartAddPane,
// chartAddScatter, chartRemove, chartMoveUp, chartMoveDown, chartColour,
// chartFilter, chartStatus and chartView.
//
// The workspace it is given is the window's, shared with the Tables tab (its
// own when none is): the tab reads the calculated channels from it and
// writes an edited page into its "charts" member.
class ChartsTab final : public QWidget {
    Q_OBJECT
public:
    explicit ChartsTab(std::shared_ptr<workbench::Workspace> workspace = {}, QWidget* parent = nullptr);
    ~ChartsTab() override;

    // A newly opened log (null: none): its parameters, the workspace's
    // calculated channels evaluated on it and its takes that the page's filter
    // keeps. Keeps a page that was set, shows the log's default page otherwise.
    // keepView: the same log read again (F5, Follow Log), so the zoom and the
    // cursor stay where its takes still are.
    void setColumns(std::shared_ptr<ColumnCache> columns, bool keepView = false);
    // The same with the log's session (the window's, which the Tables tab
    // shares), whose cached channel values the charts reuse.
    void setSession(std::shared_ptr<workbench::LogSession> session, bool keepView = false);
    // Replaces the workspace whose channels and charts the tab shows.
    void setWorkspace(workbench::Workspace workspace);
    // The workspace was replaced (File, Open Workspace): its page, or the
    // default page when it has none. A "charts" member that cannot be read is
    // told in the status line; the default page shows then.
    void showWorkspace();
    // Replaces the workspace's calculated channels and computes them again.
    void setChannels(std::vector<workbench::Channel> channels);
    // The workspace's calculated channels may have changed (edited, or a new
    // log's workspace): computed again if they did; the page and the view stay.
    void channelsEdited();
    // The workspace, with the page on show as its "charts" member once it
    // was set or edited: what saving the workspace writes. The log's default
    // page, untouched, is not written (each log gets its own).
    [[nodiscard]] const workbench::Workspace& workspace() const noexcept { return *m_workspace; }
    // The page's filter (an expression; empty: none), as the filter field
    // sets it: the takes it drops are shaded and left out of the scatters.
    void setFilter(const QString& expression);
    // Whether the charts show another filter than the field holds: its text
    // does not read on the log yet, or waits for a pause in typing.
    [[nodiscard]] bool filterStale() const noexcept { return m_filterStale; }
    // What the status line tells: a channel or filter that cannot be computed
    // on the log first, then a channel the log lacks; empty when all is well.
    [[nodiscard]] QString statusText() const;

    // The channels of a newly opened log (null: none), without the
    // workspace's. Keeps a page that was set, shows the default page otherwise.
    void setSource(std::shared_ptr<ChartChannelSource> source);
    // A page from a workspace, kept across logs until another is set.
    void setPage(ChartPage page);
    // Back to the log's default page.
    void useDefaultPage();
    [[nodiscard]] const ChartPage& page() const noexcept { return m_page; }

    [[nodiscard]] ChartView* view() const noexcept { return m_view; }
    // The markers of the log on show, on every stacked pane.
    void setMarkers(std::vector<MarkerLine> markers);

    // The other open logs, any of which can be overlaid on the page (by
    // name, as the log bar shows them). A log overlaid that is no longer
    // among them leaves the page.
    struct OverlayLog {
        QString name;
        std::shared_ptr<ColumnCache> columns;
        std::shared_ptr<workbench::LogSession> session;  // none: one made when drawn
    };
    void setOverlayLogs(std::vector<OverlayLog> logs);
    // Overlays log `index` of those (-1: none), at offset 0.
    void overlay(int index);
    // The overlay's offset, as typed or dragged; and the automatic one: the
    // best match of channel (empty: RPM, or else the first pane's first
    // channel) in both logs. False with the reason in the status line.
    void setOverlayOffset(double offset);
    bool alignAutomatically(const QString& channel = {});
    // "Align at cursor": the offset that puts the overlaid log's cursor (the
    // take it had when last on show) on the cursor of the log on show: the
    // same event in both. False with the reason in the status line.
    bool alignAtCursor();
    [[nodiscard]] double overlayOffset() const;

    // Writes what is on show as PNG or SVG (by the name's end), whole or not
    // at all; with a log name, a footer names the log and the filter. An
    // empty text, or what failed.
    [[nodiscard]] QString exportTo(const QString& path, const QString& logName = {}) const;

    // Chooses a colour for a channel; a dialog unless replaced (tests replace it).
    using ColourChooser = std::function<std::optional<QColor>(const QColor& initial)>;
    void setColourChooser(ColourChooser chooser) { m_chooseColour = std::move(chooser); }

    // Edits of the page, as the buttons do them. The selection is the outline's
    // current item: a pane, or a channel (a scatter slot) in a pane.
    void addChannel(const QString& name);
    void addPane(ChartPaneKind kind);
    void removeSelected();
    void moveSelected(int delta);
    void recolourSelected();
    // Selects pane (and channel, -1 for the pane itself) in the outline.
    void select(int pane, int channel = -1);

signals:
    // The user put the cursor on take in the charts.
    void takeChosen(int take);
    // The user asked for a marker at take (M or the context menu on a pane).
    void markerRequested(int take);
    // The page was edited.
    void pageEdited();

private:
    void rebuild(bool keepView);
    // The page on show is the workspace's from now on: set, and written into it.
    void keepPage();
    // The workspace's channels and filter over a log (its session, or a new one).
    [[nodiscard]] WorkspaceChannels channelsOver(const std::shared_ptr<workbench::LogSession>& session,
                                                 const std::shared_ptr<ColumnCache>& columns,
                                                 std::string_view filter) const;
    // The source again from the columns, the workspace's channels and the filter.
    // keepView: zoom and cursor stay as far as the takes reach.
    void evaluateChannels(bool keepView = false);
    // Shows source's channels, keeping m_channelErrors for the status line.
    void showSource(std::shared_ptr<ChartChannelSource> source, bool keepView = false);
    void fillOutline();
    void showStatus(const QString& text);
    [[nodiscard]] std::pair<int, int> selection() const;  // pane, channel (-1 each when none)
    void edited(int pane, int channel);
    // The filter field as typed: applied at once when it reads on the log,
    // after a pause when it is clearly still being typed, and left as it was
    // (stale) when it does not read.
    void onFilterTyped();
    bool tryFilter(const std::string& filter);
    void setFilterStale(bool stale);
    void showFilterCount();
    // The overlaid log's page resolved like the first's, on its time.
    void resolveOverlay();

    std::shared_ptr<ColumnCache> m_columns;
    std::shared_ptr<workbench::LogSession> m_session;  // of m_columns, or none
    std::shared_ptr<workbench::Workspace> m_workspace;  // never null
    std::vector<workbench::Channel> m_channelsShown;  // those of the last evaluation
    QStringList m_channelErrors;  // of the last evaluateChannels
    std::shared_ptr<ChartChannelSource> m_source;
    ChartPage m_page;
    bool m_pageSet = false;
    ColourChooser m_chooseColour;

    QTreeWidget* m_outline = nullptr;
    QLineEdit* m_picker = nullptr;
    QCompleter* m_completer = nullptr;
    QStringListModel* m_names = nullptr;
    QPushButton* m_addChannel = nullptr;
    QPushButton* m_addPane = nullptr;
    QPushButton* m_addScatter = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_moveUp = nullptr;
    QPushButton* m_moveDown = nullptr;
    QPushButton* m_colour = nullptr;
    QLineEdit* m_filter = nullptr;
    QLabel* m_filterCount = nullptr;  // "Filter keeps 1,234 of 5,000 takes"
    QTimer* m_typingPause = nullptr;
    bool m_filterStale = false;
    std::string m_reportedFilter;  // the filter of the last pageEdited for it
    QLabel* m_status = nullptr;
    ChartView* m_view = nullptr;

    std::vector<OverlayLog> m_overlayLogs;
    std::shared_ptr<ColumnCache> m_overlaid;  // of m_overlayLogs, or none
    std::shared_ptr<workbench::LogSession> m_overlaidSession;
    QString m_overlaidName;
    std::shared_ptr<ChartChannelSource> m_overlaySource;
    double m_offset = 0.0;
    QComboBox* m_overlayChoice = nullptr;
    QDoubleSpinBox* m_offsetBox = nullptr;
    QPushButton* m_align = nullptr;
    QPushButton* m_alignCursor = nullptr;
    QWidget* m_overlayRow = nullptr;
    // The cursor each log had when it was last on show (a log that closed
    // leaves a dead entry, dropped on the next change).
    std::vector<std::pair<std::weak_ptr<ColumnCache>, int>> m_cursorsOfLogs;
};

}  // namespace dlv
