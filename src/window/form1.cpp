#include "window/form1.h"

#include "charts/chart_data.h"
#include "datalog/take_store.h"
#include "views/blm_table.h"
#include "views/bookmarks.h"
#include "views/general_grid.h"
#include "views/blm_tint.h"
#include "views/run_time.h"
#include "window/charts_tab.h"
#include "window/curve_surface.h"
#include "window/find_bar.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QTabWidget>

#include <algorithm>
#include <exception>
#include <new>

namespace dlv {

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr GridColor kBlack = 0;
constexpr GridColor kBlue = 0xFF0000;

// Design positions are in twips; Qt scales pixels on high-dpi screens itself.
QRect twips(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

QString programName()
{
    return QStringLiteral("Datalog Viewer %1.%2").arg(DLV_VERSION_MAJOR).arg(DLV_VERSION_MINOR);
}

QFont labelFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(12);
    font.setBold(true);
    return font;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(labelFont());
    label->setGeometry(geometry);
    return label;
}

// Rows of the general data grid, served from the take store without copying.
class GeneralRows final : public CellRowSource {
public:
    explicit GeneralRows(std::shared_ptr<const TakeStore> store) : m_layout(std::move(store)) {}
    [[nodiscard]] int rowCount() const override { return m_layout.parameterRows(); }
    [[nodiscard]] std::string_view cell(int row, int col) const override { return m_layout.cell(row, col); }
    [[nodiscard]] std::uint32_t maxCellBytes(int col) const override { return m_layout.maxCellBytes(col); }
private:
    GeneralGridLayout m_layout;
};

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(programName());
    buildControls();
    buildMenus();
    // Key presses are seen here before the focused control gets them.
    qApp->installEventFilter(this);
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
}

