// dlv-bench: times the viewer's steps on one log, after checking what the
// window shows against a plain reference reading of the same file.
//
//   dlv-bench LOG [--runs N] [--verbose] [--viewer PATH]
//
// Prints one "key value" line per figure on standard output (times in
// milliseconds, the median of N runs after a warm-up; memory in KiB) and
// progress on standard error. Exit code 0, 1 when the window disagrees with the
// reference or a step fails, 2 for bad arguments. bench/run.sh runs it once
// per log so that the peak memory figures belong to that log alone. With
// --viewer, the headless report (PATH --report LOG) is run as a process of
// its own too, its output checked against the same reference, and its wall
// time and peak memory measured (the median time; the highest peak).
#include "floor_scan.h"
#include "loading_bench.h"
#include "reference_log.h"
#include "startup_bench.h"
#include "tables_tab_bench.h"

#include "datalog/take_store.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"
#include "window/form1.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>
#include <QTest>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using dlv::bench::kRefMap;
using dlv::bench::kRefRpm;
using dlv::bench::peakRssKb;

// Parameters whose curves are drawn in turn, so that no DrawCurve finds the
// previous series in Form1's cache; the click uses RPM, which is not among them.
// A narrower log uses its own parameters instead (see BenchParams).
constexpr int kCurveParams[] = {247, 236, 0, 12, 100, 200};
// Where the curve is clicked, as fractions of Picture1's inside width.
constexpr double kClickAt[] = {0.5, 0.25, 0.75, 0.1, 0.9};

// Which parameters a log of `params` names gets its curves drawn for and is
// clicked on: those above when it has them all, otherwise its last parameter
// for the click and up to six others for the curves.
struct BenchParams {
    int click = kRefRpm;
    std::vector<int> curves;

    explicit BenchParams(int params)
    {
        if (params > kRefMap) {
            curves.assign(std::begin(kCurveParams), std::end(kCurveParams));
            return;
        }
        click = std::max(params - 1, 0);
        for (int p = 0; p < params - 1 && curves.size() < 6; ++p)
            curves.push_back(p);
        if (curves.empty())
            curves.push_back(click);
    }
};

struct Options {
    std::string log;
    int runs = 5;
    bool verbose = false;
    std::string viewer;
    bool mlgStartup = false;  // --mlg-startup: the start-up figures alone, MLG's targets
};

[[noreturn]] void usage()
{
    std::fprintf(stderr, "usage: dlv-bench LOG [--runs N] [--verbose] [--viewer PATH] [--mlg-startup]\n");
    std::exit(2);
}

Options parseArguments(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            options.runs = std::atoi(argv[++i]);
        else if (arg == "--verbose")
            options.verbose = true;
        else if (arg == "--viewer" && i + 1 < argc)
            options.viewer = argv[++i];
        else if (arg == "--mlg-startup")
            options.mlgStartup = true;
        else if (!arg.empty() && arg[0] != '-' && options.log.empty())
            options.log = arg;
        else
            usage();
    }
    if (options.log.empty() || options.runs < 1)
        usage();
    return options;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Counts the paint events a widget receives, so that a timing can tell
// whether the events it delivered really painted what it meant to measure.
class PaintProbe final : public QObject {
public:
    explicit PaintProbe(QWidget* widget) : m_widget(widget) { widget->installEventFilter(this); }
    [[nodiscard]] QWidget* widget() const noexcept { return m_widget; }
    void reset() noexcept { m_paints = 0; }
    [[nodiscard]] int paints() const noexcept { return m_paints; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint)
            ++m_paints;
        return false;
    }

private:
    QWidget* m_widget;
    int m_paints = 0;
};

int g_forcedPaints = 0;

// Delivers what the last step posted (layouts and the window's update request,
// so the paint of everything it changed), then makes sure the probed widget
// was painted.
void settle(PaintProbe& probe)
{
    QCoreApplication::processEvents();
    if (probe.paints() == 0) {
        ++g_forcedPaints;
        probe.widget()->repaint();
    }
}

// Runs step after clearing the probe and returns its time in ms, paint included.
double timedUntilPainted(PaintProbe& probe, const std::function<void()>& step)
{
    QCoreApplication::processEvents();
    probe.reset();
    const auto start = Clock::now();
    step();
    settle(probe);
    return msSince(start);
}

