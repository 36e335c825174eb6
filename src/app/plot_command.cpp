#include "app/plot_command.h"

#include "charts/chart_data.h"
#include "charts/chart_spec.h"
#include "datalog/take_store.h"
#include "render/chart_renderer.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>

#include <cstdio>
#include <memory>

namespace dlv {

namespace {

constexpr const char* kUsage =
    "usage: datalog-viewer --plot WORKSPACE LOG --output FILE.png|FILE.svg [--size WIDTHxHEIGHT]\n";

void say(const QString& text)
{
    std::fprintf(stderr, "datalog-viewer: %s\n", text.toLocal8Bit().constData());
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<QSize> parseSize(const std::string& text)
{
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos)
        return std::nullopt;
    bool okW = false;
    bool okH = false;
    const int w = QString::fromStdString(text.substr(0, x)).toInt(&okW);
    const int h = QString::fromStdString(text.substr(x + 1)).toInt(&okH);
    if (!okW || !okH || w < 16 || h < 16 || w > kPlotMaxSide || h > kPlotMaxSide)
        return std::nullopt;
    return QSize(w, h);
}

}  // namespace

std::optional<PlotRequest> parsePlotArguments(const std::vector<std::string>& args, std::string& error)
{
    PlotRequest request;
    std::vector<std::string> files;
    bool haveOutput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--output" || arg == "--size") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            const std::string& value = args[++i];
            if (arg == "--output") {
                request.output = QString::fromLocal8Bit(value.c_str());
                haveOutput = true;
            } else if (const auto size = parseSize(value)) {
                request.size = *size;
            } else {
                error = "--size " + value + ": give WIDTHxHEIGHT, each 16 to " + std::to_string(kPlotMaxSide) + " pixels";
                return std::nullopt;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) {
        error = "--plot needs a workspace file and a log file";
        return std::nullopt;
    }
    if (!haveOutput || request.output.isEmpty()) {
        error = "--plot needs --output FILE.png or FILE.svg";
        return std::nullopt;
    }
    const QString suffix = QFileInfo(request.output).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("svg")) {
        error = "--output " + request.output.toStdString() + ": the name must end in .png or .svg";
        return std::nullopt;
    }
    request.workspace = QString::fromLocal8Bit(files[0].c_str());
    request.log = QString::fromLocal8Bit(files[1].c_str());
    return request;
}

int runPlot(const PlotRequest& request)
{
    // The workspace first: a bad one is the caller's mistake, told before any
    // time goes into reading a big log.
    QFile file(request.workspace);
    if (!file.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("workspace %1: cannot be read: %2").arg(request.workspace, file.errorString()));
        return 2;
    }
    const QByteArray text = file.readAll();
    const ChartPageResult charts = parseWorkspaceCharts(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    if (!charts.ok() && !charts.error.empty()) {
        say(QStringLiteral("workspace %1: %2").arg(request.workspace, fromUtf8(charts.error)));
        return 2;
    }

    const ReadResult log = readDataLog(request.log.toLocal8Bit().toStdString());
    if (!log.ok()) {
        say(fromUtf8(log.error));
        return 1;
    }

    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "datalog-viewer";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }

    auto source = std::make_unique<LogChannelSource>(std::make_shared<ColumnCache>(log.store));
    const ChartPage page = charts.page ? *charts.page : defaultChartPage(source->parameterNames());
    ResolvedPage resolved = resolveChartPage(page, *source);
    for (const std::string& missing : resolved.missing)
        say(QStringLiteral("warning: %1 in %2").arg(fromUtf8(missing), request.log));

    ChartRenderer renderer;
    renderer.setDecimalSeparator(QLocale().decimalPoint().toStdString());
    renderer.setPage(std::move(resolved));
    const QString error = exportChart(renderer, request.size, request.output);
    if (!error.isEmpty()) {
        say(error);
        return 1;
    }
    return 0;
}

int plotCommand(const std::vector<std::string>& args)
{
    std::string error;
    const std::optional<PlotRequest> request = parsePlotArguments(args, error);
    if (!request) {
        std::fprintf(stderr, "datalog-viewer: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    try {
        return runPlot(*request);
    } catch (const std::bad_alloc&) {
        say(QStringLiteral("out of memory while drawing %1").arg(request->output));
        return 1;
    }
}

}  // namespace dlv