void Form1::buildControls()
{
    auto* client = new QWidget(this);
    client->setFixedSize(723, 669);
    setCentralWidget(client);

    m_fileDialog = new QFileDialog(this);
    m_fileDialog->setObjectName(QStringLiteral("FileDialog1"));
    m_fileDialog->setFileMode(QFileDialog::ExistingFile);
    m_fileDialog->setAcceptMode(QFileDialog::AcceptOpen);

    m_tab = new QTabWidget(client);
    m_tab->setObjectName(QStringLiteral("Tab1"));
    m_tab->setGeometry(twips(75, 195, 10650, 9735));
    m_pageGeneral = new QWidget;
    m_pageBlm = new QWidget;
    m_tab->addTab(m_pageGeneral, QStringLiteral("General"));
    m_tab->addTab(m_pageBlm, QStringLiteral("BLM"));
    m_tab->addTab(new QWidget, QStringLiteral("Other"));
    m_charts = new ChartsTab;
    m_charts->setObjectName(QStringLiteral("Charts"));
    m_tab->addTab(m_charts, QStringLiteral("Charts"));
    connect(m_charts, &ChartsTab::takeChosen, this, &Form1::onChartTake);

    m_label2 = makeLabel(m_pageGeneral, "Label2", QStringLiteral("Runtime:"), twips(120, 480, 1095, 375));
    m_lblRunTime = makeLabel(m_pageGeneral, "lblRunTime", QString(), twips(1200, 480, 4815, 375));

    m_grid1 = new CellGrid(m_pageGeneral);
    m_grid1->setObjectName(QStringLiteral("Grid1"));
    m_grid1->setGeometry(twips(150, 840, 10305, 4575));
    connect(m_grid1, &CellGrid::rowSelected, this, &Form1::onRowSelected);

    m_frame1 = new QGroupBox(m_pageGeneral);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(twips(120, 5400, 10335, 4095));

    m_picture1 = new CurveSurface(m_frame1);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setGeometry(twips(120, 600, 8055, 3015));
    connect(m_picture1, &CurveSurface::mouseReleased, this,
            [this](Qt::MouseButton, Qt::KeyboardModifiers, double x, double) { onCurveReleased(x); });
    // Arrow keys and F3 step the marker as a click at that take would.
    connect(m_picture1, &CurveSurface::takeStepRequested, this, [this](int take) { onCurveReleased(take); });
    m_picture1->setValueTextProvider([this](int take) -> QString {
        const int row = m_grid1->SelectedRow(0);
        if (row <= 0 || !m_store)
            return {};
        return fromUtf8(displayText(clickedValueText(*m_store, row - 1, take)));
    });

    m_lblParameterName = makeLabel(m_frame1, "lblParameterName", QStringLiteral("Parameter summary"),
                                   twips(120, 240, 6375, 375));
    m_lblValue = makeLabel(m_frame1, "lblValue", QString(), twips(6600, 240, 1575, 375));
    m_lblValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette blue = m_lblValue->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    m_lblValue->setPalette(blue);
    makeLabel(m_frame1, "Label1", QStringLiteral("Max:"), twips(8160, 600, 615, 375));
    m_lblMax = makeLabel(m_frame1, "lblMax", QString(), twips(8760, 600, 1335, 375));
    makeLabel(m_frame1, "Label3", QStringLiteral("Avg:"), twips(8160, 1920, 615, 375));
    m_lblAvg = makeLabel(m_frame1, "lblAvg", QString(), twips(8760, 1920, 1335, 375));
    makeLabel(m_frame1, "lblMinInfo", QStringLiteral("Min:"), twips(8160, 3360, 495, 375));
    m_lblMin = makeLabel(m_frame1, "lblMin", QString(), twips(8760, 3360, 1455, 375));
    auto* hint = new QLabel(QStringLiteral("(Click on curve to locate the actual take in the data grid)"), m_frame1);
    hint->setObjectName(QStringLiteral("Label4"));
    hint->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    hint->setGeometry(twips(120, 3720, 7935, 255));

    m_grid2 = new CellGrid(m_pageBlm);
    m_grid2->setObjectName(QStringLiteral("Grid2"));
    m_grid2->setGeometry(twips(120, 480, 10425, 9375));
    m_grid2->setColCount(kBlmGridColumns);
    m_grid2->setRowCount(1);
    m_grid2->setCellText(CellRange::cell(0, 0), QString::fromLatin1(kBlmCornerText));
    connect(m_grid2, &CellGrid::cellDoubleClicked, this, &Form1::onBlmCellDoubleClicked);

    m_findBar = new FindBar(m_grid1, m_pageGeneral);
    m_findBar->setObjectName(QStringLiteral("FindBar"));
    m_findBar->setGeometry(twips(6150, 450, 4305, 390));
    setAcceptDrops(true);

    // Pages get their place inside the tab control when it lays itself out.
    m_tab->installEventFilter(this);
    m_pageGeneral->installEventFilter(this);
    m_pageBlm->installEventFilter(this);
    if (QWidget* stack = m_pageGeneral->parentWidget())
        stack->installEventFilter(this);
    placeTabPages();
}

