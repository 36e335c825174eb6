#pragma once

#include "datalog/log_channels.h"
#include "datalog/take_store.h"
#include "views/log_view_state.h"
#include "window/cell_grid.h"
#include "workbench/workspace.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QDockWidget;
class QTreeWidget;
class QTabBar;
class QToolBar;
class QDialog;
class QFileDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QTabWidget;
class QTimer;

namespace dlv {

namespace workbench {
class LogSession;
}
class ChannelFilterBar;
class ChartsTab;
class CurveSurface;
class FindBar;
class FitLabel;
class LogDocument;
class LogLoader;
class WarningBar;
class TablesTab;

// "Datalog Viewer 0.5": the caption, the About box and --version.
[[nodiscard]] QString programName();

// The program's only window. Holds the open log as one LogDocument, the
// file-open dialog, the tabs with both grids, and the curve view with its
// labels. Controls carry their names as object names (Grid1, Picture1,
// lblRunTime, ...) and sit at their design places; View, Fit to Window lets
// the window grow, the grids and the curve taking the room.
//
// A log is read on a worker thread while the window keeps repainting; after
// a moment a modal dialog shows the bytes read and offers Cancel. Open, drop
// and F5 still return only when the log is on show (or the reading failed
// or was cancelled, leaving everything as it was); another Open, drop or F5
// while one is reading is ignored.
class Form1 final : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // How failures and the About box reach the user: a message box unless
    // replaced (tests replace it). Only Form1 shows message boxes.
    enum class MessageKind { Error, About };
    using MessageHandler = std::function<void(MessageKind, const QString& title, const QString& text)>;
    void setMessageHandler(MessageHandler handler);

    // How the window asks before it does something the user may not want
    // (opening a file that is plainly not a log): a message box unless
    // replaced (tests replace it). True: go on.
    using QuestionHandler = std::function<bool(const QString& title, const QString& text)>;
    void setQuestionHandler(QuestionHandler handler);

    // Replaces the file-open dialog by a function that reports a file name
    // (empty for cancel), so that Open can be driven without a real dialog.
    using FileNameChooser = std::function<QString()>;
    void setFileNameChooser(FileNameChooser chooser);

    // What reads a log on the worker thread (readLog, in the format asked
    // for, unless replaced, for tests); it should follow control's cancel flag.
    using LogReader = std::function<ReadResult(const std::filesystem::path&, ReadControl& control)>;
    void setLogReader(LogReader reader);
    // How long a reading runs before the progress dialog shows (500 ms).
    void setProgressDelay(std::chrono::milliseconds delay) noexcept { m_progressDelay = delay; }

    // File, Open: busy cursor, ReadDataFile, then DrawGeneral, DrawBLM and
    // ShowRuntime when a log was read. A failure shows a message and leaves
    // what the window showed intact.
    void openCommand();
    // Opens the log at path exactly as File, Open would, without the dialog.
    // The path's bytes are the file name, whatever their encoding.
    // format: how to read it (Auto: by its content).
    void openPath(const std::filesystem::path& path, LogFormat format = LogFormat::Auto);
    void openFile(const QString& path);
    // Reads the current log again from disk (F5), with Open's error handling.
    // What the view showed stays where it still fits: the selected row and
    // its curve (redrawn from the new takes), bookmarked rows, the scroll
    // place, the curve's zoom and marked take; a view at the newest takes
    // stays at the newest takes.
    void reloadCommand();
    // View, Follow Log: while on, the log is reloaded as F5 does whenever
    // its file grows, checked twice a second.
    void setFollowLog(bool on);
    [[nodiscard]] bool followsLog() const noexcept;
    [[nodiscard]] bool isLoading() const noexcept { return m_loading; }

    // Shows the dialog and reads the chosen log; false when no name was given
    // or the log could not be read (the document is unchanged).
    bool ReadDataFile();
    void DrawGeneral();
    void DrawBLM();
    void ShowRuntime();
    void DrawCurve(int aData);
    void BookMark();

