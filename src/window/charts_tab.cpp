#include "window/charts_tab.h"

#include "charts/automatic_alignment.h"
#include "charts/chart_workspace.h"
#include "datalog/display_text.h"
#include "render/file_writing.h"
#include "window/curve_surface.h"
#include "render/chart_renderer.h"
#include "window/quiet_teardown.h"
#include "window/stale_fade.h"

#include "workbench/log_session.h"
#include "workbench/table_session.h"

#include <QColorDialog>
#include <QComboBox>
#include <QCompleter>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QStringListModel>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <exception>

namespace dlv {

namespace {

constexpr int kDragPixels = 4;  // a press that moves less is a click
constexpr double kWheelStep = 1.25;

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QIcon swatch(ChartRgb rgb)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(chartQColor(rgb));
    return QIcon(pixmap);
}

}  // namespace

// ---- ChartView ----

ChartView::ChartView(QWidget* parent) : QWidget(parent), m_renderer(std::make_unique<ChartRenderer>())
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
    m_renderer->setDecimalSeparator(QLocale().decimalPoint().toStdString());
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.9));
    m_renderer->setFont(small);
}

ChartView::~ChartView() = default;

void ChartView::setCursorTake(std::optional<int> take)
{
    m_renderer->setCursor(take);
    update();
}

std::optional<int> ChartView::cursorTake() const
{
    return m_renderer->cursor();
}

void ChartView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    try {
        m_renderer->paint(painter, size());
    } catch (const std::exception&) {
        // Out of memory for an envelope: leave the area blank rather than end.
        painter.fillRect(rect(), Qt::white);
    }
}

bool ChartView::overStackedPlot(QPoint point) const
{
    const int pane = m_renderer->paneAt(point, size());
    return pane >= 0 && m_renderer->page().panes[static_cast<std::size_t>(pane)].kind == ChartPaneKind::Stacked;
}

void ChartView::wheelEvent(QWheelEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_renderer->page().takeCount < 2 || !overStackedPlot(pos) || event->angleDelta().y() == 0) {
        event->ignore();
        return;
    }
    const auto panes = m_renderer->geometry(size());
    const QRect plot = panes.front().plot;
    const double fraction = std::clamp((pos.x() - plot.left()) / static_cast<double>(plot.width()), 0.0, 1.0);
    const double anchor = m_renderer->takeAtPixel(pos.x(), size());
    CurveZoom zoom = m_renderer->zoom();
    zoom.zoomAt(anchor, fraction, std::pow(kWheelStep, event->angleDelta().y() / 120.0));
    m_renderer->setZoom(zoom);
    event->accept();
    update();
    emit viewChanged();
}

void ChartView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressed = true;
    m_panning = false;
    m_pressPos = event->position().toPoint();
    m_pressLeft = m_renderer->zoom().left();
    m_shifting = (event->modifiers() & Qt::ShiftModifier) && m_renderer->overlay() && overStackedPlot(m_pressPos);
    m_pressOffset = m_renderer->overlay() ? m_renderer->overlay()->time.offset() : 0.0;
    event->accept();
}

void ChartView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_pressed && m_shifting && (event->buttons() & Qt::LeftButton)) {
        // The overlaid log follows the pointer; the first log stays.
        const auto panes = m_renderer->geometry(size());
        const int pane = m_renderer->paneAt(m_pressPos, size());
        if (pane >= 0) {
            const OverlayTime& time = m_renderer->overlay()->time;
            const double change = time.dragChange(m_renderer->zoom().left(), m_renderer->zoom().right(),
                                                  panes[static_cast<std::size_t>(pane)].plot.width(), m_pressPos.x(),
                                                  pos.x());
            m_renderer->setOverlayOffset(m_pressOffset + change);
            update();
            emit overlayOffsetDragged(m_renderer->overlay()->time.offset());
        }
        return;
    }
    if (m_pressed && (event->buttons() & Qt::LeftButton)) {
        if (!m_panning && (pos - m_pressPos).manhattanLength() >= kDragPixels && overStackedPlot(m_pressPos))
            m_panning = true;
        if (m_panning) {
            // The take under the pointer at the press stays under it.
            const double perPixel = m_renderer->takeAtPixel(1.0, size()) - m_renderer->takeAtPixel(0.0, size());
            CurveZoom zoom = m_renderer->zoom();
            zoom.setVisible(m_pressLeft - (pos.x() - m_pressPos.x()) * perPixel, zoom.width());
            m_renderer->setZoom(zoom);
            update();
            emit viewChanged();
        }
        return;
    }
    const int pane = m_renderer->paneAt(pos, size());
    QString text;
    if (pane >= 0 && m_renderer->page().panes[static_cast<std::size_t>(pane)].kind == ChartPaneKind::Scatter)
        text = m_renderer->scatterPointText(pane, m_renderer->scatterTakeAt(pane, pos, size()));
    if (text != m_hoverText) {
        m_hoverText = text;
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
}

void ChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        event->ignore();
        return;
    }
    m_pressed = false;
    if (m_shifting) {
        m_shifting = false;
        return;
    }
    if (m_panning) {
        m_panning = false;
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int pane = m_renderer->paneAt(pos, size());
    if (pane < 0 || m_renderer->lastTake() < 0)
        return;
    if (m_renderer->page().panes[static_cast<std::size_t>(pane)].kind == ChartPaneKind::Scatter) {
        if (const int take = m_renderer->scatterTakeAt(pane, pos, size()); take >= 0)
            chooseTake(take);
        return;
    }
    chooseTake(std::clamp(clickedTake(m_renderer->takeAtPixel(pos.x(), size())), 0, m_renderer->lastTake()));
}

void ChartView::chooseTake(int take)
{
    m_renderer->setCursor(take);
    // Keep the cursor in view: a step past an edge moves the view by a tenth.
    CurveZoom zoom = m_renderer->zoom();
    if (take < zoom.left())
        zoom.setVisible(take - zoom.width() * 0.1, zoom.width());
    else if (take > zoom.right())
        zoom.setVisible(take - zoom.width() * 0.9, zoom.width());
    m_renderer->setZoom(zoom);
    update();
    emit takeChosen(take);
}

void ChartView::stepCursor(int delta)
{
    const int last = m_renderer->lastTake();
    if (last < 0)
        return;
    const std::optional<int> cursor = m_renderer->cursor();
    const int from = cursor ? *cursor : static_cast<int>(std::ceil(m_renderer->zoom().left())) - (delta > 0 ? 1 : -1);
    chooseTake(std::clamp(from + delta, 0, last));
}

void ChartView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Home: {
        CurveZoom zoom = m_renderer->zoom();
        zoom.reset();
        m_renderer->setZoom(zoom);
        update();
        emit viewChanged();
        break;
    }
    case Qt::Key_Left:
        stepCursor(-1);
        break;
    case Qt::Key_Right:
        stepCursor(1);
        break;
    case Qt::Key_M:
        if (const std::optional<int> take = m_renderer->cursor())
            emit markerRequested(*take);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ChartView::contextMenuEvent(QContextMenuEvent* event)
{
    try {
        if (!overStackedPlot(event->pos()) || m_renderer->lastTake() < 0)
            return;
        const int take = static_cast<int>(std::lround(m_renderer->takeAtPixel(event->pos().x(), size())));
        if (take < 0 || take > m_renderer->lastTake())
            return;
        if (askAddMarker(this, event->globalPos(), take))
            emit markerRequested(take);
    } catch (...) {
    }
}

void ChartView::leaveEvent(QEvent* event)
{
    m_hoverText.clear();
    QWidget::leaveEvent(event);
}

// ---- ChartsTab ----