void Form1::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    m_mnuOpen = file->addAction(QStringLiteral("&Open"));
    m_mnuOpen->setObjectName(QStringLiteral("mnuOpen"));
    m_mnuExportChart = file->addAction(QStringLiteral("Export Chart\u2026"));
    m_mnuExportChart->setObjectName(QStringLiteral("mnuExportChart"));
    connect(m_mnuExportChart, &QAction::triggered, this, [this] { exportChartCommand(); });
    m_mnuQuit = file->addAction(QStringLiteral("&Quit"));
    m_mnuQuit->setObjectName(QStringLiteral("mnuQuit"));
    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    m_mnuBookMark = tools->addAction(QStringLiteral("&Bookmark (F12)"));
    m_mnuBookMark->setObjectName(QStringLiteral("mnuBookMark"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    m_mnuAbout = help->addAction(QStringLiteral("&About"));
    m_mnuAbout->setObjectName(QStringLiteral("mnuAbout"));

    connect(m_mnuOpen, &QAction::triggered, this, [this] { openCommand(); });

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
    connect(m_mnuQuit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);
    connect(m_mnuQuit, &QAction::triggered, this, [this] { close(); });
    connect(m_mnuBookMark, &QAction::triggered, this, [this] { guarded("Bookmark", [this] { BookMark(); }); });
    connect(m_mnuAbout, &QAction::triggered, this, [this] { showAbout(); });
}

// The design places the tabs' controls relative to the tab control itself;
// Qt's pages start below the tab bar, so the controls move up by the page's
// offset.
void Form1::placeTabPages()
{
    for (QWidget* page : {m_pageGeneral, m_pageBlm}) {
        const QPoint offset = page->mapTo(m_tab, QPoint(0, 0));
        const QPoint previous = page->property("dlvOffset").toPoint();
        if (offset == previous)
            continue;
        for (QObject* child : page->children())
            if (auto* widget = qobject_cast<QWidget*>(child))
                widget->move(widget->pos() + previous - offset);
        page->setProperty("dlvOffset", offset);
    }
}

void Form1::setMessageHandler(MessageHandler handler)
{
    m_messageHandler = std::move(handler);
}

void Form1::setFileNameChooser(FileNameChooser chooser)
{
    m_fileNameChooser = std::move(chooser);
}

std::string Form1::decimalSeparator() const
{
    return QLocale().decimalPoint().toStdString();
}

void Form1::reportError(const QString& text)
{
    if (m_messageHandler)
        m_messageHandler(MessageKind::Error, programName(), text);
    else
        QMessageBox::warning(this, programName(), text);
}

void Form1::guarded(const char* what, const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::bad_alloc&) {
        reportError(QStringLiteral("%1 failed: not enough memory.").arg(QString::fromLatin1(what)));
    } catch (const std::exception& e) {
        reportError(QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(what), QString::fromUtf8(e.what())));
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
                                        "F5: read the current log again; drop a log on the window to open it\n"
                                        "Ctrl+F: find a parameter by name; Ctrl+C: copy the selected cells\n"
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
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show) &&
        (watched == m_tab || watched == m_pageGeneral || watched == m_pageBlm ||
         watched == m_pageGeneral->parentWidget()))
        placeTabPages();
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

// ---------------------------------------------------------------- commands

void Form1::openCommand()
{
    runOpen([this] { return ReadDataFile(); });
}

void Form1::openFile(const QString& path)
{
    runOpen([this, path] { return readLog(path); });
}

void Form1::reloadCommand()
{
    if (!m_currentPath.isEmpty())
        openFile(m_currentPath);
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data && data->hasUrls() && !data->urls().isEmpty() && data->urls().constFirst().isLocalFile())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasUrls() || data->urls().isEmpty() || !data->urls().constFirst().isLocalFile())
        return;
    event->acceptProposedAction();
    openFile(data->urls().constFirst().toLocalFile());
}

void Form1::runOpen(const std::function<bool()>& read)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::processEvents();
    guarded("Open", [&] {
        if (read()) {
            DrawGeneral();
            DrawBLM();
            ShowRuntime();
            m_charts->setSource(std::make_shared<LogChannelSource>(std::make_shared<ColumnCache>(m_store)));
        }
    });
    QApplication::restoreOverrideCursor();
}

// Like a click on the General curve: Grid1 scrolls to the take, in the
// selected row (the first parameter's when none is selected).
void Form1::onChartTake(int take)
{
    if (m_grid1->RowCount() < 2)
        return;
    const int row = std::max(1, m_grid1->SelectedRow(0));
    m_grid1->ScrollToCell(row, clickedGridColumn(take, m_grid1->ColCount()));
}

void Form1::exportChartCommand()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Chart"), QString(),
                                                      QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg)"));
    if (!path.isEmpty())
        exportChart(path);
}

void Form1::exportChart(const QString& path)
{
    guarded("Export Chart", [&] {
        if (const QString error = m_charts->exportTo(path); !error.isEmpty())
            reportError(error);
    });
}

bool Form1::ReadDataFile()
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
    QApplication::processEvents();
    if (name.trimmed().isEmpty())
        return false;
    m_lastFileName = name;
    return readLog(name);
}

bool Form1::readLog(const QString& path)
{
    ReadResult result = readDataLog(std::filesystem::path(path.toStdString()));
    if (!result.ok()) {
        reportError(QString::fromStdString(result.error));
        return false;
    }
    m_store = std::move(result.store);
    m_curve = {};  // a new store may sit where a freed one was: never reuse its curve
    m_currentPath = path;
    return true;
}

