// Form1's side of markers: M (or the curve's context menu) puts one on a
// take with a short note; the curve shows the log's markers and the user's;
// the Markers panel lists those of every open log, a double-click goes
// there, Delete removes a user's marker.
#include "window/form1.h"

#include "render/shown_text.h"
#include "views/log_document.h"
#include "views/markers.h"
#include "window/cell_grid.h"
#include "window/charts_tab.h"
#include "window/tables_tab.h"
#include "window/curve_surface.h"

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <algorithm>
#include <tuple>

namespace dlv {

namespace {

// Columns of the Markers panel; the items keep the log and the take.
enum MarkerColumn { kMarkerLog, kMarkerTake, kMarkerTime, kMarkerNote };
constexpr int kTakeRole = Qt::UserRole;
constexpr int kLogRole = Qt::UserRole + 1;
constexpr int kFromLogRole = Qt::UserRole + 2;

// Delete on the panel removes the user's marker under the cursor.
class MarkerKeys final : public QObject {
public:
    MarkerKeys(QObject* parent, std::function<void()> remove) : QObject(parent), m_remove(std::move(remove)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            m_remove();
            return true;
        }
        return false;
    }

private:
    std::function<void()> m_remove;
};

}  // namespace

void Form1::buildMarkers()
{
    m_markersPanel = new QDockWidget(QStringLiteral("Markers"), this);
    m_markersPanel->setObjectName(QStringLiteral("MarkersPanel"));
    m_markerList = new QTreeWidget;
    m_markerList->setObjectName(QStringLiteral("MarkerList"));
    m_markerList->setRootIsDecorated(false);
    m_markerList->setHeaderLabels({QStringLiteral("Log"), QStringLiteral("Take"), QStringLiteral("Time"),
                                   QStringLiteral("Note")});
    m_markerList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_markerList->header()->setStretchLastSection(true);
    m_markerList->setMinimumWidth(260);
    m_markersPanel->setWidget(m_markerList);
    // At the design size the window grows by the panel, the tabs keeping theirs.
    connect(m_markersPanel, &QDockWidget::visibilityChanged, this, [this] {
        if (!fitsToWindow() && !isMaximized())
            QMetaObject::invokeMethod(this, [this] { resize(minimumSizeHint().expandedTo(minimumSize())); },
                                      Qt::QueuedConnection);
    });
    addDockWidget(Qt::RightDockWidgetArea, m_markersPanel);
    m_markersPanel->hide();
    auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("mnuView"));
    QAction* toggle = m_markersPanel->toggleViewAction();
    toggle->setObjectName(QStringLiteral("mnuMarkers"));
    toggle->setText(QStringLiteral("&Markers"));
    view->addAction(toggle);

    connect(m_picture1, &CurveSurface::markerRequested, this,
            [this](int take) { guarded("Adding the marker", [this, take] { addMarkerAt(take); }); });
    connect(m_charts, &ChartsTab::markerRequested, this,
            [this](int take) { guarded("Adding the marker", [this, take] { addMarkerAt(take); }); });
    // Going there lists the markers anew, so not from inside the list's own
    // signal: the item it reports is gone by then.
    connect(
        m_markerList, &QTreeWidget::itemDoubleClicked, this,
        [this](QTreeWidgetItem* item) {
            const int log = item->data(0, kLogRole).toInt();
            const int take = item->data(0, kTakeRole).toInt();
            QMetaObject::invokeMethod(
                this, [this, log, take] { guarded("Going to the marker", [&] { goToMarker(log, take); }); },
                Qt::QueuedConnection);
        });
    m_markerList->installEventFilter(new MarkerKeys(m_markerList, [this] {
        guarded("Removing the marker", [this] {
            const QTreeWidgetItem* item = m_markerList->currentItem();
            if (item && !item->data(0, kFromLogRole).toBool())
                removeMarkerAt(item->data(0, kLogRole).toInt(), item->data(0, kTakeRole).toInt());
        });
    }));
    connect(this, &Form1::documentChanged, this, [this] { guarded("Showing the markers", [this] { refreshMarkers(); }); });
}

void Form1::applyWorkspaceMarkers(LogDocument& document)
{
    const std::string name = document.path().filename().string();
    const int takes = document.log().takeCount();
    for (const workbench::WorkspaceMarker& marker : m_workspace->markers)
        if (marker.log == name)
            addMarker(document.viewState().markers, marker.take, takes, marker.note);
}

