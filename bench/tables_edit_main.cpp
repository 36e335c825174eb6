// dlv-tables-edit: how long the workbench takes to recompute after an edit,
// as a window that edits tables live would, on one log whose columns are
// already parsed (the workspace computed once before).
//
//   dlv-tables-edit LOG WORKSPACE [--runs N] [--with LOG2]
//
// Prints "key value" lines, milliseconds, the median of N runs (default 5);
// every run edits something new, so nothing comes from the cache by luck:
//   edit_filter_ms    table 1's filter changes: compile, evaluate it, bin, fold
//   edit_axis_ms      table 1's x breakpoints move: bin and fold again
//   edit_channel_ms   the last channel changes: it and the tables that read it
//   edit_stat_ms      table 1's statistic changes: fold again
// With --with, then the Tables tab's table 1 over LOG and LOG2 open at once
// (computeShownTable on both sessions, as the window calls it), against the
// target in pooled_target_ms (50), each also as the processor time of all
// threads (KEY_cpu_ms: on a busy machine the wall time grows with the load,
// the processor time far less):
//   pooled_filter_ms, pooled_axis_ms, pooled_channel_ms, pooled_stat_ms
//                     the same edits, the pooled table shown again
//   difference_ms     a filter edit, then LOG2 minus LOG (computeShownDifference)
// Exit code 0, 1 when a file cannot be read, 2 for bad arguments.
#include "datalog/columns.h"
#include "datalog/take_store.h"
#include "workbench/table_session.h"
#include "workbench/workbench.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

