// dlv-charts-bench: times the Charts tab's drawing on one log, each figure
// printed beside its target.
//
//   dlv-charts-bench LOG [--runs N]
//
// Prints "key value" lines on standard output (milliseconds, the median of N
// runs after a warm-up):
//   charts_stacked_first_ms    6 panes x 4 channels, envelopes built (a new x range)
//   charts_stacked_repaint_ms  the same view painted again, columns and envelopes cached (target < 16)
//   charts_scatter_ms          a scatter of every take, raster and colours built anew (target < 50)
//   charts_plot_ms             --plot of the 6 x 4 page at 1200x900 PNG, log read included
//   charts_plot_workbench_ms   the same with a calculated channel in each pane and a filter
//   floor_ms                   mapping the file and counting its line feeds and commas
//   charts_plot_floor_ratio    charts_plot_ms / floor_ms (target <= 6), and the same
//                              for charts_plot_workbench_ms
//   floor_plain_ms             the same count by a plain byte loop, and
//   charts_plot_plain_floor_ratio  charts_plot_ms against it
// Each figure also shows the fastest and slowest run, and the calling
// thread's processor time (the log is read on every core, so for --plot this
// leaves out the reader's other threads).
// Exit code 0, 1 when the log cannot be read, 2 for bad arguments.
#include "floor_scan.h"

#include "app/plot_command.h"
#include "charts/chart_data.h"
#include "datalog/take_store.h"
#include "render/chart_renderer.h"

#include <nlohmann/json.hpp>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Milliseconds of wall-clock time and of this thread's processor time: on a
// busy machine the second tells what a paint costs when it has a core.
struct Timing {
    double wall = 0.0;
    double cpu = 0.0;
    double fastest = 0.0;  // wall, the spread of the runs
    double slowest = 0.0;
};

// Warm-up, then the median of runs timings of step (prepare is not timed).
Timing timed(int runs, const std::function<void()>& step, const std::function<void()>& prepare = [] {})
{
    prepare();
    step();
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const double cpuStart = threadCpuMs();
        const auto start = Clock::now();
        step();
        walls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpus.push_back(threadCpuMs() - cpuStart);
    }
    const auto [fastest, slowest] = std::minmax_element(walls.begin(), walls.end());
    return {median(walls), median(cpus), *fastest, *slowest};
}

void print(const char* key, double value, const char* target = nullptr, double cpu = -1.0,
           const Timing* spread = nullptr)
{
    std::printf("%s %.2f", key, value);
    if (spread)
        std::printf("\t(runs %.2f .. %.2f)", spread->fastest, spread->slowest);
    if (cpu >= 0.0)
        std::printf("\t(thread cpu %.2f)", cpu);
    if (target)
        std::printf("\t(target %s)", target);
    std::printf("\n");
}