ChartsTab::ChartsTab(std::shared_ptr<workbench::Workspace> workspace, QWidget* parent)
    : QWidget(parent), m_workspace(workspace ? std::move(workspace) : std::make_shared<workbench::Workspace>())
{
    m_chooseColour = [this](const QColor& initial) -> std::optional<QColor> {
        const QColor chosen = QColorDialog::getColor(initial, this, QStringLiteral("Channel colour"));
        return chosen.isValid() ? std::optional<QColor>(chosen) : std::nullopt;
    };

    auto* editor = new QWidget;
    auto* column = new QVBoxLayout(editor);
    column->setContentsMargins(0, 0, 0, 0);
    m_outline = new QTreeWidget;
    m_outline->setObjectName(QStringLiteral("chartOutline"));
    m_outline->setHeaderHidden(true);
    m_outline->setColumnCount(1);
    m_picker = new QLineEdit;
    m_picker->setObjectName(QStringLiteral("chartChannelPicker"));
    m_picker->setPlaceholderText(QStringLiteral("Channel"));
    m_names = new QStringListModel(this);
    m_completer = new QCompleter(m_names, this);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setFilterMode(Qt::MatchContains);
    m_picker->setCompleter(m_completer);

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    m_addChannel = button("chartAddChannel", QStringLiteral("Add"));
    m_addPane = button("chartAddPane", QStringLiteral("Add pane"));
    m_addScatter = button("chartAddScatter", QStringLiteral("Add scatter"));
    m_remove = button("chartRemove", QStringLiteral("Remove"));
    m_moveUp = button("chartMoveUp", QStringLiteral("Up"));
    m_moveDown = button("chartMoveDown", QStringLiteral("Down"));
    m_colour = button("chartColour", QStringLiteral("Colour\u2026"));
    m_filter = new QLineEdit;
    m_filter->setObjectName(QStringLiteral("chartFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter, e.g. ECT > 80"));
    m_filter->setToolTip(QStringLiteral("Takes where this is 0 or no number are shaded and left out of the scatters"));
    m_filterCount = new QLabel;
    m_filterCount->setObjectName(QStringLiteral("chartFilterCount"));
    m_filterCount->setWordWrap(true);
    m_typingPause = new QTimer(this);
    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(kTypingPauseMs);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("chartStatus"));
    m_status->setWordWrap(true);

    auto* pickRow = new QHBoxLayout;
    pickRow->addWidget(m_picker, 1);
    pickRow->addWidget(m_addChannel);
    auto* paneRow = new QHBoxLayout;
    paneRow->addWidget(m_addPane);
    paneRow->addWidget(m_addScatter);
    auto* editRow = new QHBoxLayout;
    editRow->addWidget(m_moveUp);
    editRow->addWidget(m_moveDown);
    editRow->addWidget(m_remove);
    column->addLayout(pickRow);
    column->addWidget(m_outline, 1);
    column->addLayout(paneRow);
    column->addLayout(editRow);
    column->addWidget(m_colour);
    column->addWidget(m_filter);
    column->addWidget(m_filterCount);
    // A second open log over the page, its offset and its alignment.
    m_overlayChoice = new QComboBox;
    m_overlayChoice->setObjectName(QStringLiteral("chartOverlay"));
    m_overlayChoice->setToolTip(QStringLiteral("Another open log drawn over these panes, in lighter colours"));
    m_offsetBox = new QDoubleSpinBox;
    m_offsetBox->setObjectName(QStringLiteral("chartOffset"));
    m_offsetBox->setRange(-1e9, 1e9);
    m_offsetBox->setDecimals(3);
    m_offsetBox->setKeyboardTracking(false);
    m_offsetBox->setToolTip(QStringLiteral("The overlaid log's time + this = the time on show; Shift+drag a pane "
                                           "to move it"));
    m_align = button("chartAlign", QStringLiteral("Align"));
    m_align->setToolTip(QStringLiteral("Find the offset at which RPM (or the first channel) matches best"));
    m_alignCursor = button("chartAlignCursor", QStringLiteral("At cursor"));
    m_alignCursor->setToolTip(QStringLiteral("Put the overlaid log's cursor (where it was when that log was on show) "
                                             "on this log's cursor"));
    auto* offsetRow = new QHBoxLayout;
    offsetRow->addWidget(m_offsetBox, 1);
    offsetRow->addWidget(m_align);
    offsetRow->addWidget(m_alignCursor);
    m_overlayRow = new QWidget;
    auto* overlayLayout = new QVBoxLayout(m_overlayRow);
    overlayLayout->setContentsMargins(0, 0, 0, 0);
    overlayLayout->addWidget(new QLabel(QStringLiteral("Overlay:")));
    overlayLayout->addWidget(m_overlayChoice);
    overlayLayout->addLayout(offsetRow);
    m_overlayRow->hide();
    column->addWidget(m_overlayRow);
    column->addWidget(m_status);

    m_view = new ChartView;
    m_view->setObjectName(QStringLiteral("chartView"));
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(editor);
    splitter->addWidget(m_view);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({180, 520});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);

    connect(m_addChannel, &QPushButton::clicked, this, [this] { addChannel(m_picker->text()); });
    connect(m_picker, &QLineEdit::returnPressed, this, [this] { addChannel(m_picker->text()); });
    connect(m_addPane, &QPushButton::clicked, this, [this] { addPane(ChartPaneKind::Stacked); });
    connect(m_addScatter, &QPushButton::clicked, this, [this] { addPane(ChartPaneKind::Scatter); });
    connect(m_remove, &QPushButton::clicked, this, &ChartsTab::removeSelected);
    connect(m_moveUp, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(m_moveDown, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(m_colour, &QPushButton::clicked, this, &ChartsTab::recolourSelected);
    connect(m_view, &ChartView::takeChosen, this, &ChartsTab::takeChosen);
    connect(m_filter, &QLineEdit::textEdited, this, &ChartsTab::onFilterTyped);
    connect(m_typingPause, &QTimer::timeout, this, [this] { tryFilter(m_filter->text().trimmed().toStdString()); });
    connect(m_view, &ChartView::markerRequested, this, &ChartsTab::markerRequested);
    connect(m_overlayChoice, &QComboBox::activated, this, [this](int index) { overlay(index - 1); });
    connect(m_offsetBox, &QDoubleSpinBox::valueChanged, this, [this](double offset) { setOverlayOffset(offset); });
    connect(m_align, &QPushButton::clicked, this, [this] { alignAutomatically(); });
    connect(m_alignCursor, &QPushButton::clicked, this, [this] { alignAtCursor(); });
    connect(m_view, &ChartView::overlayOffsetDragged, this, [this](double offset) {
        m_offset = offset;
        const QSignalBlocker blocker(m_offsetBox);
        m_offsetBox->setValue(offset);
    });
    connect(m_filter, &QLineEdit::editingFinished, this, [this] {
        if (m_typingPause->isActive() || m_filterStale)
            tryFilter(m_filter->text().trimmed().toStdString());
        // Told once an edit is done, not at every key.
        if (m_page.filter != m_reportedFilter) {
            m_reportedFilter = m_page.filter;
            emit pageEdited();
        }
    });
    rebuild(false);
}

ChartsTab::~ChartsTab()
{
    stopHearingChildren(this);
}

void ChartsTab::setColumns(std::shared_ptr<ColumnCache> columns, bool keepView)
{
    setSession(columns ? std::make_shared<workbench::LogSession>(std::move(columns)) : nullptr, keepView);
}

void ChartsTab::setSession(std::shared_ptr<workbench::LogSession> session, bool keepView)
{
    std::shared_ptr<ColumnCache> columns = session ? session->sharedColumns() : nullptr;
    // The cursor of the log leaving the page stays with it, for Align at cursor.
    std::erase_if(m_cursorsOfLogs, [this](const auto& entry) {
        const std::shared_ptr<ColumnCache> log = entry.first.lock();
        return !log || log == m_columns;
    });
    if (m_columns && m_columns != columns)
        if (const std::optional<int> cursor = m_view->renderer().cursor())
            m_cursorsOfLogs.emplace_back(m_columns, *cursor);
    m_columns = std::move(columns);
    m_session = std::move(session);
    if (!m_pageSet)
        m_page = {};
    evaluateChannels(keepView);
}

void ChartsTab::setWorkspace(workbench::Workspace workspace)
{
    *m_workspace = std::move(workspace);
    showWorkspace();
}

void ChartsTab::showWorkspace()
{
    ChartPageResult charts = workspaceChartPage(*m_workspace);
    m_pageSet = charts.ok();
    m_page = charts.ok() ? std::move(*charts.page) : ChartPage{};
    m_reportedFilter = m_page.filter;
    setFilterStale(false);
    evaluateChannels();
    if (!charts.error.empty())
        showStatus(QStringLiteral("The workspace's charts cannot be read (%1); the default page is on show.")
                       .arg(fromUtf8(charts.error)));
}

void ChartsTab::setChannels(std::vector<workbench::Channel> channels)
{
    m_workspace->channels = std::move(channels);
    channelsEdited();
}

void ChartsTab::channelsEdited()
{
    if (m_workspace->channels != m_channelsShown)
        evaluateChannels(true);
}

void ChartsTab::keepPage()
{
    m_pageSet = true;  // an edited page stays, as one from a workspace would
    m_workspace->charts = chartPageJson(m_page);
}

WorkspaceChannels ChartsTab::channelsOver(const std::shared_ptr<workbench::LogSession>& session,
                                          const std::shared_ptr<ColumnCache>& columns, std::string_view filter) const
{
    return session ? workspaceChannels(*session, *m_workspace, filter)
                   : workspaceChannels(columns, *m_workspace, filter);
}

void ChartsTab::onFilterTyped()
{
    m_typingPause->stop();
    const std::string filter = m_filter->text().trimmed().toStdString();
    if (m_filter->hasFocus() && looksMidTyping(TableField::Filter, filter)) {
        setFilterStale(filter != m_page.filter);
        m_typingPause->start();
        return;
    }
    tryFilter(filter);
}

bool ChartsTab::tryFilter(const std::string& filter)
{
    m_typingPause->stop();
    if (!m_columns) {
        m_page.filter = filter;
        keepPage();
        setFilterStale(false);
        rebuild(true);
        return true;
    }
    WorkspaceChannels channels;
    try {
        channels = channelsOver(m_session, m_columns, filter);
    } catch (const std::exception& error) {
        showStatus(QStringLiteral("The filter could not be computed: %1").arg(QString::fromLocal8Bit(error.what())));
        setFilterStale(true);
        return false;
    }
    if (!channels.filterError.empty()) {
        // The charts keep the last filter that read.
        showStatus(fromUtf8(channels.filterError));
        setFilterStale(true);
        return false;
    }
    m_page.filter = filter;
    keepPage();
    m_channelErrors.clear();
    for (const std::string& error : channels.errors)
        m_channelErrors << fromUtf8(error);
    m_overlaySource = nullptr;  // the overlaid log's channels take the new filter too
    setFilterStale(false);
    showSource(std::move(channels.source), true);
    return true;
}

void ChartsTab::setFilterStale(bool stale)
{
    if (stale != m_filterStale) {
        m_filterStale = stale;
        showAsStale(m_view, stale);
    }
    showFilterCount();
}

void ChartsTab::showFilterCount()
{
    const std::shared_ptr<const KeepMask> keep = m_source ? m_source->keepMask() : nullptr;
    QString text;
    if (keep && !m_page.filter.empty()) {
        const auto kept = static_cast<qlonglong>(std::count(keep->begin(), keep->end(), std::uint8_t{1}));
        text = QStringLiteral("Filter keeps %1 of %2 takes")
                   .arg(QString::fromStdString(groupedCount(static_cast<std::uint64_t>(kept))),
                        QString::fromStdString(groupedCount(keep->size())));
    } else if (m_source && !m_page.filter.empty()) {
        text = QStringLiteral("Filter keeps every take");
    }
    if (m_filterStale)
        text = m_page.filter.empty() ? QStringLiteral("Stale: the charts show every take until the filter reads.")
                                     : QStringLiteral("Stale: the charts keep the filter \u201c%1\u201d until the "
                                                      "new one reads. %2")
                                           .arg(fromUtf8(m_page.filter), text);
    m_filterCount->setText(text);
}

void ChartsTab::setFilter(const QString& expression)
{
    const std::string filter = expression.trimmed().toStdString();
    m_reportedFilter = filter;
    m_page.filter = filter;
    keepPage();
    evaluateChannels(true);
}

QString ChartsTab::statusText() const
{
    return m_status->text();
}

void ChartsTab::evaluateChannels(bool keepView)
{
    m_channelErrors.clear();
    m_channelsShown = m_workspace->channels;
    m_overlaySource = nullptr;  // the overlaid log's channels follow the same workspace
    std::shared_ptr<ChartChannelSource> source;
    if (m_columns) {
        try {
            WorkspaceChannels channels = channelsOver(m_session, m_columns, m_page.filter);
            for (const std::string& error : channels.errors)
                m_channelErrors << fromUtf8(error);
            source = std::move(channels.source);
        } catch (const std::exception& error) {
            m_channelErrors << QStringLiteral("The channels could not be computed: %1")
                                   .arg(QString::fromLocal8Bit(error.what()));
            source = std::make_shared<LogChannelSource>(m_columns);
        }
    }
    showSource(std::move(source), keepView);
}

void ChartsTab::setSource(std::shared_ptr<ChartChannelSource> source)
{
    m_channelErrors.clear();
    showSource(std::move(source));
}

void ChartsTab::showSource(std::shared_ptr<ChartChannelSource> source, bool keepView)
{
    m_source = std::move(source);
    QStringList names;
    if (m_source)
        for (const std::string& name : m_source->channelNames())
            names << fromUtf8(name);
    m_names->setStringList(names);
    if (!m_pageSet)
        m_page = {};
    rebuild(keepView);
}

void ChartsTab::setPage(ChartPage page)
{
    m_page = std::move(page);
    keepPage();
    m_reportedFilter = m_page.filter;
    setFilterStale(false);
    rebuild(false);
}

void ChartsTab::useDefaultPage()
{
    m_pageSet = false;
    m_page = {};
    m_reportedFilter.clear();
    setFilterStale(false);
    rebuild(false);
}

void ChartsTab::rebuild(bool keepView)
{
    if (m_page.panes.empty() && m_source) {
        // The log's default page, under a filter that was set before it.
        std::string filter = std::move(m_page.filter);
        m_page = defaultChartPage(m_source->channelNames(),
                                  m_columns && m_columns->log() && m_columns->log()->format() != LogFormat::Datalog);
        m_page.filter = std::move(filter);
    }
    ChartRenderer& renderer = m_view->renderer();
    const CurveZoom zoom = renderer.zoom();
    const std::optional<int> cursor = renderer.cursor();
    const int takes = renderer.page().takeCount;
    try {
        ResolvedPage resolved;
        if (m_source)
            resolved = resolveChartPage(m_page, *m_source);
        showStatus(!m_channelErrors.isEmpty()  ? m_channelErrors.front()
                   : resolved.missing.empty() ? QString()
                                              : fromUtf8(resolved.missing.front()));
        renderer.setPage(std::move(resolved));
        resolveOverlay();
    } catch (const std::exception& error) {
        renderer.setPage({});
        showStatus(QStringLiteral("The charts could not be drawn: %1").arg(QString::fromLocal8Bit(error.what())));
    }
    // The same takes, or more of them (a log that grew): the view goes on
    // where it was; a whole view takes in the new takes too.
    if (keepView && takes > 0 && renderer.page().takeCount >= takes) {
        if (renderer.page().takeCount == takes) {
            renderer.setZoom(zoom);
        } else if (!zoom.isWhole()) {
            CurveZoom grown = renderer.zoom();
            grown.setVisible(zoom.left(), zoom.width());
            renderer.setZoom(grown);
        }
        renderer.setCursor(cursor);
    }
    if (!m_filter->hasFocus())
        m_filter->setText(fromUtf8(m_page.filter));
    showFilterCount();
    fillOutline();
    m_view->update();
}

void ChartsTab::fillOutline()
{
    const auto [selectedPane, selectedChannel] = selection();
    const QSignalBlocker block(m_outline);
    m_outline->clear();
    for (std::size_t i = 0; i < m_page.panes.size(); ++i) {
        const ChartPane& pane = m_page.panes[i];
        const bool scatter = pane.kind == ChartPaneKind::Scatter;
        auto* item = new QTreeWidgetItem(m_outline, {QStringLiteral("Pane %1%2").arg(i + 1).arg(
                                                         scatter ? QStringLiteral(" (scatter)") : QString())});
        if (scatter) {
            const std::string* slotNames[] = {&pane.x, &pane.y, &pane.color};
            const char* roles[] = {"x", "y", "colour"};
            for (int k = 0; k < 3; ++k)
                new QTreeWidgetItem(item, {QString::fromLatin1(roles[k]) + QStringLiteral(": ") + fromUtf8(*slotNames[k])});
        } else {
            for (std::size_t k = 0; k < pane.channels.size(); ++k) {
                auto* child = new QTreeWidgetItem(item, {fromUtf8(pane.channels[k].name)});
                child->setIcon(0, swatch(channelColor(pane, static_cast<int>(k))));
            }
        }
    }
    m_outline->expandAll();
    if (selectedPane >= 0)
        select(std::min(selectedPane, static_cast<int>(m_page.panes.size()) - 1), selectedChannel);
}

void ChartsTab::select(int pane, int channel)
{
    QTreeWidgetItem* item = m_outline->topLevelItem(pane);
    if (item && channel >= 0)
        item = channel < item->childCount() ? item->child(channel) : item;
    if (item)
        m_outline->setCurrentItem(item);
}

std::pair<int, int> ChartsTab::selection() const
{
    const QTreeWidgetItem* item = m_outline->currentItem();
    if (!item)
        return {-1, -1};
    if (const QTreeWidgetItem* parent = item->parent())
        return {m_outline->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(parent)), parent->indexOfChild(const_cast<QTreeWidgetItem*>(item))};
    return {m_outline->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)), -1};
}

