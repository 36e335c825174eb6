// dlv-logs-bench: several logs in one window, timed through the real window
// (offscreen), beside their targets.
//
//   dlv-logs-bench LOG_A LOG_B [--runs N]
//
// Opens both logs (B on show last, then A shown again) and prints "key
// value" lines on standard output (milliseconds, the median of N runs,
// default 7):
//   switch_ms              showing the other open log, the window repainted (target < 50)
//   overlay_repaint_ms     a page of 6 panes of 4 channels with B overlaid, repainted after the
//                          cursor moved (target < 16)
//   overlay_first_ms       overlaying B: its channels resolved and the first paint
//   align_window_ms        Align in the Charts tab: the offset by RPM (target < 200)
//   pooled_ms              the Tables tab's table over both logs pooled, after a Min hits edit (target < 50)
//   rss_before_mb, rss_open_mb, rss_closed_mb, rss_again_mb
//                          resident memory with A alone (before its charts and tables), with B
//                          open too, after closing B (A keeps the columns its tabs parsed) and
//                          with B opened again (target: no more than with B open the first time)
// Exit code 0; 1 when a log cannot be opened; 2 for bad arguments.
#include "render/chart_renderer.h"
#include "views/log_document.h"
#include "window/charts_tab.h"
#include "window/form1.h"
#include "window/tables_tab.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTabWidget>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double timedMs(const std::function<void()>& work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

double rssMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / 1048576.0;
}

// Opens path in the window and waits until it is on show; false on failure.
bool openLog(dlv::Form1& form, const std::string& path)
{
    const std::size_t before = form.documents().size();
    form.openPath(path);
    QElapsedTimer clock;
    clock.start();
    while ((form.isLoading() || form.documents().size() == before) && clock.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return form.documents().size() > before;
}

void figure(const char* key, double ms, const char* target)
{
    std::printf("%-20s %10.2f   target %s\n", key, ms, target);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<std::string> logs;
    int runs = 7;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            logs.push_back(arg);
    }
    if (logs.size() != 2) {
        std::fprintf(stderr, "usage: dlv-logs-bench LOG_A LOG_B [--runs N]\n");
        return 2;
    }
    QApplication app(argc, argv);
    dlv::Form1 form;
    form.setMessageHandler([](dlv::Form1::MessageKind, const QString&, const QString& text) {
        std::fprintf(stderr, "dlv-logs-bench: %s\n", text.toLocal8Bit().constData());
    });
    form.show();
    if (!openLog(form, logs[0]))
        return 1;
    QApplication::processEvents();
    malloc_trim(0);
    const double before = rssMb();
    if (!openLog(form, logs[1]))
        return 1;

    // Switching between the two, as Ctrl+Tab does, until the window is painted.
    std::vector<double> switches;
    for (int r = 0; r < runs * 2; ++r)
        switches.push_back(timedMs([&] {
            form.showLog(r % 2);
            form.repaint();
        }));
    form.showLog(0);

    // The Charts tab with B overlaid.
    auto* tabs = form.findChild<QTabWidget*>("Tab1");
    auto* charts = form.findChild<dlv::ChartsTab*>();
    tabs->setCurrentWidget(charts);
    QApplication::processEvents();
    // 6 panes of 4 channels: the log's parameters after its time, in order.
    {
        const std::vector<std::string>& names = form.documents().front()->log().ParamNames();
        dlv::ChartPage page;
        for (int p = 0; p < 6; ++p) {
            dlv::ChartPane pane;
            for (int k = 0; k < 4; ++k) {
                const std::size_t at = 1 + static_cast<std::size_t>(p * 4 + k);
                if (at + 1 < names.size())
                    pane.channels.push_back({names[at], std::nullopt});
            }
            page.panes.push_back(std::move(pane));
        }
        charts->setPage(std::move(page));
    }
    std::vector<double> firsts;
    for (int r = 0; r < runs; ++r) {
        charts->overlay(-1);
        firsts.push_back(timedMs([&] {
            charts->overlay(0);
            charts->view()->repaint();
        }));
    }
    const int lastTake = charts->view()->renderer().lastTake();
    std::vector<double> repaints;
    for (int r = 0; r < runs; ++r)
        repaints.push_back(timedMs([&] {
            charts->view()->setCursorTake(lastTake / 3 + r);
            charts->view()->repaint();
        }));
    std::vector<double> aligns;
    for (int r = 0; r < runs; ++r)
        aligns.push_back(timedMs([&] {
            if (!charts->alignAutomatically())
                std::fprintf(stderr, "dlv-logs-bench: no alignment: %s\n", charts->statusText().toLocal8Bit().constData());
        }));

    // The Tables tab over both logs pooled.
    tabs->setCurrentWidget(form.tablesTab());
    QApplication::processEvents();
    auto* pool = form.findChild<QComboBox*>("tablePool");
    pool->setCurrentIndex(1);
    emit pool->activated(1);
    auto* minHits = form.findChild<QSpinBox*>("minHits");
    std::vector<double> pooled;
    for (int r = 0; r < runs; ++r) {
        minHits->setValue(minHits->value() == 1 ? 2 : 1);
        pooled.push_back(form.tablesTab()->lastComputeMillis());
    }

    const double open = rssMb();
    tabs->setCurrentIndex(0);
    form.closeLog(1);
    QApplication::processEvents();
    malloc_trim(0);
    const double closed = rssMb();
    if (!openLog(form, logs[1]))
        return 1;
    malloc_trim(0);
    const double again = rssMb();

    figure("switch_ms", median(switches), "< 50");
    figure("overlay_first_ms", median(firsts), "");
    figure("overlay_repaint_ms", median(repaints), "< 16");
    figure("align_window_ms", median(aligns), "< 200");
    figure("pooled_ms", median(pooled), "< 50");
    std::printf("%-20s %10.1f\n%-20s %10.1f\n%-20s %10.1f\n", "rss_before_mb", before, "rss_open_mb", open,
                "rss_closed_mb", closed);
    std::printf("%-20s %10.1f   target <= %.1f (as open the first time)\n", "rss_again_mb", again, open);
    return 0;
}