void print(const char* key, Timing t, const char* target = nullptr)
{
    print(key, t.wall, target, t.cpu, &t);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string log;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (log.empty() && !arg.empty() && arg[0] != '-')
            log = arg;
        else
            log.clear(), i = argc;
    }
    if (log.empty()) {
        std::fprintf(stderr, "usage: dlv-charts-bench LOG [--runs N]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const dlv::ReadResult read = dlv::readDataLog(log);
    if (!read.ok()) {
        std::fprintf(stderr, "dlv-charts-bench: %s\n", read.error.c_str());
        return 1;
    }
    dlv::LogChannelSource source(std::make_shared<dlv::ColumnCache>(read.store));
    const auto& names = source.parameterNames();
    if (names.size() < 25) {
        std::fprintf(stderr, "dlv-charts-bench: the log needs 25 parameters, it has %zu\n", names.size());
        return 1;
    }
    std::fprintf(stderr, "dlv-charts-bench: %d takes\n", read.store->takeCount());

    // Six panes of four channels: parameters 1 .. 24.
    dlv::ChartPage stacked;
    for (int pane = 0; pane < 6; ++pane) {
        dlv::ChartPane p;
        for (int k = 0; k < 4; ++k)
            p.channels.push_back({names[static_cast<std::size_t>(1 + pane * 4 + k)], std::nullopt});
        stacked.panes.push_back(p);
    }
    auto find = [&](const char* wanted, std::size_t fallback) {
        const auto it = std::find(names.begin(), names.end(), wanted);
        return it != names.end() ? *it : names[fallback];
    };
    dlv::ChartPage scatter;
    scatter.panes.push_back({dlv::ChartPaneKind::Scatter, {}, find("RPM", 1), find("BLM", 2), find("MAP", 3)});

    const QSize size(1200, 900);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    dlv::ChartRenderer renderer;
    renderer.setPage(dlv::resolveChartPage(stacked, source));  // parses and caches the 24 columns
    auto paint = [&] {
        QPainter painter(&image);
        renderer.paint(painter, size);
    };
    // A new x range each time, so that every envelope is built again.
    int step = 0;
    const Timing first = timed(runs, paint, [&] {
        dlv::CurveZoom zoom = renderer.zoom();
        zoom.reset();
        zoom.setVisible(++step % 2, zoom.fullWidth() - 2);
        renderer.setZoom(zoom);
    });
    print("charts_stacked_first_ms", first);
    print("charts_stacked_repaint_ms", timed(runs, paint), "< 16");

    const dlv::ResolvedPage scatterPage = dlv::resolveChartPage(scatter, source);
    print("charts_scatter_ms", timed(runs, paint, [&] { renderer.setPage(scatterPage); }), "< 50");

    QTemporaryDir dir;
    const QString workspace = dir.filePath(QStringLiteral("w.json"));
    std::ofstream(workspace.toStdString())
        << nlohmann::json{{"tables", nlohmann::json::array()}, {"charts", dlv::chartPageJson(stacked)}}.dump();
    const dlv::PlotRequest request{workspace.toStdString(), log, dir.filePath(QStringLiteral("p.png")).toStdString(),
                                   size.width(), size.height()};
    // The same page with a calculated channel in each pane and the charts'
    // filter: what the workbench adds to --plot.
    const auto number = [&](const char* wanted, std::size_t fallback) {
        const auto it = std::find(names.begin(), names.end(), wanted);
        return "#" + std::to_string(it != names.end() ? it - names.begin() : static_cast<std::ptrdiff_t>(fallback));
    };
    dlv::ChartPage calculated = stacked;
    for (dlv::ChartPane& pane : calculated.panes)
        pane.channels.back() = {"Load", std::nullopt};
    calculated.filter = number("RPM", 1) + " > 1000 && abs(" + number("TPS", 4) + " - " + number("TPS", 4) + "[-1]) < 5";
    const QString workbench = dir.filePath(QStringLiteral("c.json"));
    std::ofstream(workbench.toStdString()) << nlohmann::json{
        {"channels", {{{"name", "Load"}, {"expr", number("MAP", 3) + " / 100"}}}},
        {"tables", nlohmann::json::array()},
        {"charts", dlv::chartPageJson(calculated)}}.dump();
    dlv::PlotRequest withChannels = request;
    withChannels.workspace = workbench.toStdString();

    int failures = 0;
    const Timing plot = timed(runs, [&] { failures += dlv::runPlotCommand(request, std::cerr) != 0; });
    const Timing plotWorkbench = timed(runs, [&] { failures += dlv::runPlotCommand(withChannels, std::cerr) != 0; });
    if (failures) {
        std::fprintf(stderr, "dlv-charts-bench: --plot failed\n");
        return 1;
    }
    const Timing floor = timed(runs, [&] { (void)dlv::bench::scanMappedFile(log); });
    print("charts_plot_ms", plot);
    print("charts_plot_workbench_ms", plotWorkbench);
    print("floor_ms", floor);
    print("charts_plot_floor_ratio", plot.wall / floor.wall, "<= 6");
    print("charts_plot_workbench_floor_ratio", plotWorkbench.wall / floor.wall, "<= 6");
    // Beside it, the floor counted by a plain byte loop, as the report's
    // targets are set (for comparison; the target above is the AVX2 one's).
    const Timing plainFloor =
        timed(runs, [&] { (void)dlv::bench::scanMappedFile(log, dlv::bench::FloorLoop::Plain); });
    print("floor_plain_ms", plainFloor);
    print("charts_plot_plain_floor_ratio", plot.wall / plainFloor.wall);
    return 0;
}
