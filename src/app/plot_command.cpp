#include "app/plot_command.h"

#include "charts/chart_data.h"
#include "charts/chart_spec.h"
#include "datalog/display_text.h"
#include "datalog/take_store.h"
#include "render/chart_renderer.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

namespace dlv {

namespace {

constexpr const char* kProgram = "datalog-viewer: ";

std::string shownPath(const std::filesystem::path& path)
{
    return "'" + displayText(path.string()) + "'";
}

// The workspace file's bytes, or nullopt with the reason in error.
std::optional<std::string> readWorkspaceFile(const std::filesystem::path& path, std::string& error)
{
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = "cannot read workspace " + shownPath(path) + ": it is a directory";
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open workspace " + shownPath(path) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) {
        error = "cannot read workspace " + shownPath(path) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return std::move(bytes).str();
}

// A GUI application for QPainter and the fonts when the caller has none.
std::unique_ptr<QGuiApplication> guiApplication()
{
    if (QCoreApplication::instance())
        return nullptr;
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
    std::string error;
    const std::optional<std::string> text = readWorkspaceFile(request.workspace, error);
    if (!text) {
        err << kProgram << error << "\n";
        return 2;
    }
    const ChartPageResult charts = parseWorkspaceCharts(*text);
    if (!charts.ok() && !charts.error.empty()) {
        err << kProgram << "workspace " << shownPath(request.workspace) << ": " << charts.error << "\n";
        return 2;
    }

    const ReadResult log = readDataLog(request.log);
    if (!log.ok()) {
        err << kProgram << log.error << "\n";
        return 1;
    }

    const std::unique_ptr<QGuiApplication> app = guiApplication();
    LogChannelSource source(std::make_shared<ColumnCache>(log.store));
    const ChartPage page = charts.page ? *charts.page : defaultChartPage(source.parameterNames());
    ResolvedPage resolved = resolveChartPage(page, source);
    for (const std::string& missing : resolved.missing)
        err << kProgram << "warning: " << missing << " in " << shownPath(request.log) << "\n";

    ChartRenderer renderer;
    renderer.setDecimalSeparator(QLocale().decimalPoint().toStdString());
    renderer.setPage(std::move(resolved));
    const QString written = exportChart(renderer, QSize(request.width, request.height),
                                        QFile::decodeName(QByteArray::fromStdString(request.output.string())));
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
            err << kProgram << "not enough memory to draw " << shownPath(request.output) << "\n";
        } catch (const std::exception& e) {
            err << kProgram << "cannot draw " << shownPath(request.output) << ": " << e.what() << "\n";
        }
    } catch (...) {
        // Writing the message itself failed; the exit code still tells.
    }
    return 1;
}

}  // namespace dlv
