#include "window/form1.h"

#include "charts/chart_layout.h"
#include "datalog/log_formats.h"
#include "datalog/log_loader.h"
#include "datalog/not_a_log.h"
#include "render/chart_renderer.h"
#include "render/shown_text.h"
#include "views/blm_tint.h"
#include "views/general_grid.h"
#include "views/log_document.h"
#include "views/recent_logs.h"
#include "views/run_time.h"
#include "views/take_caption.h"
#include "window/charts_tab.h"
#include "window/curve_surface.h"
#include "window/inset_layout.h"
#include "window/find_bar.h"
#include "window/fit_label.h"
#include "window/quiet_teardown.h"
#include "window/warning_bar.h"

#include <QAction>
#include <QDockWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <QVBoxLayout>

#include <exception>
#include <new>
#include <optional>

namespace dlv {

namespace {

// Takes whose time column is checked at once for the status line: a pass
// of a few milliseconds.
constexpr int kTakesTimedAtOnce = 1000000;

// The own format's time: parameter 0 in seconds, when it runs forward.
[[nodiscard]] std::optional<TimeChannel> paramZeroTime(bool forward)
{
    return forward ? std::optional<TimeChannel>(TimeChannel{}) : std::nullopt;
}

// A control of the design's size (pixels).
template <class W>
W* fixedSize(W* widget, QSize design)
{
    widget->setFixedSize(design);
    return widget;
}

// A label of the design's height that takes the width its row leaves it.
FitLabel* growingWide(FitLabel* label, int height)
{
    label->setFixedHeight(height);
    label->setMinimumWidth(0);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

// A box whose size hint is its design size: below the design, the layout
// takes the missing room from it and its growing neighbours alike.
class DesignSizedBox final : public QWidget {
public:
    explicit DesignSizedBox(QSize design) : m_design(design) {}
    [[nodiscard]] QSize sizeHint() const override { return m_design; }
    [[nodiscard]] QSize minimumSizeHint() const override { return {0, 0}; }

private:
    QSize m_design;
};

QFont labelFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(12);
    font.setBold(true);
    return font;
}

FitLabel* makeLabel(const char* name, const QString& text, bool bold = true)
{
    auto* label = new FitLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    if (bold)
        label->setFont(labelFont());
    return label;
}

// Rows of the general data grid, served from the log without copying; a
// format whose values are built when shown builds them into a buffer of the
// asking thread, valid until that thread asks for the next cell.
class GeneralRows final : public CellRowSource {
public:
    explicit GeneralRows(std::shared_ptr<const LogChannels> log) : m_layout(std::move(log)) {}
    [[nodiscard]] int rowCount() const override { return m_layout.parameterRows(); }
    [[nodiscard]] std::string_view cell(int row, int col) const override
    {
        thread_local std::string scratch;
        return m_layout.cell(row, col, scratch);
    }
    [[nodiscard]] std::uint32_t maxCellBytes(int col) const override { return m_layout.maxCellBytes(col); }
private:
    GeneralGridLayout m_layout;
};

// File names travel as the system's bytes; QString only to show them.
std::filesystem::path pathOf(const QString& name)
{
    return std::filesystem::path(QFile::encodeName(name).toStdString());
}

// The bytes of a dropped local file's name, from the URL's percent-encoding
// (which keeps bytes that are not UTF-8).
std::filesystem::path droppedPath(const QUrl& url)
{
    return std::filesystem::path(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
}

// The local files of a drop, in order.
QList<QUrl> droppedFiles(const QMimeData* data)
{
    QList<QUrl> files;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files << url;
    return files;
}

// The recent logs as the settings keep them: the names' bytes.
constexpr auto kRecentLogsKey = "recentLogs";

RecentLogs storedRecentLogs()
{
    std::vector<std::string> paths;
    for (const QVariant& entry : QSettings().value(QLatin1String(kRecentLogsKey)).toList())
        paths.push_back(entry.toByteArray().toStdString());
    return RecentLogs(paths);
}

void storeRecentLogs(const RecentLogs& recent)
{
    QVariantList entries;
    for (const std::string& path : recent.paths())
        entries << QByteArray::fromStdString(path);
    QSettings().setValue(QLatin1String(kRecentLogsKey), entries);
}

QString fromNative(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

QString programName()
{
    return QStringLiteral("Datalog Viewer %1.%2").arg(DLV_VERSION_MAJOR).arg(DLV_VERSION_MINOR);
}

Form1::Form1(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(programName());
    buildControls();
    buildMenus();
    buildTablesTab();
    buildFormatCommands();
    buildLogBar();
    setFitToWindow(false);
    // After the other workbench tabs: they come in the order they are added.
    buildChartsTab();
    // Markers show on the General curve and on the chart panes alike.
    buildMarkers();
    fillRecentMenu();
    const std::string folder = storedRecentLogs().lastFolder();
    if (!folder.empty())
        m_fileDialog->setDirectory(fromNative(folder));
    // Key presses are seen here before the focused control gets them.
    qApp->installEventFilter(this);
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
    stopHearingChildren(this);
}

// Qt's box layouts arrange the General and BLM tabs and Frame1 as designed:
// at the design size every control sits at its design place, relative to
// the tab control or to Frame1 (pixels, the design's twips / 15 rounded
// down). Rounding lets neighbours overlap by a pixel in places; the layouts
// keep that with spacings of -1. Grid1 takes the extra height of the
// window, the grids and the curve the extra width; what sits right of the
// curve moves with its right edge.
void Form1::buildControls()
{
    m_client = new QWidget(this);
    setCentralWidget(m_client);
    // Tab1 at (5, 13), 710 x 649, in the 723 x 669 client area.
    auto* clientLayout = new QVBoxLayout(m_client);
    clientLayout->setContentsMargins(5, 13, 8, 7);
    clientLayout->setSizeConstraint(QLayout::SetNoConstraint);

    m_fileDialog = new QFileDialog(this);
    m_fileDialog->setObjectName(QStringLiteral("FileDialog1"));
    m_fileDialog->setFileMode(QFileDialog::ExistingFile);
    m_fileDialog->setAcceptMode(QFileDialog::AcceptOpen);

    m_tab = new QTabWidget;
    m_tab->setObjectName(QStringLiteral("Tab1"));
    clientLayout->addWidget(m_tab);
    auto* pageGeneral = new QWidget;
    auto* pageBlm = new QWidget;
    m_tab->addTab(pageGeneral, QStringLiteral("General"));
    m_tab->addTab(pageBlm, QStringLiteral("BLM"));
    m_tab->addTab(new QWidget, QStringLiteral("Other"));

    // The General tab: the run time and the find bar, Grid1, Frame1, one
    // under the other from y 30 to 633 and x 8 to 697 of the tab control.
    auto* general = new QVBoxLayout;
    general->setSpacing(0);
    (new InsetLayout(pageGeneral, m_tab, QMargins(8, 30, 710 - 697, 649 - 633)))->setArea(general);

    m_grid1 = new CellGrid;
    auto* top = new QHBoxLayout;
    top->setSpacing(0);
    auto* runTime = new QHBoxLayout;
    runTime->setContentsMargins(0, 2, 0, 0);
    runTime->setSpacing(0);
    m_lblRunTime = makeLabel("lblRunTime", QString());
    runTime->addWidget(fixedSize(makeLabel("Label2", QStringLiteral("Runtime:")), {73, 25}));
    runTime->addSpacing(-1);
    // Narrower than the design only with Fit to Window on: it gives way to the find bar.
    runTime->addWidget(growingWide(m_lblRunTime, 25), 1);
    top->addLayout(runTime, 1);
    top->addSpacing(9);
    m_findBar = new FindBar(m_grid1);
    m_findBar->setObjectName(QStringLiteral("FindBar"));
    // Hidden until Ctrl+F, it keeps its room: the run time stays as designed.
    QSizePolicy keepsRoom = m_findBar->sizePolicy();
    keepsRoom.setRetainSizeWhenHidden(true);
    m_findBar->setSizePolicy(keepsRoom);
    top->addWidget(fixedSize(m_findBar, {287, 26}), 0, Qt::AlignTop);

    // Grid1 with the reader's warnings above it, when there are any. Below
    // the design height (Fit to Window on a small screen) Grid1 and Frame1
    // share what is missing, as the layout takes it from both alike (a stretch
    // factor would make Grid1 give it all).
    auto* gridArea = new DesignSizedBox({687, 305});
    gridArea->setObjectName(QStringLiteral("GridArea"));
    auto* gridColumn = new QVBoxLayout(gridArea);
    gridColumn->setContentsMargins(0, 0, 0, 0);
    gridColumn->setSpacing(0);
    m_warningBar = new WarningBar;
    connect(m_warningBar, &WarningBar::dismissed, this, [this] { m_warningsDismissed = true; });
    m_grid1->setObjectName(QStringLiteral("Grid1"));
    gridColumn->addWidget(m_warningBar);
    gridColumn->addWidget(m_grid1, 1);
    auto* gridRow = new QHBoxLayout;
    gridRow->setContentsMargins(2, 0, 0, 0);
    gridRow->addWidget(gridArea);
    general->addLayout(gridRow);
    general->addSpacing(-1);
    connect(m_grid1, &CellGrid::rowSelected, this, &Form1::onRowSelected);
    // The header row stays empty: a take column tells its take when hovered,
    // and the status line tells the current cell's.
    m_grid1->setColumnToolTip([this](int col) { return columnToolTip(col); });
    connect(m_grid1, &CellGrid::currentCellChanged, this, [this] { showCellStatus(); });
    m_cellStatus = new QLabel;
    m_cellStatus->setObjectName(QStringLiteral("cellStatus"));
    // A timer of no interval fires once the events waiting, the paints
    // among them, have been handled.
    m_takeTimeLater = new QTimer(this);
    m_takeTimeLater->setSingleShot(true);
    m_takeTimeLater->setInterval(0);
    connect(m_takeTimeLater, &QTimer::timeout, this, [this] { guarded("Telling the take's time", [this] { checkTakeTime(); }); });
    m_takeTimeCheck = new QFutureWatcher<bool>(this);
    connect(m_takeTimeCheck, &QFutureWatcher<bool>::finished, this, [this] {
        guarded("Telling the take's time", [this] {
            // The document goes with the check, whichever log is on show now.
            const bool current = m_document && m_document == m_takeTimeFor;
            m_takeTimeFor.reset();
            if (!current || m_takeTime)
                return;  // another log came on show meanwhile
            m_takeTime.emplace(paramZeroTime(m_takeTimeCheck->result()));
            showCellStatus();
        });
    });
    statusBar()->addWidget(m_cellStatus, 1);
    // It tells of Grid1's cell: only while the General tab is on show.
    connect(m_tab, &QTabWidget::currentChanged, m_cellStatus,
            [this](int index) { m_cellStatus->setVisible(index == 0); });
    // A filter typed on the Charts tab shades the curve once it is back on show.
    connect(m_tab, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0 && m_mnuCurveShading && m_mnuCurveShading->isChecked())
            guarded("Drawing the curve", [this] { applyCurveOptions(); });
    });
    statusBar()->setSizeGripEnabled(false);
    m_emptyHint = new QLabel(QStringLiteral("Open a log with File, Open or drop one here"), m_grid1->viewport());
    m_emptyHint->setObjectName(QStringLiteral("emptyHint"));
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setForegroundRole(QPalette::PlaceholderText);
    connect(m_grid1, &CellGrid::copyFailed, this, &Form1::reportError);
    auto* frame1 = new QGroupBox;
    frame1->setObjectName(QStringLiteral("Frame1"));
    // It gives way below the design but never grows taller: Grid1 takes the room.
    frame1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    general->addWidget(frame1);
    // The top row goes in last: Tab goes from Grid1 to the find bar, then to the curve.
    general->insertSpacing(0, -1);
    general->insertLayout(0, top);

    // Frame1, 689 x 273: the parameter's name and the clicked value over
    // the curve, Max, Avg and Min right of it, the hint under it.
    auto* frame = new QVBoxLayout;
    frame->setSpacing(0);
    (new InsetLayout(frame1, nullptr, QMargins(8, 16, 689 - 681, 273 - 265)))->setArea(frame);
    m_lblParameterName = makeLabel("lblParameterName", QStringLiteral("Parameter summary"));
    m_lblValue = makeLabel("lblValue", QString());
    m_lblValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette blue = m_lblValue->palette();
    blue.setColor(QPalette::WindowText, toQColor(kBlue, {}));
    m_lblValue->setPalette(blue);
    auto* title = new QHBoxLayout;
    title->setSpacing(0);
    title->addWidget(growingWide(m_lblParameterName, 25), 1);
    title->addSpacing(7);
    title->addWidget(fixedSize(m_lblValue, {105, 25}));
    // Level with the right edge of Max, Avg and Min.
    title->addSpacing(136);
    frame->addLayout(title);
    frame->addSpacing(-1);

    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    auto* curveColumn = new QVBoxLayout;
    curveColumn->setSpacing(0);
    m_picture1 = new CurveSurface;
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    // In a frame shorter than designed the curve gives way, what is below it moving up.
    m_picture1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    curveColumn->addWidget(m_picture1, 1);
    curveColumn->addSpacing(7);
    auto* hintRow = new QHBoxLayout;
    hintRow->setSpacing(0);
    FitLabel* hint = makeLabel("Label4", QStringLiteral("(Click on curve to locate the actual take in the data grid)"),
                               false);
    hint->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    hintRow->addWidget(growingWide(hint, 17), 1);
    hintRow->addSpacing(8);
    curveColumn->addLayout(hintRow);
    body->addLayout(curveColumn, 1);
    body->addSpacing(-1);

    // Max level with the curve's top edge, Avg near its middle, Min near
    // its bottom: a shorter frame takes from the two gaps alike.
    m_lblMax = makeLabel("lblMax", QString());
    m_lblAvg = makeLabel("lblAvg", QString());
    m_lblMin = makeLabel("lblMin", QString());
    const auto summaryRow = [](FitLabel* caption, int captionWidth, int gap, FitLabel* value, int valueWidth) {
        auto* row = new QHBoxLayout;
        row->setSpacing(0);
        row->addWidget(fixedSize(caption, {captionWidth, 25}));
        row->addSpacing(gap);
        row->addWidget(fixedSize(value, {valueWidth, 25}));
        row->addStretch();
        return row;
    };
    const auto gap = [](int height) { return new QSpacerItem(0, height, QSizePolicy::Minimum, QSizePolicy::Preferred); };
    auto* summary = new QVBoxLayout;
    summary->setSpacing(0);
    summary->addLayout(summaryRow(makeLabel("Label1", QStringLiteral("Max:")), 41, -1, m_lblMax, 89));
    summary->addItem(gap(63));
    summary->addLayout(summaryRow(makeLabel("Label3", QStringLiteral("Avg:")), 41, -1, m_lblAvg, 89));
    summary->addItem(gap(71));
    summary->addLayout(summaryRow(makeLabel("lblMinInfo", QStringLiteral("Min:")), 33, 7, m_lblMin, 97));
    summary->addSpacing(16);
    body->addLayout(summary);
    frame->addLayout(body, 1);

    connect(m_picture1, &CurveSurface::mouseReleased, this,
            [this](Qt::MouseButton, Qt::KeyboardModifiers, double x, double) { onCurveReleased(x); });
    // Arrow keys and F3 step the marker as a click at that take would.
    connect(m_picture1, &CurveSurface::takeStepRequested, this, [this](int take) { onCurveReleased(take); });
    m_picture1->setValueTextProvider([this](int take) -> QString {
        const int row = m_grid1->SelectedRow(0);
        if (row <= 0 || !m_document)
            return {};
        std::string scratch;
        return shownQString(clickedValueText(m_document->log(), row - 1, take, scratch));
    });

    // The BLM tab: Grid2 from (8, 32), reaching 8 pixels past the tab
    // control's bottom edge, as designed.
    m_grid2 = new CellGrid;
    m_grid2->setObjectName(QStringLiteral("Grid2"));
    (new InsetLayout(pageBlm, m_tab, QMargins(8, 32, 710 - 703, 649 - 657)))->setArea(m_grid2);
    m_grid2->setColCount(kBlmGridColumns);
    m_grid2->setRowCount(1);
    m_grid2->setCellText(CellRange::cell(0, 0), QString::fromLatin1(kBlmCornerText));
    connect(m_grid2, &CellGrid::cellDoubleClicked, this, &Form1::onBlmCellDoubleClicked);
    connect(m_grid2, &CellGrid::copyFailed, this, &Form1::reportError);

    setAcceptDrops(true);
}

void Form1::buildMenus()
{
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    connect(addItem(file, "mnuOpen", QStringLiteral("&Open")), &QAction::triggered, this, [this] { openCommand(); });
    m_recentMenu = file->addMenu(QStringLiteral("Recent &Logs"));
    m_recentMenu->setObjectName(QStringLiteral("mnuRecentLogs"));
    QAction* quit = addItem(file, "mnuQuit", QStringLiteral("&Quit"));
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("mnuView"));
    m_mnuFitToWindow = addItem(view, "mnuFitToWindow", QStringLiteral("&Fit to Window"));
    m_mnuFitToWindow->setCheckable(true);
    connect(m_mnuFitToWindow, &QAction::toggled, this, [this](bool on) { setFitToWindow(on); });
    m_mnuFollowLog = addItem(view, "mnuFollowLog", QStringLiteral("F&ollow Log"));
    m_mnuFollowLog->setCheckable(true);
    m_followTimer = new QTimer(this);
    m_followTimer->setInterval(500);
    connect(m_followTimer, &QTimer::timeout, this, [this] { followTick(); });
    connect(m_mnuFollowLog, &QAction::toggled, this, [this](bool on) { setFollowLog(on); });
    m_mnuCurveAxis = addItem(view, "mnuCurveAxis", QStringLiteral("Curve Time &Axis"));
    m_mnuCurveShading = addItem(view, "mnuCurveShading", QStringLiteral("Curve &Shading by Chart Filter"));
    for (QAction* option : {m_mnuCurveAxis, m_mnuCurveShading}) {
        option->setCheckable(true);
        connect(option, &QAction::toggled, this, [this] { guarded("Drawing the curve", [this] { applyCurveOptions(); }); });
    }
    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    QAction* bookMark = addItem(tools, "mnuBookMark", QStringLiteral("&Bookmark (F12)"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    connect(addItem(help, "mnuAbout", QStringLiteral("&About")), &QAction::triggered, this, [this] { showAbout(); });

    // Window-wide keys of their own; F12 is left to the key handler.
    auto* reload = new QAction(QStringLiteral("Reload"), this);
    reload->setObjectName(QStringLiteral("actReload"));
    reload->setShortcut(QKeySequence(Qt::Key_F5));
    connect(reload, &QAction::triggered, this, [this] { reloadCommand(); });
    addAction(reload);
    auto* find = new QAction(QStringLiteral("Find parameter"), this);
    find->setObjectName(QStringLiteral("actFind"));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] {
        m_tab->setCurrentIndex(0);
        m_findBar->raise();
        m_findBar->activate();
    });
    addAction(find);
    // The standard keys act as their menu items do; the items keep no
    // accelerator of their own.
    auto addKey = [this](const char* name, const QString& text, const QKeySequence& key) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        addAction(action);
        return action;
    };
    connect(addKey("actOpen", QStringLiteral("Open"), QKeySequence(Qt::CTRL | Qt::Key_O)), &QAction::triggered, this,
            [this] { openCommand(); });
    connect(addKey("actQuit", QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q)), &QAction::triggered, quit,
            &QAction::trigger);
    connect(addKey("actAbout", QStringLiteral("About"), QKeySequence(Qt::Key_F1)), &QAction::triggered, this,
            [this] { showAbout(); });
    connect(quit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);
    connect(quit, &QAction::triggered, this, [this] { close(); });
    connect(bookMark, &QAction::triggered, this, [this] { guarded("Bookmark", [this] { BookMark(); }); });
}