    // The log on show, null before the first; replaced as a whole by F5.
    [[nodiscard]] std::shared_ptr<LogDocument> document() const { return m_document; }
    // Every open log, in the order of the bar that lists them. File, Open
    // adds one (the same file again takes its own place); each keeps its
    // view (selected row, bookmarks, curve, zoom, scroll place, marker)
    // while another is on show.
    [[nodiscard]] std::vector<std::shared_ptr<LogDocument>> documents() const;
    [[nodiscard]] int shownLogIndex() const noexcept;
    // Puts open log index on show (Ctrl+Tab, a click on its name).
    void showLog(int index);
    // File, Close: closes open log index; its neighbour comes on show, or
    // the window is empty again after the last.
    void closeLog(int index);
    [[nodiscard]] const TakeStore* store() const noexcept;
    // The "Charts" tab, brought up to date with the open log (see
    // syncWorkbenchTabs), and File, Export Chart...: what it shows as PNG or
    // SVG (by the name's end). A failure shows a message; the chart stays as it was.
    [[nodiscard]] ChartsTab* charts();
    void exportChartCommand();
    void exportChart(const QString& path);
    // File, Export Curve...: the General curve as shown (its zoom, ticks and
    // markers), at Picture1's size, with the log's and the parameter's names
    // in a footer. Without a curve on show it says so and writes nothing.
    void exportCurveCommand();
    void exportCurve(const QString& path);

    // File, Export Log As CSV...: the log on show written in the datalog
    // format to path, on a worker with progress and Cancel; false (a message
    // shown unless cancelled) when it was not written, the old file kept.
    bool exportLogCsv(const QString& path);
    // File, Properties...: a dialog of the log's details; null without a log.
    QDialog* showProperties();

    // Markers: a marker with a note at take of the log on show (M on the
    // curve, its context menu), asking for the note (a dialog unless
    // replaced; nullopt cancels); false when none was added.
    using MarkerNoteChooser = std::function<std::optional<QString>(int take)>;
    void setMarkerNoteChooser(MarkerNoteChooser chooser);
    bool addMarkerAt(int take);
    void removeMarkerAt(int logIndex, int take);
    // The log on show becomes logIndex, its curve marked at take.
    void goToMarker(int logIndex, int take);

    // Adds a page after the existing tabs; it fills the tab whatever the
    // window's size (the page lays out its own contents). Returns its index.
    int addWorkbenchTab(QWidget* page, const QString& title);

    // The "Tables" tab (after "Other"), brought up to date with the open log.
    [[nodiscard]] TablesTab* tablesTab();
    // Asks for the file of Open Workspace, Save Workspace As and Export Table:
    // a file dialog unless replaced (tests replace it); empty for cancel.
    using PathChooser = std::function<QString(const QString& title, bool save)>;
    void setPathChooser(PathChooser chooser);

    // View, Fit to Window: on, the window can be resized and the controls
    // follow; off, it returns to the design size and places.
    void setFitToWindow(bool on);
    [[nodiscard]] bool fitsToWindow() const noexcept { return m_fitToWindow; }
    // The window's inside at design size, in pixels.
    static constexpr QSize kDesignClientSize{723, 669};
    // The smallest inside with Fit to Window on, so that the window fits a
    // small screen (or a large scale) while every control keeps room.
    static constexpr QSize kFittedMinimumClientSize{560, 420};
    // Shows the window at start: at its design size, or, when that would
    // not fit the screen's free area, fitted to it (Fit to Window on).
    void showOnScreen();

