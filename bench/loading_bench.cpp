#include "loading_bench.h"

#include "window/form1.h"

#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace dlv::bench {

namespace {

using Clock = std::chrono::steady_clock;

// The window is to repaint at least this often while a log is read.
constexpr double kTargetGapMs = 100.0;
constexpr int kTickMs = 10;
// Opens measured; the figure is the median of their largest gaps.
constexpr int kOpens = 3;

// The largest gap between the moments it is told of, from start to stop.
class GapMeter final {
public:
    void start()
    {
        m_start = Clock::now();
        m_last = m_start;
        m_largest = 0.0;
        m_largestEnd = 0.0;
    }
    void mark()
    {
        if (!m_last)
            return;
        const Clock::time_point now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - *m_last).count();
        if (gap > m_largest) {
            m_largest = gap;
            m_largestEnd = std::chrono::duration<double, std::milli>(now - m_start).count();
        }
        m_last = now;
    }
    void stop()
    {
        mark();
        m_last.reset();
    }
    [[nodiscard]] double largestMs() const noexcept { return m_largest; }
    // When the largest gap ended, in ms from start.
    [[nodiscard]] double largestEndMs() const noexcept { return m_largestEnd; }

private:
    Clock::time_point m_start;
    std::optional<Clock::time_point> m_last;  // none: not measuring
    double m_largest = 0.0;
    double m_largestEnd = 0.0;
};

// Marks every paint event the window itself receives.
class PaintMarker final : public QObject {
public:
    PaintMarker(QWidget* window, GapMeter& meter) : m_window(window), m_meter(meter) { window->installEventFilter(this); }
    ~PaintMarker() override { m_window->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint)
            m_meter.mark();
        return false;
    }

private:
    QWidget* m_window;
    GapMeter& m_meter;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One Open, its largest gaps, or none when it failed.
std::optional<std::pair<GapMeter, GapMeter>> measureOneOpen(Form1& form, const QString& path)
{
    GapMeter ticks;
    GapMeter paints;
    QTimer timer;
    timer.setInterval(kTickMs);
    QObject::connect(&timer, &QTimer::timeout, &form, [&] {
        ticks.mark();
        form.update();
    });
    bool started = false;
    const QMetaObject::Connection onStart = QObject::connect(&form, &Form1::loadStarted, &form, [&] {
        started = true;
        ticks.start();
        paints.start();
        timer.start();
    });
    const QMetaObject::Connection onRead = QObject::connect(&form, &Form1::loadRead, &form, [&] {
        timer.stop();
        ticks.stop();
        paints.stop();
    });
    {
        const PaintMarker marker(&form, paints);
        form.openFile(path);
    }
    QObject::disconnect(onStart);
    QObject::disconnect(onRead);
    if (!started || !form.store())
        return std::nullopt;
    return std::pair{ticks, paints};
}

void printFigure(const char* key, const std::vector<GapMeter>& opens)
{
    std::vector<double> gaps;
    for (const GapMeter& meter : opens)
        gaps.push_back(meter.largestMs());
    const double ms = median(gaps);
    std::printf("%s %.2f\n", key, ms);
    std::fprintf(stderr, "dlv-bench: %-18s %8.2f ms   target <= %.0f ms: %s (median of %zu opens; largest gaps:", key,
                 ms, kTargetGapMs, ms <= kTargetGapMs ? "met" : "MISSED", opens.size());
    const char* separator = " ";
    for (const GapMeter& meter : opens) {
        std::fprintf(stderr, "%s%.1f ms ending %.0f ms into the reading", separator, meter.largestMs(),
                     meter.largestEndMs());
        separator = ", ";
    }
    std::fprintf(stderr, ")\n");
}

}  // namespace

bool reportLoadingRepaints(Form1& form, const QString& path)
{
    std::vector<GapMeter> ticks;
    std::vector<GapMeter> paints;
    for (int i = 0; i < kOpens; ++i) {
        const auto gaps = measureOneOpen(form, path);
        if (!gaps) {
            std::fprintf(stderr, "dlv-bench: opening %s while timing repaints failed\n", qPrintable(path));
            return false;
        }
        ticks.push_back(gaps->first);
        paints.push_back(gaps->second);
    }
    printFigure("load_tick_gap_ms", ticks);
    printFigure("load_paint_gap_ms", paints);
    return true;
}

}  // namespace dlv::bench
