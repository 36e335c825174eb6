#include "startup_bench.h"

#include "datalog/take_store.h"
#include "views/log_document.h"
#include "window/cell_grid.h"
#include "window/curve_surface.h"
#include "window/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dlv::bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kChildFlag = "--startup-child";

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Calls done() once after each rearm(), right after the next paint of widget
// that comes while armed() holds, the paint itself finished. done() must not
// paint or process events.
class FirstPaint final : public QObject {
public:
    FirstPaint(QWidget* widget, std::function<bool()> armed, std::function<void()> done)
        : m_armed(std::move(armed)), m_done(std::move(done))
    {
        widget->installEventFilter(this);
    }
    void rearm() noexcept { m_fired = false; }
    [[nodiscard]] bool fired() const noexcept { return m_fired; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || m_fired || !m_armed())
            return false;
        // The paint is delivered here, so that the time is taken when it is done.
        m_fired = true;
        watched->event(event);
        m_done();
        return true;
    }

private:
    std::function<bool()> m_armed;
    std::function<void()> m_done;
    bool m_fired = true;
};

// Parameters whose first curves are timed: all of a narrow log, a spread of
// a wide one (RPM, BLM and MAP among them).
std::vector<int> curveParams(int params)
{
    if (params <= 12) {
        std::vector<int> all(static_cast<std::size_t>(std::max(params, 0)));
        for (int p = 0; p < params; ++p)
            all[static_cast<std::size_t>(p)] = p;
        return all;
    }
    std::vector<int> some;
    for (const int p : {0, 1, 12, 100, 224, 236, 247})
        if (p < params)
            some.push_back(p);
    return some;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool isStartupChild(int argc, char** argv)
{
    return argc >= 2 && std::string(argv[1]) == kChildFlag;
}

int runStartupChild(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: dlv-bench %s LOG SPAWN_NS\n", kChildFlag);
        return 2;
    }
    const Clock::time_point spawned{std::chrono::nanoseconds(std::stoll(argv[3]))};
    const std::filesystem::path log(argv[2]);
    const auto since = [spawned] { return msBetween(spawned, Clock::now()); };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // As the viewer's main: the application, the window shown, the log opened.
    QApplication app(argc, argv);
    const double appMs = since();
    Form1 form;
    std::string failure;
    form.setMessageHandler([&failure](Form1::MessageKind kind, const QString&, const QString& text) {
        if (kind == Form1::MessageKind::Error && failure.empty())
            failure = text.toStdString();
    });
    auto* grid1 = form.findChild<CellGrid*>(QStringLiteral("Grid1"));
    auto* picture1 = form.findChild<CurveSurface*>(QStringLiteral("Picture1"));
    if (!grid1 || !picture1)
        return 1;

    double readMs = -1;
    double drawnMs = -1;
    std::map<int, double> curves;
    std::vector<int> params;
    std::size_t next = 0;
    Clock::time_point curveStart;

    QObject::connect(&form, &Form1::loadRead, &form, [&] { readMs = since(); });
    QObject::connect(&form, &Form1::documentChanged, &form, [&] { drawnMs = since(); });

    // One curve at a time: select the row, wait for Picture1's paint.
    FirstPaint curvePaint(picture1, [] { return true; }, [&] {
        curves[params[next]] = msBetween(curveStart, Clock::now());
        ++next;
        QTimer::singleShot(0, &app, [&] {
            if (next >= params.size()) {
                app.quit();
                return;
            }
            curvePaint.rearm();
            curveStart = Clock::now();
            grid1->selectGridRow(params[next] + 1);
            picture1->update();  // a curve without numbers paints nothing new
        });
    });
    double dataMs = -1;
    // The data may be painted before Open has drawn every view; the curves
    // wait until Open has returned.
    bool opened = false;
    std::function<void()> startCurves;
    FirstPaint dataPaint(grid1->viewport(), [&] { return form.document() && grid1->RowCount() > 1; }, [&] {
        dataMs = since();
        if (opened)
            QTimer::singleShot(0, &app, startCurves);
    });
    startCurves = [&] {
        params = curveParams(static_cast<int>(form.document()->log().ParamNames().size()) - 1);
        if (params.empty()) {
            app.quit();
            return;
        }
        curvePaint.rearm();
        curveStart = Clock::now();
        grid1->selectGridRow(params[0] + 1);
        picture1->update();
    };
    dataPaint.rearm();

    form.show();
    const double shownMs = since();
    form.openPath(log);
    if (!form.document() || !failure.empty()) {
        std::fprintf(stderr, "dlv-bench: opening %s failed: %s\n", argv[2], failure.c_str());
        return 1;
    }
    opened = true;
    if (dataMs >= 0)
        QTimer::singleShot(0, &app, startCurves);
    // Nothing more to wait for when the window is not on show.
    QTimer::singleShot(120000, &app, [&app] { app.exit(3); });
    const int code = app.exec();
    if (code != 0 || dataMs < 0)
        return code != 0 ? code : 1;

    std::printf("takes %lld\n", static_cast<long long>(form.document()->log().takeCount()));
    std::error_code sizeError;
    std::printf("file_bytes %.0f\n", static_cast<double>(std::filesystem::file_size(log, sizeError)));
    std::printf("peak_rss_kb %ld\n", peakRssKb());
    std::printf("fields %zu\n", form.document()->log().ParamNames().size() - 1);
    std::printf("app_ms %.2f\nshown_ms %.2f\nread_ms %.2f\ndrawn_ms %.2f\nstartup_to_data_ms %.2f\n", appMs, shownMs,
                readMs, drawnMs, dataMs);
    for (const auto& [param, ms] : curves)
        std::printf("first_curve_%d_ms %.2f\n", param, ms);
    return 0;
}