    // File, Recent Logs: the logs opened last, newest first (file names as
    // the system's bytes), kept in the settings.
    [[nodiscard]] std::vector<std::string> recentLogs() const;
    void clearRecentLogs();

signals:
    // A new document is on show (after DrawGeneral, DrawBLM and ShowRuntime).
    void documentChanged();
    // A log that was not on show was closed: the open logs changed, the one
    // on show did not.
    void otherLogClosed();
    // A reading started, and its bytes are all in (before the views are drawn).
    void loadStarted();
    void loadRead();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    // again: the log on show read again (F5, Follow Log), neither asked
    // about nor added to the recent logs.
    bool readLog(const std::filesystem::path& path, LogFormat format, bool again = false);
    // The dialog, then the chosen file read as format.
    bool readChosenFile(LogFormat format);
    // warningsDismissed: the reader's warnings stay hidden (a reload of a log
    // whose warnings the user closed).
    void runOpen(const std::function<bool()>& read, bool warningsDismissed = false);
    void onRowSelected();
    void onCurveReleased(double x);
    // What a reload or a switch of logs keeps of the view, and putting it
    // back on the log on show.
    [[nodiscard]] LogViewState keepView() const;
    void restoreView(const LogViewState& kept);
    void setRowBookmarked(int row, bool on);
    void followTick();
    void showAbout();
    // The "Charts" tab and what it brings (form1_charts.cpp).
    void buildChartsTab();
    void onChartTake(int take);
    void onBlmCellDoubleClicked(int row, int col);
    void reportError(const QString& text);
    [[nodiscard]] bool ask(const QString& text);
    // What the warning bar says of a file that is plainly not a log
    // ("'ls' is not a text file: ..."); nullopt for anything else. Reads
    // the file's first 64 KiB.
    [[nodiscard]] std::optional<QString> notALogWarning(const std::filesystem::path& path, LogFormat format) const;
    // Whether to open such a file: it would put the log on show out of
    // sight, so the user is asked; in an empty window it simply opens.
    [[nodiscard]] bool openAnyway(const QString& warning);
    // Recent logs: the list kept, the menu made from it.
    void rememberOpened(const std::filesystem::path& path);
    void fillRecentMenu();
    // What Grid1 says of a take where its header row stays empty.
    // The time of a take of the log on show in seconds, when it has a time channel.
    // None while a long log's time is still being found out (checkTakeTime).
    [[nodiscard]] std::optional<std::string> takeTime(int take);
    // Whether the log on show has a time, found out now (m_takeTime set)
    // unless that needs a pass over a long log's fields: false then.
    [[nodiscard]] bool takeTimeAtOnce();
    // Finds it out, on a worker for a long log, and tells the status line.
    void checkTakeTime();
    [[nodiscard]] QString columnToolTip(int col);
    void showCellStatus();
    void placeEmptyHint();
    // The title, the empty window's hint and the status line, for the log on show.
    void showLogTexts();
    // Runs a command, turning any failure into a message; never throws.
    void guarded(const char* what, const std::function<void()>& command);
    [[nodiscard]] std::string decimalSeparator() const;
    // The "Tables" tab and what it brings (form1_tables.cpp).
    void buildTablesTab();
    // File, Open As, Properties, Export Log As CSV and the channel filter (form1_formats.cpp).
    void buildFormatCommands();
    // The bar of open logs, File, Close and the keys that step through them (form1_logs.cpp).
    void buildLogBar();
    void updateLogBar();
    // Takes a document just read into the open logs, as the one on show.
    void placeDocument(std::shared_ptr<LogDocument> document, LogFormat format, QStringList warnings);
    // Keeps the view of the log on show in its document.
    void keepShownLog();
    void drawShownLog();
    // Around the grids, once the log on show is drawn: the warning bar, the
    // bar of open logs, the title and status line; then documentChanged.
    void showAroundLog();
    void clearCurve();
    // The Markers panel and M on the curve (form1_markers.cpp).
    void buildMarkers();
    void refreshMarkers();
    // What the warning bar says of how the log on show was read (empty for the own format).
    [[nodiscard]] QString readDetails() const;
    // The workspace's markers for the log's file name, added to its own.
    void applyWorkspaceMarkers(LogDocument& document);
    // The workspace's markers with those of every open log as they are now:
    // what Save Workspace writes.
    [[nodiscard]] std::vector<workbench::WorkspaceMarker> workspaceMarkers() const;
    void updateFormatCommands();
    [[nodiscard]] QString choosePath(const QString& title, bool save);
    void showTableTakes(const std::vector<int>& takes, long long param, bool showGeneral);
    void updateBlmNote();
    // The Tables and Charts tabs parse whole columns of the log for their
    // default table and page, so a new log reaches them only once they are
    // shown or a command needs them (all); until then they hold no log.
    void syncWorkbenchTabs(bool all);
    // The Charts tab alone brought up to date, as syncWorkbenchTabs does it.
    void syncChartsTab();
    // View, Curve Time Axis and Curve Shading by Chart Filter: the General
    // curve labels its x axis (seconds when the log has a time, as the
    // charts take it) and shades the takes the Charts tab's filter drops.
    // Off, the curve fills Picture1 as it always has.
    void applyCurveOptions();