double timed(const std::function<void()>& step)
{
    const auto start = Clock::now();
    step();
    return msSince(start);
}

template <class T>
T* control(QWidget& form, const char* name)
{
    T* child = form.findChild<T*>(QString::fromLatin1(name));
    if (!child) {
        std::fprintf(stderr, "dlv-bench: the window has no control %s\n", name);
        std::exit(1);
    }
    return child;
}

class Checker final {
public:
    void expect(const std::string& what, const QString& shown, const std::string& wanted)
    {
        ++m_checks;
        if (shown == QString::fromStdString(wanted))
            return;
        ++m_failures;
        std::fprintf(stderr, "MISMATCH %s: window shows \"%s\", reference \"%s\"\n", what.c_str(),
                     shown.toStdString().c_str(), wanted.c_str());
    }
    void expect(const std::string& what, long long shown, long long wanted)
    {
        expect(what, QString::number(shown), std::to_string(wanted));
    }
    [[nodiscard]] int failures() const noexcept { return m_failures; }
    [[nodiscard]] int checks() const noexcept { return m_checks; }

private:
    int m_checks = 0;
    int m_failures = 0;
};

// Compares what the freshly opened window shows with the reference reading.
// Selects the row of curveParam, so the window is left showing its curve.
std::optional<dlv::bench::ReferenceViews> checkWindow(const std::string& path, dlv::Form1& form, int curveParam)
{
    const auto start = Clock::now();
    const dlv::bench::ReferenceLog log(path);
    const dlv::bench::ReferenceViews views = dlv::bench::computeReferenceViews(log, curveParam);
    auto* grid1 = control<dlv::CellGrid>(form, "Grid1");
    auto* grid2 = control<dlv::CellGrid>(form, "Grid2");
    Checker check;

    const int takes = log.takeCount();
    const int params = static_cast<int>(log.names().size());
    check.expect("Grid1 ColCount", grid1->ColCount(), takes + 1);
    // A row per name and one for the empty name that ends the names line.
    check.expect("Grid1 RowCount", grid1->RowCount(), params + 2);
    const bool gridShaped = grid1->ColCount() == takes + 1 && grid1->RowCount() == params + 2;
    if (gridShaped && takes > 0 && params > 0) {
        for (const int p : {0, params - 1}) {
            check.expect("Grid1 name of parameter " + std::to_string(p),
                         grid1->CellText(dlv::CellRange::cell(p + 1, 0)), log.names()[static_cast<std::size_t>(p)]);
            for (const int t : {0, (takes - 1) / 2, takes - 1})
                check.expect("Grid1 parameter " + std::to_string(p) + " take " + std::to_string(t),
                             grid1->CellText(dlv::CellRange::cell(p + 1, t + 1)), log.value(t, p));
        }
    }

    check.expect("lblRunTime", control<QLabel>(form, "lblRunTime")->text(), views.runTime);

    check.expect("Grid2 RowCount", grid2->RowCount(), 9);
    check.expect("Grid2 ColCount", grid2->ColCount(), 10);
    if (grid2->RowCount() == 9 && grid2->ColCount() == 10)
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 10; ++c)
                check.expect("Grid2 cell (" + std::to_string(r) + ", " + std::to_string(c) + ")",
                             grid2->CellText(dlv::CellRange::cell(r, c)),
                             views.blm[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);

    if (gridShaped && params > curveParam) {
        grid1->selectGridRow(curveParam + 1);
        const std::string name = " of parameter " + std::to_string(curveParam);
        check.expect("lblMax" + name, control<QLabel>(form, "lblMax")->text(), views.curve.max);
        check.expect("lblAvg" + name, control<QLabel>(form, "lblAvg")->text(), views.curve.avg);
        check.expect("lblMin" + name, control<QLabel>(form, "lblMin")->text(), views.curve.min);
    }

    std::fprintf(stderr, "dlv-bench: %d checks against the reference, %d mismatches (%.1f s)\n", check.checks(),
                 check.failures(), msSince(start) / 1000);
    if (check.failures() != 0)
        return std::nullopt;
    return views;
}

