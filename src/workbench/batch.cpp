#include "workbench/batch.h"

#include "datalog/columns.h"
#include "datalog/log_formats.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"
#include "workbench/log_session.h"
#include "workbench/program.h"

#include <atomic>

namespace dlv::workbench {

namespace {

struct LogOutcome {
    std::vector<BinnedTakes> tables;
    std::optional<BatchFailure> failure;
};

LogOutcome computeLog(const Workspace& workspace, const std::filesystem::path& path, LogFormat format)
{
    LogOutcome outcome;
    std::shared_ptr<const LogChannels> log;
    {
        const ReadResult read = readLog(path, format);
        if (!read.ok()) {
            outcome.failure = BatchFailure{BatchFailure::Kind::UnreadableLog, read.error};
            return outcome;
        }
        log = logOf(read);
    }
    const Program program = compileWorkspace(workspace, log->ParamNames());
    if (!program.ok()) {
        outcome.failure = BatchFailure{BatchFailure::Kind::BadWorkspace,
                                       program.errors.front().message + " (in log '" +
                                           displayText(path.string()) + "')"};
        return outcome;
    }
    // Expression values stay cached while the log is computed: tables often
    // share a filter. The session and its log go when this returns.
    LogSession session(std::make_shared<ColumnCache>(std::move(log)));
    session.prefetch(program);
    for (std::size_t t = 0; t < workspace.tables.size(); ++t)
        outcome.tables.push_back(binTable(session, program, workspace.tables[t], t, true));
    return outcome;
}

}  // namespace

BatchResult computeTables(const Workspace& workspace, std::span<const std::filesystem::path> logs, bool withTakes,
                          LogFormat format)
{
    BatchResult result;
    std::vector<LogOutcome> outcomes(logs.size());
    // Workers take the next log in order; a log after one that failed is
    // skipped, since only the first failure is reported.
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstFailure{logs.size()};
    runParts(partCount(logs.size(), 1), [&](std::size_t) {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= logs.size() || i > firstFailure.load())
                return;
            outcomes[i] = computeLog(workspace, logs[i], format);
            if (outcomes[i].failure) {
                std::size_t seen = firstFailure.load();
                while (i < seen && !firstFailure.compare_exchange_weak(seen, i)) {
                }
            }
        }
    });
    if (firstFailure.load() < logs.size()) {
        result.failure = outcomes[firstFailure.load()].failure;
        return result;
    }
    std::vector<BinnedTakes> perLog(logs.size());
    for (std::size_t t = 0; t < workspace.tables.size(); ++t) {
        for (std::size_t l = 0; l < logs.size(); ++l)
            perLog[l] = std::move(outcomes[l].tables[t]);
        result.tables.push_back(accumulateTable(workspace.tables[t], perLog, withTakes));
    }
    return result;
}

}  // namespace dlv::workbench
