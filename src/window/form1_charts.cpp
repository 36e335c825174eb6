// Form1's side of the "Charts" tab: the tab itself, its link to the window's
// workspace (edited in the Tables tab too), File, Export Chart... and Export
// Curve... (the General curve through the same picture writer), and a click
// on the charts scrolling Grid1 as a click on the curve does.
#include "window/form1.h"

#include "render/chart_renderer.h"
#include "render/shown_text.h"
#include "views/curve.h"
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/charts_tab.h"
#include "window/curve_surface.h"
#include "window/fit_label.h"
#include "window/save_path.h"
#include "window/tables_tab.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

namespace dlv {

void Form1::buildChartsTab()
{
    m_charts = new ChartsTab(m_workspace);
    m_charts->setObjectName(QStringLiteral("Charts"));
    addWorkbenchTab(m_charts, QStringLiteral("Charts"));
    connect(m_charts, &ChartsTab::takeChosen, this, &Form1::onChartTake);

    // Both tabs edit the window's workspace: the charts follow the channels
    // the Tables tab edits, and show the page of a workspace opened there.
    connect(m_tables, &TablesTab::channelsChanged, this,
            [this] { guarded("Computing the charts' channels", [this] { m_charts->channelsEdited(); }); });
    connect(m_tables, &TablesTab::workspaceOpened, this,
            [this] { guarded("Drawing the workspace's charts", [this] { m_charts->showWorkspace(); }); });

    // File, Export Chart...: with the other export commands, before Quit.
    auto* file = menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
    auto* quit = findChild<QAction*>(QStringLiteral("mnuQuit"));
    const QList<QAction*> actions = file->actions();
    const qsizetype at = actions.indexOf(quit);
    QAction* before = at > 0 && actions[at - 1]->isSeparator() ? actions[at - 1] : quit;
    auto* exportChartItem = new QAction(QStringLiteral("Export Chart\u2026"), file);
    exportChartItem->setObjectName(QStringLiteral("mnuExportChart"));
    file->insertAction(before, exportChartItem);
    connect(exportChartItem, &QAction::triggered, this, [this] { exportChartCommand(); });
    auto* exportCurveItem = new QAction(QStringLiteral("Export C&urve\u2026"), file);
    exportCurveItem->setObjectName(QStringLiteral("mnuExportCurve"));
    file->insertAction(exportChartItem, exportCurveItem);
    connect(exportCurveItem, &QAction::triggered, this, [this] { exportCurveCommand(); });
}

// Like a click on the General curve: Grid1 scrolls to the take, in the
// selected row (the first parameter's when none is selected).
void Form1::onChartTake(int take)
{
    guarded("Locating the take", [this, take] {
        if (m_grid1->RowCount() < 2)
            return;
        const int row = std::max(1, m_grid1->SelectedRow(0));
        m_grid1->ScrollToCell(row, clickedGridColumn(take, m_grid1->ColCount()));
    });
}

ChartsTab* Form1::charts()
{
    syncWorkbenchTabs(true);
    return m_charts;
}

void Form1::exportChartCommand()
{
    syncWorkbenchTabs(true);
    const QString path =
        askSavePath(this, QStringLiteral("Export Chart"), QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg)"));
    if (!path.isEmpty())
        exportChart(path);
}

void Form1::exportChart(const QString& path)
{
    syncWorkbenchTabs(true);
    guarded("Export Chart", [&] {
        const QString log = m_document ? shownQString(m_document->path().filename().native()) : QString();
        if (const QString error = m_charts->exportTo(path, log); !error.isEmpty())
            reportError(error);
    });
}

namespace {

const QString kNoCurveToExport =
    QStringLiteral("Export Curve: no curve is shown. Select a parameter's row of the grid first.");

}  // namespace

void Form1::exportCurveCommand()
{
    if (!m_picture1->renderer().view().series()) {
        reportError(kNoCurveToExport);
        return;
    }
    const QString path =
        askSavePath(this, QStringLiteral("Export Curve"), QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg)"));
    if (!path.isEmpty())
        exportCurve(path);
}

void Form1::exportCurve(const QString& path)
{
    guarded("Export Curve", [&] {
        if (!m_picture1->renderer().view().series()) {
            reportError(kNoCurveToExport);
            return;
        }
        const QString log = m_document ? shownQString(m_document->path().filename().native()) : QString();
        const QString footer = log.isEmpty() ? QString() : pictureFooter(log, m_lblParameterName->text());
        if (const QString error = dlv::exportChart(m_picture1->renderer(), m_picture1->surfaceSize(), path, footer);
            !error.isEmpty())
            reportError(error);
    });
}

}  // namespace dlv
