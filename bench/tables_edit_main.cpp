// dlv-tables-edit: how long the workbench takes to recompute after an edit,
// as a window that edits tables live would, on one log whose columns are
// already parsed (the workspace computed once before).
//
//   dlv-tables-edit LOG WORKSPACE [--runs N]
//
// Prints "key value" lines, milliseconds, the median of N runs (default 5);
// every run edits something new, so nothing comes from the cache by luck:
//   edit_filter_ms    table 1's filter changes: compile, evaluate it, bin, fold
//   edit_axis_ms      table 1's x breakpoints move: bin and fold again
//   edit_channel_ms   the last channel changes: it and the tables that read it
//   edit_stat_ms      table 1's statistic changes: fold again
// Exit code 0, 1 when a file cannot be read, 2 for bad arguments.
#include "datalog/columns.h"
#include "datalog/take_store.h"
#include "workbench/workbench.h"

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

double medianMs(int runs, const std::function<void(int)>& step)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        step(run);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--runs") == 0)) {
        std::fprintf(stderr, "usage: dlv-tables-edit LOG WORKSPACE [--runs N]\n");
        return 2;
    }
    const int runs = argc == 5 ? std::max(1, std::atoi(argv[4])) : 5;
    std::ifstream file(argv[2], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    WorkspaceResult parsed = parseWorkspace(text.str());
    if (!parsed.ok() || parsed.workspace->tables.empty() || parsed.workspace->channels.empty()) {
        std::fprintf(stderr, "dlv-tables-edit: %s: %s\n", argv[2],
                     parsed.ok() ? "needs a table and a channel" : parsed.error.c_str());
        return 1;
    }
    Workspace workspace = *parsed.workspace;
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
    return 0;
}