namespace {

using namespace dlv::workbench;

double processCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The median wall time of the runs and, beside it, the median processor
// time of every thread of the process: on a machine shared with other work
// the wall time grows with the load, the processor time far less.
struct Timing {
    double wallMs = 0;
    double cpuMs = 0;
};

Timing medianTiming(int runs, const std::function<void(int)>& step)
{
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processCpuMs();
        step(run);
        cpus.push_back(processCpuMs() - cpuStart);
        walls.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

double medianMs(int runs, const std::function<void(int)>& step)
{
    return medianTiming(runs, step).wallMs;
}

// What a window keeps per table between edits.
struct Shown {
    std::vector<BinnedTakes> binned;
    std::vector<TableResult> results;
};

void recompute(LogSession& session, const Workspace& workspace, const Program& program, Shown& shown,
               std::size_t table)
{
    shown.binned[table] = binTable(session, program, workspace.tables[table], table, true);
    shown.results[table] = accumulateTable(workspace.tables[table], std::span(&shown.binned[table], 1), false);
}

constexpr double kPooledTargetMs = 50;

// Table 1 shown over two open logs after each kind of edit, as the Tables
// tab recomputes it; the sessions keep what the edits leave unchanged.
int timePooled(Workspace workspace, LogSession& first, const char* secondPath, int runs)
{
    const dlv::ReadResult read = dlv::readDataLog(secondPath);
    if (!read.ok()) {
        std::fprintf(stderr, "dlv-tables-edit: %s\n", read.error.c_str());
        return 1;
    }
    LogSession second(std::make_shared<dlv::ColumnCache>(read.store));
    LogSession* const both[] = {&first, &second};
    bool failed = false;
    const auto show = [&] {
        const dlv::TableOutcome outcome = dlv::computeShownTable(both, workspace, 0);
        failed = failed || !outcome.table;
    };
    show();  // parses the second log's columns once, as its first showing would
    Table& table = workspace.tables[0];
    const std::string filter = table.filter.empty() ? "1" : table.filter;
    const auto editFilter = [&](int run) {
        table.filter = filter + " && " + table.x + " > " + std::to_string(-2000 - run);
    };
    const Timing editedFilter = medianTiming(runs, [&](int run) {
        editFilter(run);
        show();
    });
    const Timing editedAxis = medianTiming(runs, [&](int run) {
        for (double& breakpoint : table.xAxis)
            breakpoint += run % 2 ? 0.5 : -0.5;
        show();
    });
    Channel& channel = workspace.channels.back();
    const std::string expr = channel.expr;
    const Timing editedChannel = medianTiming(runs, [&](int run) {
        channel.expr = "(" + expr + ") + " + std::to_string(run + 100) + " - " + std::to_string(run + 100);
        show();
    });
    const Timing editedStat = medianTiming(runs, [&](int run) {
        table.stat = run % 2 ? Stat::Median : Stat::Stddev;
        show();
    });
    const Timing difference = medianTiming(runs, [&](int run) {
        editFilter(run + 1000);
        LogSession* const a[] = {&first};
        LogSession* const b[] = {&second};
        failed = failed || !dlv::computeShownDifference(a, b, workspace, 0).table;
    });
    if (failed) {
        std::fprintf(stderr, "dlv-tables-edit: table 1 has an error over one of the logs\n");
        return 1;
    }
    std::printf("takes_with %d\n", read.store->takeCount());
    for (const auto& [key, ms] : {std::pair{"pooled_filter", editedFilter}, {"pooled_axis", editedAxis},
                                  {"pooled_channel", editedChannel}, {"pooled_stat", editedStat},
                                  {"difference", difference}})
        std::printf("%s_ms %.2f\n%s_cpu_ms %.2f\n", key, ms.wallMs, key, ms.cpuMs);
    std::printf("pooled_target_ms %.0f\n", kPooledTargetMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    const char* with = nullptr;
    bool usage = argc < 3;
    for (int i = 3; i < argc && !usage; i += 2) {
        if (i + 1 < argc && std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (i + 1 < argc && std::strcmp(argv[i], "--with") == 0)
            with = argv[i + 1];
        else
            usage = true;
    }
    if (usage) {
        std::fprintf(stderr, "usage: dlv-tables-edit LOG WORKSPACE [--runs N] [--with LOG2]\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    WorkspaceResult parsed = parseWorkspace(text.str());
    if (!parsed.ok() || parsed.workspace->tables.empty() || parsed.workspace->channels.empty()) {
        std::fprintf(stderr, "dlv-tables-edit: %s: %s\n", argv[2],
                     parsed.ok() ? "needs a table and a channel" : parsed.error.c_str());
        return 1;
    }
    const Workspace original = *parsed.workspace;
    Workspace workspace = original;
    const dlv::ReadResult read = dlv::readDataLog(argv[1]);
    if (!read.ok()) {
        std::fprintf(stderr, "dlv-tables-edit: %s\n", read.error.c_str());
        return 1;
    }
    LogSession session(std::make_shared<dlv::ColumnCache>(read.store));
    Program program = compileWorkspace(workspace, read.store->ParamNames());
    if (!program.ok()) {
        std::fprintf(stderr, "dlv-tables-edit: %s\n", program.errors.front().message.c_str());
        return 1;
    }
    Shown shown{std::vector<BinnedTakes>(workspace.tables.size()), std::vector<TableResult>(workspace.tables.size())};
    session.prefetch(program);
    for (std::size_t t = 0; t < workspace.tables.size(); ++t)
        recompute(session, workspace, program, shown, t);

    Table& first = workspace.tables[0];
    const std::string filter = first.filter.empty() ? "1" : first.filter;
    const double editFilter = medianMs(runs, [&](int run) {
        first.filter = filter + " && " + first.x + " > " + std::to_string(-1000 - run);
        program = compileWorkspace(workspace, read.store->ParamNames());
        recompute(session, workspace, program, shown, 0);
        session.keepOnly(program);
    });
    const double editAxis = medianMs(runs, [&](int run) {
        for (double& breakpoint : first.xAxis)
            breakpoint += run % 2 ? 0.5 : -0.5;
        recompute(session, workspace, program, shown, 0);
    });
    Channel& channel = workspace.channels.back();
    const std::string expr = channel.expr;
    const double editChannel = medianMs(runs, [&](int run) {
        channel.expr = "(" + expr + ") + " + std::to_string(run) + " - " + std::to_string(run);
        const Program before = std::move(program);
        program = compileWorkspace(workspace, read.store->ParamNames());
        // Only the tables that read the channel, as a window would.
        for (std::size_t t = 0; t < workspace.tables.size(); ++t)
            if (tableKey(program, t) != tableKey(before, t))
                recompute(session, workspace, program, shown, t);
        session.keepOnly(program);
    });
    const double editStat = medianMs(runs, [&](int run) {
        first.stat = run % 2 ? Stat::Median : Stat::Stddev;
        shown.results[0] = accumulateTable(first, std::span(&shown.binned[0], 1), false);
    });
    std::printf("takes %d\nedit_filter_ms %.2f\nedit_axis_ms %.2f\nedit_channel_ms %.2f\nedit_stat_ms %.2f\n",
                read.store->takeCount(), editFilter, editAxis, editChannel, editStat);
    return with ? timePooled(original, session, with, runs) : 0;
}