void ChartsTab::showStatus(const QString& text)
{
    m_status->setText(text);
}

void ChartsTab::edited(int pane, int channel)
{
    keepPage();
    rebuild(true);
    select(pane, channel);
    emit pageEdited();
}

void ChartsTab::addChannel(const QString& text)
{
    const QString name = text.trimmed();
    if (name.isEmpty())
        return;
    const std::string key = name.toStdString();
    if (!m_source || std::find(m_source->channelNames().begin(), m_source->channelNames().end(), key) ==
                         m_source->channelNames().end()) {
        showStatus(QStringLiteral("No channel \"%1\" in this log.").arg(name));
        return;
    }
    auto [pane, channel] = selection();
    if (pane < 0) {
        // Nothing selected: the last stacked pane.
        for (int i = static_cast<int>(m_page.panes.size()) - 1; i >= 0 && pane < 0; --i)
            if (m_page.panes[static_cast<std::size_t>(i)].kind == ChartPaneKind::Stacked)
                pane = i;
        if (pane < 0) {
            showStatus(QStringLiteral("Add a pane first."));
            return;
        }
        channel = -1;
    }
    ChartPane& target = m_page.panes[static_cast<std::size_t>(pane)];
    if (target.kind == ChartPaneKind::Scatter) {
        // The selected slot takes the channel; with the pane selected, y does.
        std::string* slotNames[] = {&target.x, &target.y, &target.color};
        const int slot = channel >= 0 ? channel : 1;
        *slotNames[slot] = key;
        m_picker->clear();
        edited(pane, slot);
        return;
    }
    if (static_cast<int>(target.channels.size()) >= ChartPage::kMaxChannels) {
        showStatus(QStringLiteral("A pane holds at most %1 channels.").arg(ChartPage::kMaxChannels));
        return;
    }
    const int at = channel >= 0 ? channel + 1 : static_cast<int>(target.channels.size());
    target.channels.insert(target.channels.begin() + at, ChartChannel{key, std::nullopt});
    m_picker->clear();
    edited(pane, at);
}