// One run of the headless report as a process of its own.
struct ReportRun {
    double ms = 0;
    double cpuMs = 0;  // the child's user + system time: what a busy machine changes least
    long peakKb = 0;  // the child's peak resident memory
    std::string out;
    std::string failure;  // empty when it ran and exited with 0
};

ReportRun runReport(const std::string& viewer, const std::string& log)
{
    ReportRun run;
    std::FILE* out = std::tmpfile();
    if (!out) {
        run.failure = "no temporary file for the report";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(out), STDOUT_FILENO);
    std::string reportArg = "--report";
    std::vector<char*> argv{const_cast<char*>(viewer.c_str()), reportArg.data(), const_cast<char*>(log.c_str()),
                            nullptr};
    pid_t pid = 0;
    const auto start = Clock::now();
    const int spawned = posix_spawn(&pid, viewer.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.failure = "cannot start " + viewer + ": " + std::strerror(spawned);
        std::fclose(out);
        return run;
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.ms = msSince(start);
    run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.peakKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        run.failure = viewer + " --report " + log + " failed (status " + std::to_string(status) + ")";
    std::rewind(out);
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        run.out.append(buffer, n);
    std::fclose(out);
    return run;
}

// The report's lines against the reference: the run-time line, the BLM table
// and the summary line of curveParam.
bool checkReport(const std::string& out, const dlv::bench::ReferenceViews& views, int curveParam,
                 const std::string& curveName)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t end = std::min(out.find('\n', start), out.size());
        lines.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    Checker check;
    const auto line = [&](std::size_t i) { return QString::fromStdString(i < lines.size() ? lines[i] : std::string()); };
    check.expect("report run-time line", line(0), "Runtime: " + views.runTime);
    for (std::size_t r = 0; r < views.blm.size(); ++r) {
        std::string row;
        for (std::size_t c = 0; c < views.blm[r].size(); ++c)
            row += (c ? "\t" : "") + views.blm[r][c];
        check.expect("report BLM row " + std::to_string(r), line(2 + r), row);
    }
    const std::size_t summaryLine = 2 + views.blm.size() + 2 + static_cast<std::size_t>(curveParam);
    check.expect("report summary of parameter " + std::to_string(curveParam), line(summaryLine),
                 curveName + "\t" + views.curve.max + "\t" + views.curve.avg + "\t" + views.curve.min);
    std::fprintf(stderr, "dlv-bench: report: %d checks against the reference, %d mismatches\n", check.checks(),
                 check.failures());
    return check.failures() == 0;
}

// The per-run figures, in the order they are printed.
struct Samples {
    std::map<std::string, std::vector<double>> byName;
    std::vector<std::string> order;
    void add(const std::string& name, double ms)
    {
        if (!byName.count(name))
            order.push_back(name);
        byName[name].push_back(ms);
    }
};

// The report runs of one log: the output of the first, the times of the
// others and the highest peak memory among them all.
struct ReportRuns {
    bool ran = false;
    std::string output;
    std::vector<double> ms;
    std::vector<double> cpuMs;
    long peakKb = 0;
    std::string failure;
};

// Runs the report runs + 1 times (the first a warm-up). Done before this
// process has grown: a child's peak memory as wait4 reports it includes
// what its parent held when the child was started.
ReportRuns runReports(const Options& options)
{
    ReportRuns runs;
    if (options.viewer.empty())
        return runs;
    runs.ran = true;
    for (int run = -1; run < options.runs; ++run) {
        ReportRun report = runReport(options.viewer, options.log);
        if (!report.failure.empty()) {
            runs.failure = report.failure;
            return runs;
        }
        if (run < 0) {
            runs.output = std::move(report.out);
        } else {
            runs.ms.push_back(report.ms);
            runs.cpuMs.push_back(report.cpuMs);
        }
        runs.peakKb = std::max(runs.peakKb, report.peakKb);
    }
    return runs;
}