std::vector<workbench::WorkspaceMarker> Form1::workspaceMarkers() const
{
    // Markers of logs that are not open stay as they were read.
    std::vector<workbench::WorkspaceMarker> markers;
    const auto isOpen = [this](const std::string& name) {
        return std::any_of(m_logs.begin(), m_logs.end(),
                           [&](const OpenLog& log) { return log.document->path().filename().string() == name; });
    };
    for (const workbench::WorkspaceMarker& marker : m_workspace->markers)
        if (!isOpen(marker.log))
            markers.push_back(marker);
    for (const OpenLog& log : m_logs) {
        const std::string name = log.document->path().filename().string();
        for (const LogMarker& marker : log.document->viewState().markers)
            markers.push_back({name, marker.take, marker.text});
    }
    std::stable_sort(markers.begin(), markers.end(), [](const auto& a, const auto& b) {
        return std::tie(a.log, a.take) < std::tie(b.log, b.take);
    });
    return markers;
}

void Form1::setMarkerNoteChooser(MarkerNoteChooser chooser)
{
    m_markerNoteChooser = std::move(chooser);
}

bool Form1::addMarkerAt(int take)
{
    if (!m_document || take < 0 || take >= m_document->log().takeCount())
        return false;
    std::optional<QString> note;
    if (m_markerNoteChooser) {
        note = m_markerNoteChooser(take);
    } else {
        bool ok = false;
        const QString text = QInputDialog::getText(this, QStringLiteral("Add Marker"),
                                                   QStringLiteral("Note for take %1:").arg(take), QLineEdit::Normal,
                                                   QString(), &ok);
        if (ok)
            note = text;
    }
    if (!note)
        return false;  // cancelled
    addMarker(m_document->viewState().markers, take, m_document->log().takeCount(), note->toStdString());
    refreshMarkers();
    return true;
}

void Form1::removeMarkerAt(int logIndex, int take)
{
    if (logIndex < 0 || logIndex >= static_cast<int>(m_logs.size()))
        return;
    if (removeMarker(m_logs[static_cast<std::size_t>(logIndex)].document->viewState().markers, take))
        refreshMarkers();
}

void Form1::goToMarker(int logIndex, int take)
{
    if (logIndex < 0 || logIndex >= static_cast<int>(m_logs.size()))
        return;
    showLog(logIndex);
    m_tab->setCurrentIndex(0);
    if (m_grid1->SelectedRow(0) <= 0 && m_grid1->RowCount() > 1)
        m_grid1->selectGridRow(1);
    onCurveReleased(take);
    m_picture1->setMarkerTake(take);
}

void Form1::refreshMarkers()
{
    std::vector<MarkerLine> lines;
    if (m_document)
        for (const ShownMarker& marker : shownMarkers(m_document->log(), m_document->viewState().markers))
            lines.push_back({marker.take, QString::fromStdString(marker.text), marker.fromLog});
    m_charts->setMarkers(lines);
    m_picture1->setMarkers(std::move(lines));

    m_markerList->clear();
    for (std::size_t i = 0; i < m_logs.size(); ++i) {
        const LogDocument& document = *m_logs[i].document;
        const LogChannels& log = document.log();
        const std::optional<TimeChannel> time = log.timeChannel();
        std::string scratch;
        for (const ShownMarker& marker : shownMarkers(log, document.viewState().markers)) {
            auto* item = new QTreeWidgetItem(m_markerList);
            item->setText(kMarkerLog, shownQString(document.path().filename().native()));
            item->setText(kMarkerTake, QString::number(marker.take));
            if (time)
                item->setText(kMarkerTime, shownQString(log.shownValue(time->param, marker.take, scratch)
                                                            .value_or(std::string_view{})));
            item->setText(kMarkerNote, QString::fromStdString(marker.text) +
                                           (marker.fromLog ? QStringLiteral(" (in the log)") : QString()));
            item->setData(0, kLogRole, static_cast<int>(i));
            item->setData(0, kTakeRole, marker.take);
            item->setData(0, kFromLogRole, marker.fromLog);
        }
    }
}

}  // namespace dlv
