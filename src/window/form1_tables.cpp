// Form1's side of the "Tables" tab: the tab itself, its menu commands, the
// way from table cells to the takes on the General tab's curve, and the BLM
// tab's note for logs laid out otherwise.
#include "window/form1.h"

#include "views/blm_table.h"
#include "views/curve.h"
#include "render/shown_text.h"
#include "views/log_document.h"
#include "window/charts_tab.h"
#include "window/curve_surface.h"
#include "window/save_path.h"
#include "window/tables_tab.h"
#include "workbench/default_table.h"
#include "workbench/log_session.h"

#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>

#include <algorithm>
#include <span>

namespace dlv {

namespace {

// The BLM tab's note goes in the grid's empty area, below its rows.
void placeNote(const CellGrid* grid, QLabel* note)
{
    const QWidget* viewport = grid->viewport();
    const int top = std::min(grid->verticalHeader()->length() + 12, viewport->height());
    note->setGeometry(12, top, std::max(0, viewport->width() - 24), std::max(0, viewport->height() - top - 12));
}

// Keeps the note in place as the grid changes size.
class NotePlacer final : public QObject {
public:
    NotePlacer(CellGrid* grid, QLabel* note) : QObject(note), m_grid(grid), m_note(note)
    {
        grid->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)
            placeNote(m_grid, m_note);
        return false;
    }

private:
    CellGrid* m_grid;
    QLabel* m_note;
};

}  // namespace

void Form1::buildTablesTab()
{
    m_tables = new TablesTab(m_workspace);
    addWorkbenchTab(m_tables, QStringLiteral("Tables"));
    const auto logsChanged = [this] {
        m_tablesBehind = m_chartsBehind = true;
        // Tabs out of view let go of the previous log at once (it would
        // otherwise stay in memory beside the new one).
        const QWidget* shown = m_tab->currentWidget();
        if (shown != m_charts) {
            m_chartsLog.clear();
            guarded("Drawing the charts", [this] {
                m_charts->setOverlayLogs({});
                m_charts->setColumns(nullptr);
            });
        }
        if (shown != m_charts && shown != m_tables)
            guarded("Building the tables", [this] { m_tables->setDocument(nullptr); });
        syncWorkbenchTabs(false);
        updateBlmNote();
    };
    connect(this, &Form1::documentChanged, this, logsChanged);
    connect(this, &Form1::otherLogClosed, this, logsChanged);
    connect(m_tab, &QTabWidget::currentChanged, this, [this] { syncWorkbenchTabs(false); });
    connect(m_tables, &TablesTab::takesSelected, this,
            [this](const std::vector<int>& takes, long long param) { showTableTakes(takes, param, false); });
    connect(m_tables, &TablesTab::takesRequested, this,
            [this](const std::vector<int>& takes, long long param) { showTableTakes(takes, param, true); });

    m_blmNote = new QLabel(m_grid2->viewport());
    m_blmNote->setObjectName(QStringLiteral("blmNote"));
    m_blmNote->setWordWrap(true);
    m_blmNote->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_blmNote->hide();
    new NotePlacer(m_grid2, m_blmNote);

    // File: the workspace and the table; Tools: the channels.
    auto* file = menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
    auto* quit = findChild<QAction*>(QStringLiteral("mnuQuit"));
    const auto add = [this](QMenu* menu, QAction* before, const char* name, const QString& caption) {
        auto* action = new QAction(caption, menu);
        action->setObjectName(QString::fromLatin1(name));
        menu->insertAction(before, action);
        return action;
    };
    connect(add(file, quit, "mnuOpenWorkspace", QStringLiteral("Open &Workspace…")), &QAction::triggered, this, [this] {
        syncWorkbenchTabs(true);
        const QString path = choosePath(QStringLiteral("Open Workspace"), false);
        guarded("Open Workspace", [&] {
            QString error;
            if (!path.isEmpty() && !m_tables->openWorkspace(path, &error)) {
                reportError(error);
            } else if (!path.isEmpty()) {
                for (const OpenLog& log : m_logs)
                    applyWorkspaceMarkers(*log.document);
                refreshMarkers();
                m_tab->setCurrentWidget(m_tables);
            }
        });
    });
    connect(add(file, quit, "mnuSaveWorkspace", QStringLiteral("&Save Workspace As…")), &QAction::triggered, this,
            [this] {
                syncWorkbenchTabs(true);
                const QString path = choosePath(QStringLiteral("Save Workspace As"), true);
                guarded("Save Workspace As", [&] {
                    QString error;
                    m_workspace->markers = workspaceMarkers();
                    if (!path.isEmpty() && !m_tables->saveWorkspace(path, &error))
                        reportError(error);
                });
            });
    connect(add(file, quit, "mnuExportTable", QStringLiteral("&Export Table…")), &QAction::triggered, this, [this] {
        syncWorkbenchTabs(true);
        const QString path = choosePath(QStringLiteral("Export Table"), true);
        guarded("Export Table", [&] {
            QString error;
            if (!path.isEmpty() && !m_tables->exportTable(path, &error))
                reportError(error);
        });
    });
    file->insertSeparator(quit);
    auto* tools = menuBar()->findChild<QMenu*>(QStringLiteral("mnuTools"));
    connect(add(tools, nullptr, "mnuCalculatedChannels", QStringLiteral("&Calculated Channels…")), &QAction::triggered,
            this, [this] {
                syncWorkbenchTabs(true);
                m_tables->showChannelsEditor();
            });
}