    std::shared_ptr<LogDocument> m_document;
    MessageHandler m_messageHandler;
    FileNameChooser m_fileNameChooser;
    LogReader m_logReader;  // null: readLog
    LogFormat m_documentFormat = LogFormat::Auto;  // what the log on show was opened as, for F5
    std::chrono::milliseconds m_progressDelay{500};
    bool m_loading = false;
    std::future<void> m_blmWork;  // the open log's BLM table, worked out beside DrawGeneral
    LogLoader* m_loader = nullptr;  // the reading under way, for closeEvent
    bool m_fitToWindow = false;
    QString m_lastFileName;

    // Controls, owned by Qt's parent tree.
    QWidget* m_client = nullptr;
    QFileDialog* m_fileDialog = nullptr;
    QTabWidget* m_tab = nullptr;
    FitLabel* m_lblRunTime = nullptr;
    CellGrid* m_grid1 = nullptr;
    CurveSurface* m_picture1 = nullptr;
    FitLabel* m_lblParameterName = nullptr;
    FitLabel* m_lblValue = nullptr;
    FitLabel* m_lblMax = nullptr;
    FitLabel* m_lblAvg = nullptr;
    FitLabel* m_lblMin = nullptr;
    CellGrid* m_grid2 = nullptr;
    FindBar* m_findBar = nullptr;
    ChartsTab* m_charts = nullptr;
    WarningBar* m_warningBar = nullptr;
    QStringList m_readWarnings;       // of the log read last
    bool m_warningsDismissed = false;  // by the user, for the log open now
    QAction* m_mnuFitToWindow = nullptr;
    QAction* m_mnuFollowLog = nullptr;
    QAction* m_mnuCurveAxis = nullptr;
    QAction* m_mnuCurveShading = nullptr;
    QTimer* m_followTimer = nullptr;
    std::uintmax_t m_followFailedSize = 0;  // file size at which a followed reload failed
    TablesTab* m_tables = nullptr;
    // The one workspace of the window: the Tables tab edits its tables and
    // channels, the Charts tab its page; Save Workspace writes it.
    std::shared_ptr<workbench::Workspace> m_workspace = std::make_shared<workbench::Workspace>();
    QLabel* m_blmNote = nullptr;
    bool m_tablesBehind = false;  // the open log has not reached the Tables tab yet
    bool m_chartsBehind = false;  // nor the Charts tab
    std::filesystem::path m_chartsLog;  // of the log the Charts tab shows, empty for none
    PathChooser m_pathChooser;
    ChannelFilterBar* m_channelFilter = nullptr;
    // An open log and what the window keeps of its reading.
    struct OpenLog {
        std::shared_ptr<LogDocument> document;
        // The workspace's channel and expression values on it, which both
        // tabs use and fill.
        std::shared_ptr<workbench::LogSession> session;
        LogFormat format = LogFormat::Auto;
        QStringList warnings;
        bool warningsDismissed = false;
    };
    std::vector<OpenLog> m_logs;
    QToolBar* m_logBar = nullptr;
    QTabBar* m_logTabs = nullptr;
    bool m_updatingLogTabs = false;
    QAction* m_mnuClose = nullptr;
    QDockWidget* m_markersPanel = nullptr;
    QTreeWidget* m_markerList = nullptr;
    MarkerNoteChooser m_markerNoteChooser;
    QAction* m_mnuChannelFilter = nullptr;
    QAction* m_mnuExportLog = nullptr;
    QAction* m_mnuProperties = nullptr;
    QuestionHandler m_questionHandler;
    QMenu* m_recentMenu = nullptr;
    QLabel* m_cellStatus = nullptr;  // the selected cell, in the status bar
    QLabel* m_emptyHint = nullptr;   // over Grid1 while no log is open
    // The channel that times the takes of the log on show, once asked
    // (nullopt inside: none); reset when another log comes on show.
    std::optional<std::optional<TimeChannel>> m_takeTime;
    // Finds out whether a long log has a time once what the selection asked
    // for has been painted (checkTakeTime), then tells the status line again.
    QTimer* m_takeTimeLater = nullptr;
    // The pass over a long log's parameter 0, on a worker, and the document
    // it was started for.
    QFutureWatcher<bool>* m_takeTimeCheck = nullptr;
    std::shared_ptr<LogDocument> m_takeTimeFor;
};

}  // namespace dlv
