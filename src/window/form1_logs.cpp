// Form1's side of several open logs: the bar that lists them (file name and
// close button each), switching the log on show (Ctrl+Tab), File, Close,
// and each log's view kept in its document while another is on show.
#include "window/form1.h"

#include "render/shown_text.h"
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"
#include "window/fit_label.h"
#include "window/warning_bar.h"
#include "workbench/log_session.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QToolBar>

#include <algorithm>

namespace dlv {

void Form1::buildLogBar()
{
    m_logBar = new QToolBar(QStringLiteral("Open logs"), this);
    m_logBar->setObjectName(QStringLiteral("LogBar"));
    m_logBar->setMovable(false);
    m_logBar->setFloatable(false);
    m_logBar->toggleViewAction()->setEnabled(false);
    m_logTabs = new QTabBar;
    m_logTabs->setObjectName(QStringLiteral("LogTabs"));
    m_logTabs->setTabsClosable(true);
    m_logTabs->setExpanding(false);
    m_logTabs->setDocumentMode(true);
    m_logTabs->setUsesScrollButtons(true);
    m_logTabs->setFocusPolicy(Qt::NoFocus);
    m_logBar->addWidget(m_logTabs);
    addToolBar(Qt::TopToolBarArea, m_logBar);
    m_logBar->hide();
    connect(m_logTabs, &QTabBar::currentChanged, this, [this](int index) {
        if (!m_updatingLogTabs)
            guarded("Showing the log", [this, index] { showLog(index); });
    });
    connect(m_logTabs, &QTabBar::tabCloseRequested, this,
            [this](int index) { guarded("Closing the log", [this, index] { closeLog(index); }); });

    // File, Close after Open As; Ctrl+Tab and Ctrl+Shift+Tab step through the logs.
    auto* file = menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
    QAction* before = nullptr;
    const QList<QAction*> items = file->actions();
    for (qsizetype i = 0; i + 1 < items.size(); ++i)
        if (items[i]->menu() && items[i]->menu()->objectName() == QStringLiteral("mnuOpenAs"))
            before = items[i + 1];
    m_mnuClose = new QAction(QStringLiteral("&Close"), file);
    m_mnuClose->setObjectName(QStringLiteral("mnuClose"));
    m_mnuClose->setShortcut(QKeySequence::Close);
    file->insertAction(before, m_mnuClose);
    connect(m_mnuClose, &QAction::triggered, this,
            [this] { guarded("Closing the log", [this] { closeLog(shownLogIndex()); }); });
    const auto step = [this](const char* name, const QKeySequence& key, int by) {
        auto* action = new QAction(QString::fromLatin1(name), this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        addAction(action);
        connect(action, &QAction::triggered, this, [this, by] {
            const int count = static_cast<int>(m_logs.size());
            if (count > 1)
                guarded("Showing the log", [&] { showLog((shownLogIndex() + by + count) % count); });
        });
    };
    step("actNextLog", QKeySequence(Qt::CTRL | Qt::Key_Tab), 1);
    step("actPreviousLog", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1);
    updateLogBar();
}

int Form1::shownLogIndex() const noexcept
{
    for (std::size_t i = 0; i < m_logs.size(); ++i)
        if (m_logs[i].document == m_document)
            return static_cast<int>(i);
    return -1;
}

std::vector<std::shared_ptr<LogDocument>> Form1::documents() const
{
    std::vector<std::shared_ptr<LogDocument>> out;
    out.reserve(m_logs.size());
    for (const OpenLog& log : m_logs)
        out.push_back(log.document);
    return out;
}

void Form1::placeDocument(std::shared_ptr<LogDocument> document, LogFormat format, QStringList warnings)
{
    // The same file again (F5, Follow Log, or opened once more) takes its
    // own place; another is added after the others.
    const auto same = std::find_if(m_logs.begin(), m_logs.end(),
                                   [&](const OpenLog& log) { return log.document->path() == document->path(); });
    if (m_document && (same == m_logs.end() || same->document != m_document))
        keepShownLog();
    auto session = std::make_shared<workbench::LogSession>(std::shared_ptr<ColumnCache>(document, &document->columns()));
    OpenLog entry{std::move(document), std::move(session), format, std::move(warnings), false};
    if (same != m_logs.end()) {
        entry.warningsDismissed = same->warningsDismissed;
        *same = std::move(entry);
        m_document = same->document;
    } else {
        m_logs.push_back(std::move(entry));
        m_document = m_logs.back().document;
        applyWorkspaceMarkers(*m_document);
    }
    m_documentFormat = format;
}

void Form1::keepShownLog()
{
    const int index = shownLogIndex();
    if (index < 0)
        return;
    OpenLog& log = m_logs[static_cast<std::size_t>(index)];
    log.document->viewState() = keepView();
    log.warningsDismissed = m_warningsDismissed;
}

void Form1::showLog(int index)
{
    if (index < 0 || index >= static_cast<int>(m_logs.size()) || m_loading)
        return;
    const OpenLog& next = m_logs[static_cast<std::size_t>(index)];
    if (next.document == m_document) {
        updateLogBar();
        return;
    }
    keepShownLog();
    m_document = next.document;
    m_documentFormat = next.format;
    m_readWarnings = next.warnings;
    m_warningsDismissed = next.warningsDismissed;
    drawShownLog();
    // A log that was never shown with a row selected shows no curve: the
    // one on show was another log's.
    if (m_document->viewState().selectedRow <= 0)
        clearCurve();
    restoreView(m_document->viewState());
}

void Form1::drawShownLog()
{
    DrawGeneral();
    DrawBLM();
    ShowRuntime();
    showAroundLog();
}

void Form1::showAroundLog()
{
    if (m_warningsDismissed)
        m_warningBar->hide();
    else
        m_warningBar->showWarnings(shownQString(m_document->path().filename().native()), m_readWarnings,
                                   readDetails());
    updateLogBar();
    showLogTexts();
    emit documentChanged();
}

void Form1::clearCurve()
{
    m_picture1->clear();
    m_lblParameterName->setText(QStringLiteral("Parameter summary"));
    for (FitLabel* label : {m_lblValue, m_lblMax, m_lblAvg, m_lblMin})
        label->setText(QString());
}

void Form1::closeLog(int index)
{
    if (index < 0 || index >= static_cast<int>(m_logs.size()) || m_loading)
        return;
    const bool shown = m_logs[static_cast<std::size_t>(index)].document == m_document;
    m_logs.erase(m_logs.begin() + index);
    if (!shown) {
        updateLogBar();
        refreshMarkers();
        emit otherLogClosed();
        return;
    }
    if (!m_logs.empty()) {
        // Its neighbour comes on show; the closed log's view goes with it.
        m_document = nullptr;
        showLog(std::min(index, static_cast<int>(m_logs.size()) - 1));
        return;
    }
    // The last log: the window as it was before the first Open.
    m_document = nullptr;
    m_readWarnings.clear();
    m_grid1->setRowCount(0);
    m_grid1->setColCount(0);
    m_grid2->clearTints();
    m_grid2->setRowCount(1);
    for (int c = 1; c < m_grid2->ColCount(); ++c)
        m_grid2->setCellText(CellRange::cell(0, c), QString());
    m_lblRunTime->setText(QString());
    m_warningBar->hide();
    clearCurve();
    updateLogBar();
    showLogTexts();
    emit documentChanged();
}

void Form1::updateLogBar()
{
    m_updatingLogTabs = true;
    while (m_logTabs->count() > static_cast<int>(m_logs.size()))
        m_logTabs->removeTab(m_logTabs->count() - 1);
    for (std::size_t i = 0; i < m_logs.size(); ++i) {
        const std::filesystem::path& path = m_logs[i].document->path();
        const QString name = shownQString(path.filename().native());
        const int at = static_cast<int>(i);
        // Only what changed: a tab bar lays itself out again at every change.
        if (at >= m_logTabs->count()) {
            m_logTabs->addTab(name);
            m_logTabs->setTabToolTip(at, shownQString(path.native()));
        } else if (m_logTabs->tabText(at) != name) {
            m_logTabs->setTabText(at, name);
            m_logTabs->setTabToolTip(at, shownQString(path.native()));
        }
    }
    if (m_logTabs->currentIndex() != shownLogIndex())
        m_logTabs->setCurrentIndex(shownLogIndex());
    m_updatingLogTabs = false;
    m_logBar->setVisible(!m_logs.empty());
    m_mnuClose->setEnabled(m_document != nullptr);
}

}  // namespace dlv