void Form1::setFitToWindow(bool on)
{
    m_fitToWindow = on;
    if (m_mnuFitToWindow->isChecked() != on)
        m_mnuFitToWindow->setChecked(on);
    if (on) {
        // No design minimum: the window fits a screen smaller than the design.
        m_client->setMinimumSize(kFittedMinimumClientSize);
        m_client->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        // At once, not when the layout next runs: a resize that follows
        // would still be held to the design size.
        if (QLayout* windowLayout = layout())
            windowLayout->activate();
        return;
    }
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        showNormal();
    m_client->setFixedSize(kDesignClientSize);
    if (QLayout* windowLayout = layout())
        windowLayout->activate();
    resize(minimumSizeHint().expandedTo(minimumSize()));
}

void Form1::showOnScreen()
{
    const QScreen* shownOn = screen();
    if (!shownOn) {
        show();
        return;
    }
    const QRect free = shownOn->availableGeometry();
    // The design size with the menu and status bars, at the scale in use.
    const QSize whole = sizeHint().expandedTo(size());
    if (whole.width() <= free.width() && whole.height() <= free.height()) {
        show();
        return;
    }
    setFitToWindow(true);
    // Maximised where a window manager does so; the geometry holds without one.
    setGeometry(free);
    showMaximized();
}