void ChartsTab::addPane(ChartPaneKind kind)
{
    if (static_cast<int>(m_page.panes.size()) >= ChartPage::kMaxPanes) {
        showStatus(QStringLiteral("A page holds at most %1 panes.").arg(ChartPage::kMaxPanes));
        return;
    }
    ChartPane pane;
    pane.kind = kind;
    if (kind == ChartPaneKind::Scatter) {
        // Start from the first three channels on the page; the slots are edited after.
        std::vector<std::string> names;
        for (const ChartPane& p : m_page.panes)
            for (const ChartChannel& c : p.channels)
                if (std::find(names.begin(), names.end(), c.name) == names.end())
                    names.push_back(c.name);
        if (m_source)
            for (const std::string& n : m_source->channelNames())
                if (names.size() < 3 && std::find(names.begin(), names.end(), n) == names.end())
                    names.push_back(n);
        if (names.size() < 2) {
            showStatus(QStringLiteral("A scatter needs two channels."));
            return;
        }
        pane.x = names[0];
        pane.y = names[1];
        pane.color = names.size() > 2 ? names[2] : std::string();
    }
    m_page.panes.push_back(std::move(pane));
    edited(static_cast<int>(m_page.panes.size()) - 1, -1);
}

void ChartsTab::removeSelected()
{
    const auto [pane, channel] = selection();
    if (pane < 0)
        return;
    ChartPane& target = m_page.panes[static_cast<std::size_t>(pane)];
    if (channel < 0) {
        if (m_page.panes.size() <= 1) {
            showStatus(QStringLiteral("The page keeps at least one pane."));
            return;
        }
        m_page.panes.erase(m_page.panes.begin() + pane);
        edited(std::min(pane, static_cast<int>(m_page.panes.size()) - 1), -1);
        return;
    }
    if (target.kind == ChartPaneKind::Scatter) {
        if (channel != 2) {
            showStatus(QStringLiteral("A scatter needs x and y; remove the pane instead."));
            return;
        }
        target.color.clear();
        edited(pane, channel);
        return;
    }
    target.channels.erase(target.channels.begin() + channel);
    edited(pane, target.channels.empty() ? -1 : std::min(channel, static_cast<int>(target.channels.size()) - 1));
}