TablesTab* Form1::tablesTab()
{
    syncWorkbenchTabs(true);
    return m_tables;
}

void Form1::syncWorkbenchTabs(bool all)
{
    const QWidget* shown = m_tab->currentWidget();
    const bool charts = m_chartsBehind && (all || shown == m_charts);
    const bool tables = m_tablesBehind && (all || charts || shown == m_tables);
    // The charts first: the channels the tables then hand over are those
    // they already have, which costs no second evaluation.
    if (charts)
        syncChartsTab();
    if (tables) {
        m_tablesBehind = false;
        guarded("Building the tables", [this] {
            // Every open log, named as on the log bar: a table may be pooled
            // over any of them or compared with one.
            std::vector<TablesTab::OpenLog> logs;
            for (const OpenLog& log : m_logs)
                logs.push_back({shownQString(log.document->path().filename().native()), log.session->sharedColumns(),
                                log.session});
            m_tables->setOpenLogs(std::move(logs), shownLogIndex());
        });
    }
}

void Form1::syncChartsTab()
{
    if (!m_chartsBehind)
        return;
    m_chartsBehind = false;
    guarded("Drawing the charts", [this] {
        // The same file read again keeps its zoom and cursor.
        const bool again = m_document && !m_chartsLog.empty() && m_document->path() == m_chartsLog;
        m_chartsLog = m_document ? m_document->path() : std::filesystem::path();
        // The other open logs may be overlaid on the page.
        std::vector<ChartsTab::OverlayLog> others;
        for (const OpenLog& log : m_logs)
            if (log.document != m_document)
                others.push_back({shownQString(log.document->path().filename().native()),
                                  log.session->sharedColumns(), log.session});
        m_charts->setOverlayLogs(std::move(others));
        const int shown = shownLogIndex();
        m_charts->setSession(shown >= 0 ? m_logs[static_cast<std::size_t>(shown)].session : nullptr, again);
    });
}

void Form1::setPathChooser(PathChooser chooser)
{
    m_pathChooser = std::move(chooser);
}

QString Form1::choosePath(const QString& title, bool save)
{
    if (m_pathChooser)
        return m_pathChooser(title, save);
    const QString filter = title.contains(QStringLiteral("Workspace")) ? QStringLiteral("Workspaces (*.json);;All files (*)")
                                                                       : QStringLiteral("CSV files (*.csv);;All files (*)");
    return save ? askSavePath(this, title, filter) : QFileDialog::getOpenFileName(this, title, QString(), filter);
}

// As the BLM double-click: z's curve with a tick at every take, the grid at
// the first. A z that is no single parameter leaves the curve on show.
void Form1::showTableTakes(const std::vector<int>& takes, long long param, bool showGeneral)
{
    guarded("Showing the takes of the cells", [&] {
        if (!m_document)
            return;
        if (showGeneral)
            m_tab->setCurrentIndex(0);
        if (param >= 0 && param + 1 < m_grid1->RowCount() && m_grid1->SelectedRow(0) != param + 1)
            m_grid1->selectGridRow(static_cast<int>(param + 1));
        m_picture1->setTickTakes(takes);
        const int row = std::max(1, m_grid1->SelectedRow(0));
        if (!takes.empty() && row < m_grid1->RowCount())
            m_grid1->ScrollToCell(row, clickedGridColumn(takes.front(), m_grid1->ColCount()));
    });
}

void Form1::updateBlmNote()
{
    const std::optional<BlmTableNote> note = m_document ? blmTableNote(m_document->log()) : std::nullopt;
    if (!note) {
        m_blmNote->hide();
        return;
    }
    m_blmNote->setText(QString::fromStdString(note->why + "\n\n" + note->instead));
    placeNote(m_grid2, m_blmNote);
    m_blmNote->show();
    m_blmNote->raise();
}

}  // namespace dlv