int Form1::addWorkbenchTab(QWidget* page, const QString& title)
{
    return m_tab->addTab(page, title);
}

void Form1::setMessageHandler(MessageHandler handler)
{
    m_messageHandler = std::move(handler);
}

void Form1::setQuestionHandler(QuestionHandler handler)
{
    m_questionHandler = std::move(handler);
}

bool Form1::ask(const QString& text)
{
    if (m_questionHandler)
        return m_questionHandler(programName(), shownQString(text));
    return QMessageBox::question(this, programName(), shownQString(text), QMessageBox::Open | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Open;
}

std::optional<QString> Form1::notALogWarning(const std::filesystem::path& path, LogFormat format) const
{
    // A binary format is not the text this rule looks for.
    if (format == LogFormat::Mlg)
        return std::nullopt;
    const std::optional<std::string> reason = notALogReason(fileHead(path, kNotALogHeadBytes));
    if (!reason)
        return std::nullopt;
    return QStringLiteral("'%1' %2").arg(shownQString(path.filename().native()), QString::fromStdString(*reason));
}

bool Form1::openAnyway(const QString& warning)
{
    // Nothing is put out of sight in an empty window: the file opens, the
    // warning bar saying what it is.
    if (!m_document)
        return true;
    return ask(QStringLiteral("%1.\n\nOpen it anyway? It comes on show in place of '%2', which stays open.")
                   .arg(warning, shownQString(m_document->path().filename().native())));
}

std::vector<std::string> Form1::recentLogs() const
{
    return storedRecentLogs().paths();
}

void Form1::clearRecentLogs()
{
    storeRecentLogs(RecentLogs());
    fillRecentMenu();
}

void Form1::rememberOpened(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    RecentLogs recent = storedRecentLogs();
    recent.opened((error ? path : absolute).lexically_normal().native());
    storeRecentLogs(recent);
    fillRecentMenu();
    m_fileDialog->setDirectory(fromNative(recent.lastFolder()));
}

void Form1::fillRecentMenu()
{
    m_recentMenu->clear();
    const std::vector<std::string> paths = recentLogs();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // Shown as the system spells it; opened by its bytes.
        QString shown = shownQString(paths[i]);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = m_recentMenu->addAction(QStringLiteral("&%1  %2").arg(i + 1 < 10 ? QString::number(i + 1) : QStringLiteral("1&0"), shown));
        item->setObjectName(QStringLiteral("mnuRecentLog%1").arg(i + 1));
        connect(item, &QAction::triggered, this, [this, path = paths[i]] { openPath(std::filesystem::path(path)); });
    }
    if (paths.empty())
        m_recentMenu->addAction(QStringLiteral("(none yet)"))->setEnabled(false);
    m_recentMenu->addSeparator();
    QAction* clear = m_recentMenu->addAction(QStringLiteral("&Clear Recent Logs"));
    clear->setObjectName(QStringLiteral("mnuClearRecentLogs"));
    clear->setEnabled(!paths.empty());
    connect(clear, &QAction::triggered, this, [this] { clearRecentLogs(); });
}