int runBenchmark(const Options& options, const ReportRuns& reports)
{
    const std::string& path = options.log;
    QLocale::setDefault(QLocale::c());  // "." as decimal separator, as the reference writes it

    std::string failure;
    dlv::Form1 form;
    form.setMessageHandler([&failure](dlv::Form1::MessageKind kind, const QString&, const QString& text) {
        if (kind == dlv::Form1::MessageKind::Error && failure.empty())
            failure = text.toStdString();
    });
    auto* grid1 = control<dlv::CellGrid>(form, "Grid1");
    auto* picture1 = control<dlv::CurveSurface>(form, "Picture1");
    PaintProbe gridPaints(grid1->viewport());
    PaintProbe curvePaints(picture1);
    form.show();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();

    // The first open, in this fresh process, gives the memory figures and
    // serves as the warm-up; then one curve, as a user would draw it at once.
    const long baselineKb = peakRssKb();
    const double firstOpen = timedUntilPainted(gridPaints, [&] { form.openFile(QString::fromStdString(path)); });
    const long peakKb = peakRssKb();
    if (!failure.empty() || !form.store()) {
        std::fprintf(stderr, "dlv-bench: opening %s failed: %s\n", path.c_str(), failure.c_str());
        return 1;
    }
    const int takes = form.store()->takeCount();
    const std::size_t fileBytes = form.store()->fileBytes();
    const BenchParams params(static_cast<int>(form.store()->ParamNames().size()) - 1);
    const double firstCurve = timedUntilPainted(curvePaints, [&] { grid1->selectGridRow(params.click + 1); });
    const long peakCurveKb = peakRssKb();
    std::fprintf(stderr, "dlv-bench: %s: %d takes, %zu bytes; first open %.1f ms, first curve %.1f ms\n", path.c_str(),
                 takes, fileBytes, firstOpen, firstCurve);

    const std::optional<dlv::bench::ReferenceViews> views = checkWindow(path, form, params.click);
    if (!views)
        return 1;
    QCoreApplication::processEvents();

    if (!dlv::bench::reportLoadingRepaints(form, QString::fromStdString(path)))
        return 1;
    Samples samples;
    const int middleColumn = std::max(1, (takes + 1) / 2);
    // Run -1 is a warm-up: it is the first time the process holds two stores
    // at once (the window's and a fresh one), and memory a process touches
    // for the first time costs far more on some machines (virtual ones above
    // all) than memory it has had before.
    for (int run = -1; run < options.runs; ++run) {
        const auto record = [&samples, run](const std::string& name, double ms) {
            if (run >= 0)
                samples.add(name, ms);
        };
        const auto turn = static_cast<std::size_t>(run + 1);
        {
            dlv::ReadResult result;
            record("read_ms", timed([&] { result = dlv::readDataLog(path); }));
            if (!result.ok()) {
                std::fprintf(stderr, "dlv-bench: %s\n", result.error.c_str());
                return 1;
            }
        }
        record("open_to_ready_ms",
               timedUntilPainted(gridPaints, [&] { form.openFile(QString::fromStdString(path)); }));
        record("draw_general_ms", timed([&] { form.DrawGeneral(); }));
        record("draw_blm_ms", timed([&] { form.DrawBLM(); }));
        record("show_runtime_ms", timed([&] { form.ShowRuntime(); }));
        QCoreApplication::processEvents();

        const int param = params.curves[turn % params.curves.size()];
        record("draw_curve_ms", timedUntilPainted(curvePaints, [&] { form.DrawCurve(param); }));

        grid1->selectGridRow(params.click + 1);
        QCoreApplication::processEvents();
        const QRect inside = picture1->contentsRect();
        const QPoint at(inside.left() + static_cast<int>(kClickAt[turn % std::size(kClickAt)] * inside.width()),
                        inside.center().y());
        record("curve_click_ms", timedUntilPainted(curvePaints, [&] {
                   QTest::mouseRelease(picture1, Qt::LeftButton, Qt::NoModifier, at);
               }));

        // Every other run a little further on, so that each repaint follows a real scroll.
        const int column = std::min(grid1->ColCount() - 1, middleColumn + static_cast<int>(turn % 2) * 500);
        QCoreApplication::processEvents();
        record("grid_repaint_ms", timed([&] {
                   grid1->ScrollToCell(1, column);
                   grid1->viewport()->repaint();
               }));
        QCoreApplication::processEvents();
        if (!failure.empty()) {
            std::fprintf(stderr, "dlv-bench: a step failed: %s\n", failure.c_str());
            return 1;
        }
    }

    // The floor last: its mapping must not count in the window's peak memory.
    const auto expected = dlv::bench::scanMappedFile(path);  // warm-up
    for (int run = 0; run < options.runs; ++run) {
        dlv::bench::FloorCounts counts;
        samples.add("floor_ms", timed([&] { counts = dlv::bench::scanMappedFile(path); }));
        if (counts.lineFeeds != expected.lineFeeds || counts.commas != expected.commas)
            return 1;
        samples.add("floor_plain_ms",
                    timed([&] { counts = dlv::bench::scanMappedFile(path, dlv::bench::FloorLoop::Plain); }));
        if (counts.lineFeeds != expected.lineFeeds || counts.commas != expected.commas)
            return 1;
    }
    if (reports.ran && !checkReport(reports.output, *views, params.click,
                                    form.store()->ParamNames()[static_cast<std::size_t>(params.click)]))
        return 1;
    for (const double ms : reports.ms)
        samples.add("report_ms", ms);
    for (const double ms : reports.cpuMs)
        samples.add("report_cpu_ms", ms);
    if (expected.lineFeeds < static_cast<std::uint64_t>(takes) + 1)
        std::fprintf(stderr, "dlv-bench: note: %llu line feeds for %d takes (not LF-ended lines?)\n",
                     static_cast<unsigned long long>(expected.lineFeeds), takes);

    std::printf("log %s\n", std::filesystem::path(path).filename().c_str());
    std::printf("takes %d\n", takes);
    std::printf("file_bytes %zu\n", fileBytes);
    std::printf("runs %d\n", options.runs);
    std::printf("first_open_ms %.2f\n", firstOpen);
    std::printf("first_curve_ms %.2f\n", firstCurve);
    for (const std::string& name : samples.order) {
        const std::vector<double>& values = samples.byName[name];
        std::printf("%s %.2f\n", name.c_str(), median(values));
        if (options.verbose) {
            std::fprintf(stderr, "  %-18s", name.c_str());
            for (const double v : values)
                std::fprintf(stderr, " %9.2f", v);
            std::fprintf(stderr, "\n");
        }
    }
    // Each from a fresh process, as the command line starts the viewer.
    if (!dlv::bench::printStartupFigures(QCoreApplication::applicationFilePath().toStdString(), path,
                                         std::max(options.runs, 3)))
        return 1;
    std::printf("peak_rss_kb %ld\n", peakKb);
    std::printf("peak_rss_open_kb %ld\n", peakKb - baselineKb);
    std::printf("peak_rss_curve_kb %ld\n", peakCurveKb - baselineKb);
    std::printf("baseline_rss_kb %ld\n", baselineKb);
    if (reports.ran)
        std::printf("report_peak_rss_kb %ld\n", reports.peakKb);
    if (g_forcedPaints > 0)
        std::fprintf(stderr, "dlv-bench: note: %d steps painted nothing by themselves and were repainted\n",
                     g_forcedPaints);
    // After the memory figures, which belong to the window's Open alone.
    return dlv::bench::printTablesTabFigures(path, options.runs) ? 0 : 1;
}

// The offscreen platform says at every window that it cannot pass size
// hints on; that is no news in a benchmark. Everything else is printed.
void dropPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (dlv::bench::isStartupChild(argc, argv))
        return dlv::bench::runStartupChild(argc, argv);
    const Options options = parseArguments(argc, argv);
    if (options.mlgStartup) {
        // The window's start-up on a log of another format: each run its own
        // process, as the command line starts the viewer.
        QCoreApplication app(argc, argv);
        return dlv::bench::printStartupFigures(QCoreApplication::applicationFilePath().toStdString(), options.log,
                                               options.runs, dlv::bench::kMlgStartupTargets)
                   ? 0
                   : 1;
    }
    const ReportRuns reports = runReports(options);
    if (!reports.failure.empty()) {
        std::fprintf(stderr, "dlv-bench: %s\n", reports.failure.c_str());
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropPlatformNoise);
    QApplication app(argc, argv);
    try {
        return runBenchmark(options, reports);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dlv-bench: %s\n", e.what());
        return 1;
    }
}