void ChartsTab::moveSelected(int delta)
{
    const auto [pane, channel] = selection();
    if (pane < 0)
        return;
    if (channel < 0) {
        const int to = pane + delta;
        if (to < 0 || to >= static_cast<int>(m_page.panes.size()))
            return;
        std::swap(m_page.panes[static_cast<std::size_t>(pane)], m_page.panes[static_cast<std::size_t>(to)]);
        edited(to, -1);
        return;
    }
    ChartPane& target = m_page.panes[static_cast<std::size_t>(pane)];
    const int to = channel + delta;
    if (target.kind == ChartPaneKind::Scatter || to < 0 || to >= static_cast<int>(target.channels.size()))
        return;
    // A channel keeps the colour it shows, wherever it moves.
    for (const int k : {channel, to})
        if (!target.channels[static_cast<std::size_t>(k)].color)
            target.channels[static_cast<std::size_t>(k)].color = channelColor(target, k);
    std::swap(target.channels[static_cast<std::size_t>(channel)], target.channels[static_cast<std::size_t>(to)]);
    edited(pane, to);
}

void ChartsTab::recolourSelected()
{
    const auto [pane, channel] = selection();
    if (pane < 0 || channel < 0 || m_page.panes[static_cast<std::size_t>(pane)].kind != ChartPaneKind::Stacked) {
        showStatus(QStringLiteral("Select a channel of a stacked pane to colour it."));
        return;
    }
    ChartPane& target = m_page.panes[static_cast<std::size_t>(pane)];
    const std::optional<QColor> chosen = m_chooseColour(chartQColor(channelColor(target, channel)));
    if (!chosen)
        return;
    target.channels[static_cast<std::size_t>(channel)].color = static_cast<ChartRgb>(chosen->rgb() & 0xFFFFFF);
    edited(pane, channel);
}