bool Form1::takeTimeAtOnce()
{
    // Another format names its time channel. The own format's parameter 0
    // is a time when it is a number in every take and never runs back, as
    // the charts take it: its column when the cache holds it, else one pass
    // over its fields, which is left to a worker on a long log.
    const LogChannels& log = m_document->log();
    if (log.format() != LogFormat::Datalog || log.channelCount() == 0 || !log.textStore()) {
        m_takeTime.emplace(log.format() == LogFormat::Datalog ? std::nullopt : log.timeChannel());
        return true;
    }
    bool forward = false;
    if (const ColumnPtr column = m_document->columns().cachedColumn(0)) {
        double previous = -std::numeric_limits<double>::infinity();
        forward = !column->empty() && runsForward(*column, previous);
    } else if (log.takeCount() <= kTakesTimedAtOnce) {
        try {
            forward = paramRunsForward(*log.textStore(), 0);
        } catch (const std::exception&) {
            // No time then: the take alone is told.
        }
    } else {
        return false;
    }
    m_takeTime.emplace(paramZeroTime(forward));
    return true;
}

void Form1::checkTakeTime()
{
    if (!m_document || m_takeTime || takeTimeAtOnce()) {
        showCellStatus();
        return;
    }
    if (m_takeTimeFor == m_document && m_takeTimeCheck->isRunning())
        return;
    // The column of parameter 0 is not kept for it: on a tall log it is a
    // fifth of the file.
    m_takeTimeFor = m_document;
    m_takeTimeCheck->setFuture(QtConcurrent::run([document = m_document] {
        try {
            return paramRunsForward(*document->log().textStore(), 0);
        } catch (const std::exception&) {
            return false;  // no time then: the take alone is told
        }
    }));
}