void Form1::DrawGeneral()
{
    m_grid1->setColCount(1);
    m_grid1->setRowCount(1);
    auto rows = std::make_shared<GeneralRows>(m_store);
    m_grid1->setColCount(m_store->takeCount() + 1);
    m_grid1->appendSourceRows(rows);
    m_grid1->AutoSizeColumns(0, m_grid1->ColCount() - 1);
}

void Form1::DrawBLM()
{
    const BlmTable table = computeBlmTable(*m_store);
    const BlmGridTexts texts = blmTableTexts(table);
    m_grid2->clearTints();
    m_grid2->setRowCount(1);
    for (int r = 1; r < kBlmGridRows; ++r)
        m_grid2->AppendRow(texts[static_cast<std::size_t>(r)][0]);
    for (int c = 1; c < kBlmGridColumns; ++c)
        m_grid2->setCellText(CellRange::cell(0, c), QString::fromStdString(texts[0][static_cast<std::size_t>(c)]));
    for (int r = 1; r < kBlmGridRows; ++r)
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
    std::optional<std::string> last;
    if (columns >= 2)
        last = m_grid1->CellText(CellRange::cell(1, columns - 1)).toStdString();
    m_lblRunTime->setText(QString::fromStdString(runTimeCaption(last, columns, decimalSeparator())));
}

void Form1::DrawCurve(int aData)
{
    m_lblParameterName->setText(m_grid1->CellText(CellRange::cell(aData + 1, 0)));
    if (!m_store)
        return;
    if (m_curve.store != m_store.get() || m_curve.param != aData) {
        auto series = std::make_shared<const ParamSeries>(extractParamSeries(*m_store, aData));
        m_curve = {m_store.get(), aData, series, summarizeSeries(*series)};
    }
    const CurveLabels labels = curveLabels(m_curve.summary, decimalSeparator());
    m_lblAvg->setText(QString::fromStdString(labels.avg));
    m_lblMin->setText(QString::fromStdString(labels.min));
    m_lblMax->setText(QString::fromStdString(labels.max));

    const CurveLayout layout = CurveLayout::of(m_store->lastTake(), m_curve.summary);
    m_picture1->clear();
    m_picture1->setUserScale(layout.scale());
    if (!m_curve.summary.hasNumbers()) {
        m_picture1->showWholeLog();
        return;
    }
    m_picture1->setDrawColor(kBlack);
    m_picture1->setCurve(m_curve.series, layout);
}

void Form1::BookMark()
{
    const int row = m_grid1->SelectedRow(0);
    if (row <= 0)
        return;
    auto wholeRow = [this, row] { return CellRange{row, 0, row, m_grid1->ColCount() - 1}; };
    if (!isBookmarked(m_grid1->CellBackColor(wholeRow()))) {
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
        if (!m_store || row < 1 || col < 1 || kBlmParam + 1 >= m_grid1->RowCount())
            return;
        m_tab->setCurrentIndex(0);
        m_grid1->selectGridRow(kBlmParam + 1);
        m_picture1->setTickTakes(blmCellTakes(*m_store, row, col));
    });
}

void Form1::onRowSelected()
{
    guarded("Drawing the curve", [this] {
        const int row = m_grid1->SelectedRow(0);
        if (row > 0)
            DrawCurve(row - 1);
    });
}

void Form1::onCurveReleased(double x)
{
    guarded("Locating the take", [this, x] {
        const int row = m_grid1->SelectedRow(0);
        if (row <= 0 || !m_store)
            return;
        DrawCurve(row - 1);
        const CurveScale& scale = m_picture1->userScale();
        m_picture1->setDrawColor(kBlue);
        m_picture1->drawLine(x, scale.top(), x, scale.bottom());
        m_picture1->setDrawColor(kBlack);
        const int take = clickedTake(x);
        m_lblValue->setText(fromUtf8(displayText(clickedValueText(*m_store, row - 1, take))));
        m_grid1->ScrollToCell(row, clickedGridColumn(take, m_grid1->ColCount()));
    });
}

}  // namespace dlv