QString ChartsTab::exportTo(const QString& path, const QString& logName) const
{
    try {
        return exportChart(m_view->renderer(), m_view->size(), path,
                           logName.isEmpty() ? QString() : chartFooter(logName, m_page.filter));
    } catch (const std::exception& error) {
        return cannotWriteMessage(path, QString::fromLocal8Bit(error.what()));
    }
}

}  // namespace dlv

// ---------------------------------------------------------------- overlay

namespace dlv {

void ChartsTab::setMarkers(std::vector<MarkerLine> markers)
{
    m_view->renderer().setMarkers(std::move(markers));
    m_view->update();
}

void ChartsTab::setOverlayLogs(std::vector<OverlayLog> logs)
{
    m_overlayLogs = std::move(logs);
    const auto stays = std::find_if(m_overlayLogs.begin(), m_overlayLogs.end(),
                                    [this](const OverlayLog& log) { return log.columns == m_overlaid; });
    if (stays == m_overlayLogs.end() && m_overlaid) {
        m_overlaid = nullptr;
        m_overlaidSession = nullptr;
        m_overlaySource = nullptr;
        m_view->renderer().setOverlay(std::nullopt);
        m_view->update();
    }
    const QSignalBlocker blocker(m_overlayChoice);
    m_overlayChoice->clear();
    m_overlayChoice->addItem(QStringLiteral("none"));
    for (const OverlayLog& log : m_overlayLogs)
        m_overlayChoice->addItem(log.name);
    m_overlayChoice->setCurrentIndex(
        stays == m_overlayLogs.end() ? 0 : static_cast<int>(stays - m_overlayLogs.begin()) + 1);
    m_overlayRow->setVisible(!m_overlayLogs.empty());
    m_offsetBox->setEnabled(m_overlaid != nullptr);
    m_align->setEnabled(m_overlaid != nullptr);
    m_alignCursor->setEnabled(m_overlaid != nullptr);
}

void ChartsTab::overlay(int index)
{
    const bool some = index >= 0 && static_cast<std::size_t>(index) < m_overlayLogs.size();
    m_overlaid = some ? m_overlayLogs[static_cast<std::size_t>(index)].columns : nullptr;
    m_overlaidSession = some ? m_overlayLogs[static_cast<std::size_t>(index)].session : nullptr;
    m_overlaidName = some ? m_overlayLogs[static_cast<std::size_t>(index)].name : QString();
    m_overlaySource = nullptr;
    m_offset = 0.0;
    {
        const QSignalBlocker blocker(m_overlayChoice);
        m_overlayChoice->setCurrentIndex(some ? index + 1 : 0);
    }
    {
        const QSignalBlocker blocker(m_offsetBox);
        m_offsetBox->setValue(0.0);
    }
    m_offsetBox->setEnabled(some);
    m_align->setEnabled(some);
    m_alignCursor->setEnabled(some);
    try {
        resolveOverlay();
    } catch (const std::exception& error) {
        m_view->renderer().setOverlay(std::nullopt);
        showStatus(QStringLiteral("The overlay could not be drawn: %1").arg(QString::fromLocal8Bit(error.what())));
    }
    m_view->update();
}

void ChartsTab::resolveOverlay()
{
    ChartRenderer& renderer = m_view->renderer();
    if (!m_overlaid || !m_source) {
        renderer.setOverlay(std::nullopt);
        return;
    }
    // The workspace's channels and filter on the overlaid log too.
    if (!m_overlaySource)
        m_overlaySource = channelsOver(m_overlaidSession, m_overlaid, m_page.filter).source;
    ChartOverlay overlay;
    overlay.page = resolveChartPage(m_page, *m_overlaySource);
    overlay.name = m_overlaidName;
    const ResolvedPage& shown = renderer.page();
    overlay.time = OverlayTime(LogTimeline(shown.time, shown.takeCount),
                               LogTimeline(overlay.page.time, overlay.page.takeCount), m_offset);
    m_offsetBox->setSuffix(overlay.time.inSeconds() ? QStringLiteral(" s") : QStringLiteral(" takes"));
    renderer.setOverlay(std::move(overlay));
}

void ChartsTab::setOverlayOffset(double offset)
{
    if (!std::isfinite(offset))
        return;
    m_offset = offset;
    m_view->renderer().setOverlayOffset(offset);
    {
        const QSignalBlocker blocker(m_offsetBox);
        m_offsetBox->setValue(offset);
    }
    m_view->update();
}

bool ChartsTab::alignAtCursor()
{
    const std::optional<ChartOverlay>& overlay = m_view->renderer().overlay();
    const std::optional<int> here = m_view->renderer().cursor();
    std::optional<int> there;
    for (const auto& [log, take] : m_cursorsOfLogs)
        if (log.lock() == m_overlaid)
            there = take;
    if (!overlay || !here || !there) {
        showStatus(QStringLiteral("Put the cursor on the same event in both logs: in %1 while it is on show, then "
                                  "here.")
                       .arg(m_overlaidName.isEmpty() ? QStringLiteral("the overlaid log") : m_overlaidName));
        return false;
    }
    const std::optional<double> offset = overlay->time.offsetAligning(*here, *there);
    if (!offset) {
        showStatus(QStringLiteral("The cursors have no time to align by."));
        return false;
    }
    setOverlayOffset(*offset);
    showStatus(QStringLiteral("Aligned: take %1 of %2 on take %3.").arg(*there).arg(m_overlaidName).arg(*here));
    return true;
}

double ChartsTab::overlayOffset() const
{
    const std::optional<ChartOverlay>& overlay = m_view->renderer().overlay();
    return overlay ? overlay->time.offset() : 0.0;
}

bool ChartsTab::alignAutomatically(const QString& channel)
{
    const std::optional<ChartOverlay>& overlay = m_view->renderer().overlay();
    if (!overlay || !m_source || !m_overlaySource) {
        showStatus(QStringLiteral("Choose a log to overlay first."));
        return false;
    }
    std::string name = channel.toStdString();
    if (name.empty()) {
        const std::optional<std::string> rpm =
            defaultAlignmentChannel(m_source->channelNames(), m_overlaySource->channelNames());
        if (rpm)
            name = *rpm;
        else if (!m_page.panes.empty() && !m_page.panes.front().channels.empty())
            name = m_page.panes.front().channels.front().name;
    }
    try {
        const std::vector<ColumnPtr> a = m_source->columns(std::span(&name, 1));
        const std::vector<ColumnPtr> b = m_overlaySource->columns(std::span(&name, 1));
        if (a.empty() || !a[0] || b.empty() || !b[0]) {
            showStatus(QStringLiteral("Both logs need a channel \"%1\" to align by.").arg(fromUtf8(name)));
            return false;
        }
        const AlignmentResult result = findAlignment(overlay->time, *a[0], *b[0]);
        if (!result.ok()) {
            showStatus(QStringLiteral("No alignment by %1: %2").arg(fromUtf8(name), fromUtf8(result.reason)));
            return false;
        }
        setOverlayOffset(*result.offset);
        // A low correlation is an offset all the same, but rarely the same event.
        showStatus(QStringLiteral("Aligned by %1 (r = %2%3).")
                       .arg(fromUtf8(name))
                       .arg(result.correlation, 0, 'f', 2)
                       .arg(result.correlation < 0.7 ? QStringLiteral(", a weak match: check it") : QString()));
        return true;
    } catch (const std::exception& error) {
        showStatus(QStringLiteral("No alignment: %1").arg(QString::fromLocal8Bit(error.what())));
        return false;
    }
}

}  // namespace dlv