std::optional<std::string> Form1::takeTime(int take)
{
    if (!m_document)
        return std::nullopt;
    if (!m_takeTime && !takeTimeAtOnce()) {
        // Once what asked for it has been painted; the take alone meanwhile.
        m_takeTimeLater->start();
        return std::nullopt;
    }
    return *m_takeTime ? takeSeconds(m_document->log(), **m_takeTime, take) : std::nullopt;
}

QString Form1::columnToolTip(int col)
{
    if (!m_document || col < 1 || col - 1 > m_document->log().lastTake())
        return {};
    return QString::fromStdString(takeCaption(col - 1, takeTime(col - 1)));
}

void Form1::showCellStatus()
{
    const std::optional<std::pair<int, int>> cell = m_grid1->currentCell();
    if (!m_document || !cell || cell->second < 1 || cell->second - 1 > m_document->log().lastTake()) {
        m_cellStatus->clear();
        return;
    }
    const auto [row, col] = *cell;
    const std::string name = m_grid1->shownCellText(row, 0).toStdString();
    const std::string value = m_grid1->shownCellText(row, col).toStdString();
    // Whether parameter 0 is a time may take a pass over its whole column:
    // on a long log the status line tells the take alone until it is known.
    const std::optional<std::string> time = takeTime(col - 1);
    m_cellStatus->setText(QString::fromStdString(cellCaption(name, col - 1, time, value)));
}

void Form1::showLogTexts()
{
    setWindowTitle(m_document ? shownQString(m_document->path().filename().native()) + QStringLiteral(" \u2014 ") +
                                    programName()
                              : programName());
    m_takeTime.reset();
    placeEmptyHint();
    showCellStatus();
}

void Form1::placeEmptyHint()
{
    m_emptyHint->setGeometry(m_grid1->viewport()->rect().adjusted(12, 12, -12, -12));
    m_emptyHint->setVisible(!m_document);
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    placeEmptyHint();
}

void Form1::setFileNameChooser(FileNameChooser chooser)
{
    m_fileNameChooser = std::move(chooser);
}

void Form1::setLogReader(LogReader reader)
{
    m_logReader = std::move(reader);
}

const TakeStore* Form1::store() const noexcept
{
    return m_document ? m_document->log().textStore() : nullptr;
}

std::string Form1::decimalSeparator() const
{
    return QLocale().decimalPoint().toStdString();
}

void Form1::reportError(const QString& text)
{
    if (m_messageHandler)
        m_messageHandler(MessageKind::Error, programName(), shownQString(text));
    else
        QMessageBox::warning(this, programName(), shownQString(text));
}

void Form1::guarded(const char* what, const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::bad_alloc&) {
        reportError(QStringLiteral("%1 failed: not enough memory.").arg(QString::fromLatin1(what)));
    } catch (const std::exception& e) {
        reportError(QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(what), shownQString(std::string_view(e.what()))));
    } catch (...) {
        reportError(QStringLiteral("%1 failed.").arg(QString::fromLatin1(what)));
    }
}

