#include "app/plot_command.h"

#include "charts/chart_workspace.h"
#include "datalog/display_text.h"
#include "datalog/take_store.h"
#include "render/chart_renderer.h"
#include "workbench/workspace_file.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>

#include <memory>
#include <new>
#include <ostream>
#include <string>

namespace dlv {

namespace {

using workbench::quotedPath;

constexpr const char* kProgram = "datalog-viewer: ";

QtMessageHandler g_qtMessages = nullptr;

// Without a desktop session Qt says on standard error that it makes up a
// runtime directory: nothing the user of a command needs to read beside the
// command's own messages. Everything else Qt says goes on as before.
void quietRuntimeNotice(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (g_qtMessages)
        g_qtMessages(type, context, message);
}

// A GUI application for QPainter and the fonts when the caller has none.
std::unique_ptr<QGuiApplication> guiApplication()
{
    if (QCoreApplication::instance())
        return nullptr;
    g_qtMessages = qInstallMessageHandler(quietRuntimeNotice);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "datalog-viewer";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

int run(const PlotRequest& request, std::ostream& err)
{
    // The workspace first: a bad one is the caller's mistake, told before any
    // time goes into reading a big log.
    const workbench::WorkspaceResult workspace = workbench::readWorkspaceFile(request.workspace);
    if (!workspace.ok()) {
        err << kProgram << workspace.error << "\n";
        return 2;
    }
    const ChartPageResult charts = workspaceChartPage(*workspace.workspace);
    if (!charts.ok() && !charts.error.empty()) {
        err << kProgram << "workspace " << quotedPath(request.workspace) << ": " << charts.error << "\n";
        return 2;
    }

    ChartLog log = readChartLog(request.log, *workspace.workspace, charts, request.format);
    if (!log.columns) {
        err << kProgram << log.error << "\n";
        return 1;
    }
    for (const ReadWarning& warning : log.warnings)
        err << kProgram << "warning: " << quotedPath(request.log) << ": " << warning.message << "\n";

    // As --tables: an expression that does not fit the log is the workspace's fault.
    WorkspaceCharts drawn = workspaceCharts(std::move(log.columns), *workspace.workspace, charts);
    if (!drawn.channels.errors.empty()) {
        err << kProgram << "workspace " << quotedPath(request.workspace) << ": " << drawn.channels.errors.front()
            << " (in log " << quotedPath(request.log) << ")\n";
        return 2;
    }
    for (const std::string& missing : drawn.page.missing)
        err << kProgram << "warning: " << missing << " in " << quotedPath(request.log) << "\n";

    const std::unique_ptr<QGuiApplication> app = guiApplication();
    ChartRenderer renderer;
    renderer.setDecimalSeparator(QLocale().decimalPoint().toStdString());
    renderer.setPage(std::move(drawn.page));
    const std::string logName = displayText(request.log.filename().native());
    const QString written = exportChart(renderer, QSize(request.width, request.height),
                                        QFile::decodeName(QByteArray::fromStdString(request.output.string())),
                                        chartFooter(QString::fromStdString(logName),
                                                    charts.page ? std::string_view(charts.page->filter) : std::string_view()));
    if (!written.isEmpty()) {
        err << kProgram << written.toStdString() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int runPlotCommand(const PlotRequest& request, std::ostream& err) noexcept
{
    try {
        try {
            return run(request, err);
        } catch (const std::bad_alloc&) {
            err << kProgram << "not enough memory to draw " << quotedPath(request.output) << "\n";
        } catch (const std::exception& e) {
            err << kProgram << "cannot draw " << quotedPath(request.output) << ": " << e.what() << "\n";
        }
    } catch (...) {
        // Writing the message itself failed; the exit code still tells.
    }
    return 1;
}

}  // namespace dlv
