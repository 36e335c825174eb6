// dlv-align-bench: times the automatic alignment of two logs, beside its
// target, after checking that it finds the offset built into them.
//
//   dlv-align-bench [LOG] [--runs N] [--shift TAKES]
//
// Log A is LOG's RPM channel over its time channel (read first, not timed),
// or without LOG an RPM channel of 300,000 takes at 10 Hz made up here. Log
// B is A from take TAKES on (default 12,345) on a clock of its own starting
// at 0, with as many takes of another drive after it and noise on every
// value, so that B matches A at the offset A's time at take TAKES.
// Prints "key value" lines on standard output (milliseconds: the median of N
// runs, default 5, after a warm-up; each run builds both logs' time axes
// and searches every offset):
//   align_takes            the takes of each log
//   align_ms               the automatic alignment (target < 200)
//   align_offset           the offset found, and the one built in
//   align_correlation      the correlation at that offset
// Exit code 0, 1 when the offset found is not the one built in or the log
// cannot be read, 2 for bad arguments.
#include "charts/automatic_alignment.h"
#include "charts/chart_data.h"
#include "datalog/log_formats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// An RPM channel as a drive gives it: the throttle wanders, RPM follows it.
std::vector<double> drive(int takes, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(takes));
    double target = 1500.0;
    double rpm = 800.0;
    for (int t = 0; t < takes; ++t) {
        if (unit(random) < 0.02)
            target = 800.0 + 2600.0 * unit(random);
        rpm += (target - rpm) * 0.1 + (unit(random) - 0.5) * 20.0;
        out.push_back(std::round(rpm / 25.0) * 25.0);
    }
    return out;
}

struct TwoLogs {
    std::shared_ptr<const dlv::Column> timeA;
    std::shared_ptr<const dlv::Column> rpmA;
    std::shared_ptr<dlv::Column> timeB;
    std::shared_ptr<dlv::Column> rpmB;
    double expected = 0.0;
};

// B from A's take shift on, on its own clock, then shift takes of another drive.
void makeB(TwoLogs& logs, int shift)
{
    const dlv::Column& time = *logs.timeA;
    const dlv::Column& rpm = *logs.rpmA;
    const auto n = static_cast<int>(rpm.size());
    const double step = (time[static_cast<std::size_t>(n - 1)] - time[0]) / (n - 1);
    logs.timeB = std::make_shared<dlv::Column>();
    logs.rpmB = std::make_shared<dlv::Column>();
    std::mt19937 random(99);
    std::uniform_real_distribution<double> noise(-30.0, 30.0);
    for (int t = shift; t < n; ++t) {
        logs.timeB->push_back(time[static_cast<std::size_t>(t)] - time[static_cast<std::size_t>(shift)]);
        logs.rpmB->push_back(rpm[static_cast<std::size_t>(t)] + noise(random));
    }
    const std::vector<double> other = drive(shift, 7);
    for (int t = 0; t < shift; ++t) {
        logs.timeB->push_back(logs.timeB->back() + step);
        logs.rpmB->push_back(other[static_cast<std::size_t>(t)] + noise(random));
    }
    logs.expected = time[static_cast<std::size_t>(shift)];
}

}  // namespace

int main(int argc, char** argv)
{
    const char* logPath = nullptr;
    int runs = 5;
    int shift = 12345;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--shift" && i + 1 < argc) {
            shift = std::atoi(argv[++i]);
        } else if (!logPath && !arg.starts_with("--")) {
            logPath = argv[i];
        } else {
            std::fprintf(stderr, "usage: dlv-align-bench [LOG] [--runs N] [--shift TAKES]\n");
            return 2;
        }
    }

    TwoLogs logs;
    if (logPath) {
        const dlv::ReadResult read = dlv::readLog(logPath);
        if (!read.ok()) {
            std::fprintf(stderr, "dlv-align-bench: %s\n", read.error.c_str());
            return 1;
        }
        dlv::LogChannelSource source(std::make_shared<dlv::ColumnCache>(dlv::logOf(read)));
        logs.rpmA = source.column("RPM");
        logs.timeA = source.timeColumn();
        if (!logs.rpmA || !logs.timeA || !dlv::isTimeColumn(*logs.timeA)) {
            std::fprintf(stderr, "dlv-align-bench: %s: needs an RPM channel and a time channel\n", logPath);
            return 1;
        }
    } else {
        const int takes = 300000;
        auto time = std::make_shared<dlv::Column>();
        for (int t = 0; t < takes; ++t)
            time->push_back(t / 10.0);
        logs.timeA = time;
        logs.rpmA = std::make_shared<const dlv::Column>(drive(takes, 1));
    }
    const auto takes = static_cast<int>(logs.rpmA->size());
    if (shift <= 0 || shift >= takes / 2) {
        std::fprintf(stderr, "dlv-align-bench: --shift must lie in 1 .. %d\n", takes / 2 - 1);
        return 2;
    }
    makeB(logs, shift);

    dlv::AlignmentResult result;
    auto align = [&] {
        const dlv::OverlayTime overlay(dlv::LogTimeline(logs.timeA, takes),
                                       dlv::LogTimeline(logs.timeB, static_cast<int>(logs.timeB->size())));
        result = dlv::findAlignment(overlay, *logs.rpmA, *logs.rpmB);
    };
    align();
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int run = 0; run < runs; ++run) {
        const double cpu0 = threadCpuMs();
        const auto start = Clock::now();
        align();
        walls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        cpus.push_back(threadCpuMs() - cpu0);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());

    std::printf("align_takes %d\n", takes);
    std::printf("align_ms %.2f\t(runs %.2f .. %.2f)\t(thread cpu %.2f)\t(target < 200)\n", walls[walls.size() / 2],
                walls.front(), walls.back(), cpus[cpus.size() / 2]);
    if (!result.ok()) {
        std::fprintf(stderr, "dlv-align-bench: no offset: %s\n", result.reason.c_str());
        return 1;
    }
    std::printf("align_offset %.6f\t(built in %.6f)\n", *result.offset, logs.expected);
    std::printf("align_correlation %.4f\n", result.correlation);
    const double tolerance = 1e-6 * std::max(1.0, std::abs(logs.expected));
    if (std::abs(*result.offset - logs.expected) > tolerance) {
        std::fprintf(stderr, "dlv-align-bench: the offset found is not the one built in\n");
        return 1;
    }
    return 0;
}