void Form1::showAbout()
{
    const QString text = programName() +
                         QStringLiteral("\n\nA fast viewer for engine data logs: every parameter over every take, "
                                        "the run time, an RPM-by-MAP table of averaged BLM values and the curve "
                                        "of any parameter.\n\n"
                                        "Keys and gestures:\n"
                                        "F12 or Tools, Bookmark: highlight the selected row, or clear it\n"
                                        "Ctrl+O: open a log; Ctrl+Q: quit; F1: this box\n"
                                        "F5: read the current log again, keeping the selection, bookmarks, "
                                        "scroll position and zoom; View, Follow Log: do so whenever the log "
                                        "grows; drop a log on the window to open it\n"
                                        "Ctrl+F: find a parameter by name; drag, Shift+click, Shift+arrows, "
                                        "Ctrl+A: select cells; Ctrl+C: copy them for a spreadsheet\n"
                                        "View, Fit to Window: let the window grow, the grids and curve with it\n"
                                        "Double-click a BLM cell: show its takes on the BLM curve\n"
                                        "On the curve: click to locate a take; Left/Right step one take; "
                                        "F3/Shift+F3 next/previous marked take;\n"
                                        "wheel zooms, middle-drag or Ctrl+drag pans, Home or middle double-click "
                                        "shows the whole log; hover shows the take and its value");
    if (m_messageHandler)
        m_messageHandler(MessageKind::About, programName(), text);
    else
        QMessageBox::about(this, QStringLiteral("About %1").arg(programName()), text);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && m_grid1 && watched == m_grid1->viewport())
        placeEmptyHint();
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F12) {
        // A key travels from the focused control up to its parents; act once,
        // where it starts. The key is not consumed.
        auto* target = qobject_cast<QWidget*>(watched);
        QWidget* focus = focusWidget();
        if (target && target->window() == this && target == (focus ? focus : this))
            guarded("Bookmark", [this] { BookMark(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // The reading stops; the Open under way then ends without showing it.
    if (m_loader)
        m_loader->cancel();
    QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------- commands

void Form1::openCommand()
{
    runOpen([this] { return ReadDataFile(); });
}

void Form1::openPath(const std::filesystem::path& path, LogFormat format)
{
    runOpen([this, path, format] { return readLog(path, format); });
}

void Form1::openFile(const QString& path)
{
    openPath(pathOf(path));
}

void Form1::reloadCommand()
{
    if (!m_document || m_loading)
        return;
    const LogViewState kept = keepView();
    const std::shared_ptr<LogDocument> before = m_document;
    // A bar the user closed stays closed while the same log is reloaded.
    const bool dismissed = m_warningsDismissed;
    runOpen([this, path = m_document->path(), format = m_documentFormat] { return readLog(path, format, true); },
            dismissed);
    if (m_document != before)
        guarded("Reload", [&] { restoreView(kept); });
}

void Form1::setFollowLog(bool on)
{
    if (m_mnuFollowLog->isChecked() != on)
        m_mnuFollowLog->setChecked(on);
    if (on)
        m_followTimer->start();
    else
        m_followTimer->stop();
}

bool Form1::followsLog() const noexcept
{
    return m_mnuFollowLog->isChecked();
}

void Form1::followTick()
{
    if (!m_document || m_loading)
        return;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(m_document->path(), error);
    // A file cut shorter is a new recording into the same file: read it too.
    // An empty one is waited for, as one that is gone: its logger has only
    // just started it.
    if (error || size == 0 || size == m_document->log().fileBytes() || size == m_followFailedSize)
        return;  // gone or empty for the moment, unchanged, or already refused at this size
    m_followTimer->stop();  // no second reload from inside this one's messages
    const std::shared_ptr<LogDocument> before = m_document;
    reloadCommand();
    // A failure is told once; the next growth tries again.
    m_followFailedSize = m_document == before ? size : 0;
    if (followsLog())
        m_followTimer->start();
}

LogViewState Form1::keepView() const
{
    LogViewState kept;
    kept.rowCount = m_grid1->RowCount();
    kept.selectedRow = m_grid1->SelectedRow(0);
    if (m_document) {
        kept.bookmarkedRows = m_document->viewState().bookmarkedRows;
        kept.markers = m_document->viewState().markers;
    }
    const CellGrid::ScrollPlace scroll = m_grid1->scrollPlace();
    kept.scrollRow = scroll.row;
    kept.scrollColumn = scroll.col;
    kept.scrollAtEnd = scroll.atEnd;
    if (m_grid1->outlinedColumn())
        kept.markerTake = m_picture1->markerTake();
    if (m_picture1->isZoomed()) {
        const CurveScale& shown = m_picture1->userScale();
        const CurveScale& full = m_picture1->fullScale();
        kept.zoom = LogViewState::Zoom{shown.left(), shown.width(),
                                       shown.left() + shown.width() >= full.left() + full.width()};
    }
    return kept;
}

void Form1::restoreView(const LogViewState& kept)
{
    // A row keeps its parameter number; the last row holds the empty name
    // that ends the names, so it is the same row only when it was last before.
    const int rows = m_grid1->RowCount();
    auto fits = [&](int row) { return row > 0 && (row < rows - 1 || (row == rows - 1 && row == kept.rowCount - 1)); };
    // Markers stay on their takes, as far as the log still reaches.
    std::vector<LogMarker> markers;
    for (const LogMarker& marker : kept.markers)
        if (marker.take < m_document->log().takeCount())
            markers.push_back(marker);
    m_document->viewState().markers = std::move(markers);
    refreshMarkers();
    for (const int row : kept.bookmarkedRows)
        if (fits(row))
            setRowBookmarked(row, true);
    if (fits(kept.selectedRow) && m_grid1->ColCount() > 1) {
        m_grid1->selectGridRow(kept.selectedRow);  // draws its curve from the new takes
        if (kept.markerTake && *kept.markerTake <= m_document->log().lastTake()) {
            onCurveReleased(*kept.markerTake);
            m_picture1->setMarkerTake(kept.markerTake);
        }
        if (kept.zoom) {
            const CurveScale& full = m_picture1->fullScale();
            const double fullRight = full.left() + full.width();
            if (kept.zoom->atEnd)
                m_picture1->setVisibleRange(fullRight - kept.zoom->width, kept.zoom->width);
            else if (kept.zoom->left < fullRight)
                m_picture1->setVisibleRange(kept.zoom->left, kept.zoom->width);
        }
    }
    m_grid1->setScrollPlace({kept.scrollRow, kept.scrollColumn, kept.scrollAtEnd});
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = droppedFiles(event->mimeData());
    if (urls.isEmpty())
        return;
    event->acceptProposedAction();
    // Each file is opened in turn, as File, Open opens one.
    for (const QUrl& url : urls)
        openPath(droppedPath(url));
}

void Form1::runOpen(const std::function<bool()>& read, bool warningsDismissed)
{
    if (m_loading)
        return;  // one Open at a time; never one inside another
    m_loading = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    guarded("Open", [&] {
        if (read()) {
            // The BLM table, on a tab not in view, is worked out on another
            // thread while Grid1 is drawn and painted; the steps themselves
            // keep their order.
            m_blmWork = std::async(std::launch::async, [document = m_document] { (void)document->blmTable(); });
            DrawGeneral();
            if (isVisible())
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            DrawBLM();
            ShowRuntime();
            m_warningsDismissed = warningsDismissed;
            showAroundLog();
        }
    });
    QApplication::restoreOverrideCursor();
    m_loading = false;
}

bool Form1::ReadDataFile()
{
    return readChosenFile(LogFormat::Auto);
}

bool Form1::readChosenFile(LogFormat format)
{
    QString name;
    if (m_fileNameChooser) {
        name = m_fileNameChooser();
    } else {
        if (!m_lastFileName.isEmpty())
            m_fileDialog->selectFile(m_lastFileName);
        if (m_fileDialog->exec() == QDialog::Accepted && !m_fileDialog->selectedFiles().isEmpty())
            name = m_fileDialog->selectedFiles().constFirst();
    }
    if (name.trimmed().isEmpty())
        return false;
    m_lastFileName = name;
    return readLog(pathOf(name), format);
}

// Reads on a worker thread and waits in a local event loop, so the window
// keeps painting; the progress dialog comes after m_progressDelay.
bool Form1::readLog(const std::filesystem::path& path, LogFormat format, bool again)
{
    // Asked before it is read; read again (F5, Follow Log), it was opened knowingly.
    const std::optional<QString> notALog = notALogWarning(path, format);
    if (notALog && !again && !openAnyway(*notALog))
        return false;
    emit loadStarted();
    QEventLoop loop;
    LogLoader::Reader reader = m_logReader;
    if (!reader)
        reader = [format](const std::filesystem::path& file, ReadControl& control) {
            return dlv::readLog(file, format, &control);
        };
    LogLoader loader(std::move(reader), path,
                     [&loop] { QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection); });
    m_loader = &loader;
    QProgressDialog* progress = nullptr;
    QTimer ticker;
    auto showProgress = [&] {
        if (!progress) {
            progress = new QProgressDialog(this);
            progress->setObjectName(QStringLiteral("LoadProgress"));
            progress->setWindowTitle(programName());
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
            progress->setRange(0, 0);
            connect(progress, &QProgressDialog::canceled, progress, [&loader] { loader.cancel(); });
            progress->show();
        }
        progress->setLabelText(QString::fromStdString(loader.progressText()));
    };
    // Timers of their own, stopped when the reading ends: a timer bound to
    // the loop alone would still fire in the event loop of the error box
    // that follows, and bring the dialog up over it.
    QTimer delay;
    delay.setSingleShot(true);
    connect(&delay, &QTimer::timeout, &loop, [&] {
        showProgress();
        ticker.start(100);
    });
    connect(&ticker, &QTimer::timeout, &loop, showProgress);
    delay.start(m_progressDelay);
    loop.exec();
    delay.stop();
    ticker.stop();
    ReadResult result = loader.finish();
    m_loader = nullptr;
    delete progress;
    emit loadRead();

    if (loader.cancelled())
        return false;  // cancelled: everything stays as it was
    if (!result.ok()) {
        reportError(QString::fromStdString(result.error));
        return false;
    }
    m_readWarnings = readWarningTexts(result);
    if (notALog)
        m_readWarnings.prepend(*notALog);
    std::shared_ptr<const LogChannels> log = logOf(result);
    placeDocument(std::make_shared<LogDocument>(path, std::move(log)), format, m_readWarnings);
    if (!again)
        rememberOpened(path);
    return true;
}

void Form1::DrawGeneral()
{
    m_grid1->setColCount(1);
    m_grid1->setRowCount(1);
    m_grid1->setColCount(m_document->log().takeCount() + 1);
    m_grid1->appendSourceRows(std::make_shared<GeneralRows>(m_document->sharedLog()));
    m_grid1->AutoSizeColumns(0, m_grid1->ColCount() - 1);
}

void Form1::DrawBLM()
{
    if (m_blmWork.valid())
        m_blmWork.get();  // what the worker met, a failure included
    const BlmTable& table = m_document->blmTable();
    const BlmGridTexts texts = blmTableTexts(table);
    m_grid2->clearTints();
    m_grid2->setRowCount(1);
    for (int r = 1; r < kBlmGridRows; ++r)
        m_grid2->AppendRow(texts[static_cast<std::size_t>(r)][0]);
    for (int r = 0; r < kBlmGridRows; ++r)
        for (int c = 1; c < kBlmGridColumns; ++c)
            m_grid2->setCellText(CellRange::cell(r, c),
                                 QString::fromStdString(texts[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]));
    // How far each average is from 128, and what stands behind it.
    for (int r = 1; r < kBlmGridRows; ++r)
        for (int c = 1; c < kBlmGridColumns; ++c) {
            const BlmCell& cell = table.at(r, c);
            if (const std::optional<Rgb> tint = blmCellTint(cell))
                m_grid2->setCellTint(r, c, QColor(tint->r, tint->g, tint->b));
            m_grid2->setCellToolTip(r, c, QString::fromStdString(blmCellToolTip(cell)));
        }
}

void Form1::ShowRuntime()
{
    const int columns = m_grid1->ColCount();
    if (m_document && !m_document->isDatalog()) {
        // The other formats time their takes in a channel of their own.
        const std::optional<TimeChannel> time = m_document->log().timeChannel();
        const ColumnPtr values = time ? m_document->columns().column(time->param) : nullptr;
        m_lblRunTime->setText(QString::fromStdString(channelRunTimeCaption(
            values ? time : std::nullopt, values ? std::span<const double>(*values) : std::span<const double>(),
            columns, decimalSeparator())));
        return;
    }
    std::optional<std::string> last;
    if (columns >= 2)
        last = m_grid1->CellText(CellRange::cell(1, columns - 1)).toStdString();
    m_lblRunTime->setText(QString::fromStdString(runTimeCaption(last, columns, decimalSeparator())));
}

void Form1::applyCurveOptions()
{
    const bool axis = m_mnuCurveAxis->isChecked();
    const bool shading = m_mnuCurveShading->isChecked();
    ColumnPtr time;
    std::shared_ptr<const KeepMask> dropped;
    if (m_document && (axis || shading)) {
        // The charts' own reading of the log: the same time axis, the
        // same filter.
        syncChartsTab();
        const ResolvedPage& page = m_charts->view()->renderer().page();
        time = page.time;
        if (shading)
            dropped = page.keep;
    }
    m_picture1->renderer().setAxis(axis, std::move(time), decimalSeparator());
    m_picture1->renderer().setDropped(std::move(dropped));
    m_picture1->update();
}

void Form1::DrawCurve(int aData)
{
    m_lblParameterName->setText(m_grid1->shownCellText(aData + 1, 0));
    if (!m_document)
        return;
    applyCurveOptions();
    // Another curve than the one on show: that one lets go of its column
    // first, so that on a tall log the new column is parsed into its memory
    // rather than into pages the system hands out afresh.
    const std::optional<long long> shown = m_picture1->curveParam();
    const bool another = shown && *shown != aData;
    if (another) {
        m_picture1->clear();
        m_document->forgetCurve();
    }
    // The envelope the picture paints first, built beside the summary: the
    // whole log's x range (another series shows it all) at today's width.
    CurveEnvelope prepared;
    const int widthPx = m_picture1->surfaceSize().width();
    const double lastX = CurveLayout::of(m_document->log().lastTake(), {}).width;
    const auto prepare = [&](const ParamSeries& series) {
        try {
            prepared = CurveEnvelope::build(series.values(), 0.0, lastX, widthPx, 1);
        } catch (const std::bad_alloc&) {
            // Then the paint builds it.
        }
    };
    LogDocument::Curve curve;
    try {
        curve = m_document->curve(aData, another || !shown ? prepare : std::function<void(const ParamSeries&)>());
    } catch (...) {
        // What was on show comes back, then the failure is told.
        if (another) {
            try {
                DrawCurve(static_cast<int>(*shown));
            } catch (...) {
            }
        }
        throw;
    }
    const CurveLabels labels = curveLabels(curve.summary, decimalSeparator());
    m_lblAvg->setText(QString::fromStdString(labels.avg));
    m_lblMin->setText(QString::fromStdString(labels.min));
    m_lblMax->setText(QString::fromStdString(labels.max));

    const CurveLayout layout = CurveLayout::of(m_document->log().lastTake(), curve.summary);
    m_picture1->clear();
    m_picture1->setUserScale(layout.scale());
    if (!curve.summary.hasNumbers()) {
        m_picture1->showWholeLog();
        return;
    }
    m_picture1->setDrawColor(kBlack);
    m_picture1->setCurve(curve.series, layout);
    if (prepared.widthPx() > 0 && !m_picture1->isZoomed())
        m_picture1->offerEnvelope(curve.series, std::move(prepared));
}

void Form1::BookMark()
{
    const int row = m_grid1->SelectedRow(0);
    if (row <= 0)
        return;
    // The document holds which rows are bookmarked; the grid shows them.
    setRowBookmarked(row, !(m_document && m_document->viewState().bookmarkedRows.contains(row)));
}

void Form1::setRowBookmarked(int row, bool on)
{
    if (m_document) {
        if (on)
            m_document->viewState().bookmarkedRows.insert(row);
        else
            m_document->viewState().bookmarkedRows.erase(row);
    }
    auto wholeRow = [this, row] { return CellRange{row, 0, row, m_grid1->ColCount() - 1}; };
    if (on) {
        m_grid1->setCellBackColor(wholeRow(), kBookmarkBack);
        m_grid1->setCellTextColor(wholeRow(), kBookmarkText);
        m_grid1->setCellBold(wholeRow(), true);
    } else {
        m_grid1->setCellBackColor(wholeRow(), kClearedBack);
        m_grid1->setCellTextColor(wholeRow(), kClearedText);
        m_grid1->setCellBold(wholeRow(), false);
        m_grid1->setCellBackColor(CellRange::cell(row, 0), kClearedNameBack);
    }
}

// ---------------------------------------------------------------- user events

// From a BLM cell to the takes behind it: the BLM parameter's curve with a
// tick at every take that fed the cell.
void Form1::onBlmCellDoubleClicked(int row, int col)
{
    guarded("Showing the takes of the cell", [this, row, col] {
        if (!m_document || !m_document->isDatalog() || row < 1 || col < 1 || kBlmParam + 1 >= m_grid1->RowCount())
            return;
        m_tab->setCurrentIndex(0);
        m_grid1->selectGridRow(kBlmParam + 1);
        m_picture1->setTickTakes(blmCellTakes(m_document->store(), row, col));
    });
}

void Form1::onRowSelected()
{
    guarded("Drawing the curve", [this] {
        const int row = m_grid1->SelectedRow(0);
        if (row > 0) {
            DrawCurve(row - 1);
            m_grid1->setOutlinedColumn(std::nullopt);  // the curve's marker is gone too
        }
    });
}

void Form1::onCurveReleased(double x)
{
    guarded("Locating the take", [this, x] {
        const int row = m_grid1->SelectedRow(0);
        if (row <= 0 || !m_document)
            return;
        DrawCurve(row - 1);
        const CurveScale& scale = m_picture1->userScale();
        m_picture1->setDrawColor(kBlue);
        m_picture1->drawLine(x, scale.top(), x, scale.bottom());
        m_picture1->setDrawColor(kBlack);
        const int take = clickedTake(x);
        std::string scratch;
        m_lblValue->setText(shownQString(clickedValueText(m_document->log(), row - 1, take, scratch)));
        const int column = clickedGridColumn(take, m_grid1->ColCount());
        m_grid1->ScrollToCell(row, column);
        // The marked take stands framed in the middle of the grid.
        const bool isTake = take >= 0 && take <= m_document->log().lastTake() && column == take + 1;
        m_grid1->setOutlinedColumn(isTake ? std::optional<int>(column) : std::nullopt);
        if (column > 0)
            m_grid1->centerColumn(column);
    });
}

}  // namespace dlv