bool printStartupFigures(const std::string& self, const std::string& log, int runs,
                         std::optional<StartupTargets> targets)
{
    std::map<std::string, std::vector<double>> figures;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const auto spawn = Clock::now().time_since_epoch();
        child.start(QString::fromStdString(self),
                    {QString::fromLatin1(kChildFlag), QString::fromStdString(log),
                     QString::number(std::chrono::duration_cast<std::chrono::nanoseconds>(spawn).count())});
        if (!child.waitForFinished(180000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            std::fprintf(stderr, "dlv-bench: the start-up child on %s failed (exit %d)\n", log.c_str(),
                         child.exitCode());
            return false;
        }
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() == 2)
                figures[words[0].toStdString()].push_back(words[1].toDouble());
        }
    }
    if (!targets) {
        const bool tall = median(figures["takes"]) > 1000000;
        targets = tall ? StartupTargets{kTallStartupTargetMs, kTallFirstCurveTargetMs}
                       : StartupTargets{kStartupTargetMs, kFirstCurveTargetMs};
    }
    std::vector<double> worstCurves;  // of each run: its slowest first curve
    double worst = 0;
    int worstParam = -1;
    for (int run = 0; run < runs; ++run) {
        double slowest = 0;
        for (const auto& [key, values] : figures)
            if (key.rfind("first_curve_", 0) == 0 && static_cast<std::size_t>(run) < values.size()) {
                slowest = std::max(slowest, values[static_cast<std::size_t>(run)]);
                if (values[static_cast<std::size_t>(run)] >= worst) {
                    worst = values[static_cast<std::size_t>(run)];
                    worstParam = std::stoi(key.substr(12));
                }
            }
        worstCurves.push_back(slowest);
    }
    std::fprintf(stderr, "dlv-bench: start-up in a fresh process (median of %d): application %.0f ms, window shown "
                         "%.0f ms, log read %.0f ms, views drawn %.0f ms, first paint with data %.0f ms\n",
                 runs, median(figures["app_ms"]), median(figures["shown_ms"]), median(figures["read_ms"]),
                 median(figures["drawn_ms"]), median(figures["startup_to_data_ms"]));
    std::printf("startup_to_data_ms %.2f target %.0f\n", median(figures["startup_to_data_ms"]), targets->toDataMs);
    std::printf("first_curve_ms %.2f target %.0f\n", median(worstCurves), targets->firstCurveMs);
    const double fileKb = median(figures["file_bytes"]) / 1024;
    if (targets->peakPerFile > 0 && fileKb > 0)
        std::printf("startup_peak_rss_per_file %.2f target %.1f\n", median(figures["peak_rss_kb"]) / fileKb,
                    targets->peakPerFile);
    std::fprintf(stderr, "dlv-bench: first curves: slowest parameter %d (%.1f ms); each:", worstParam, worst);
    for (const auto& [key, values] : figures)
        if (key.rfind("first_curve_", 0) == 0)
            std::fprintf(stderr, " %s=%.1f", key.substr(12, key.size() - 15).c_str(), median(values));
    std::fprintf(stderr, "\n");
    return true;
}

}  // namespace dlv::bench
