#include "workbench/batch.h"

#include "datalog/columns.h"
#include "datalog/log_formats.h"
#include "datalog/own_log_stream.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"
#include "workbench/log_session.h"
#include "workbench/program.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

namespace dlv::workbench {

namespace {

struct LogOutcome {
    std::vector<BinnedTakes> tables;
    std::optional<BatchFailure> failure;
};

// Ends a stream whose log the workspace does not fit: the whole reading
// then words the fault as it always does.
struct NotStreamed {};

// The tables of a log of the own format computed a chunk at a time (see
// batch.h); nullopt when it does not stream or the workspace does not fit
// it, and then computeLog reads it whole. The same takes, values and order
// as over the whole log: each chunk's expressions are evaluated over its
// takes and the carried ones before them, each take's value from the same
// numbers by the same operations.
std::optional<LogOutcome> computeStreamed(const Workspace& workspace, const std::filesystem::path& path,
                                          std::size_t chunkBytes)
{
    std::optional<Program> program;
    std::vector<long long> params;
    std::size_t depth = 0;
    std::size_t firstChunkTakes = 0;
    std::size_t context = 0;      // takes carried over, before the chunk's own
    std::vector<Column> carried;  // each parameter's last `context` takes
    LogOutcome outcome;
    outcome.tables.resize(workspace.tables.size());
    try {
        const std::optional<std::vector<ReadWarning>> warnings = streamOwnLog(
            path, chunkBytes,
            [&](const TakeStore& chunk, int firstTake) {
                const auto takes = static_cast<std::size_t>(chunk.takeCount());
                if (!program) {
                    program = compileWorkspace(workspace, chunk.ParamNames());
                    if (!program->ok())
                        throw NotStreamed{};
                    params = programParameters(*program);
                    depth = static_cast<std::size_t>(lookBackDepth(*program));
                    firstChunkTakes = takes;
                    carried.resize(params.size());
                } else if (depth > firstChunkTakes) {
                    // Carrying more takes than a chunk holds would evaluate
                    // most takes more than twice: the whole log is cheaper.
                    throw NotStreamed{};
                }
                std::vector<Column> columns(params.size(), Column(context + takes));
                std::vector<double*> outs;
                for (std::size_t k = 0; k < params.size(); ++k) {
                    std::copy(carried[k].begin(), carried[k].end(), columns[k].begin());
                    outs.push_back(columns[k].data() + context);
                }
                parseColumnsInto(chunk, params, outs);
                const std::size_t keep = std::min(depth, context + takes);
                for (std::size_t k = 0; k < params.size(); ++k)
                    carried[k].assign(columns[k].end() - static_cast<std::ptrdiff_t>(keep), columns[k].end());
                std::size_t bytes = 0;
                for (const Column& column : columns)
                    bytes += column.size() * sizeof(double);
                auto cache = std::make_shared<ColumnCache>(
                    LogShape{chunk.ParamNames(), static_cast<int>(context + takes), chunk.fileBytes()},
                    [](std::span<const long long>, std::vector<Column>) -> std::vector<Column> {
                        throw NotStreamed{};  // every parameter the tables read is held
                    },
                    std::max<std::size_t>(bytes, 1));
                for (std::size_t k = 0; k < params.size(); ++k)
                    cache->insert(params[k], std::move(columns[k]));
                LogSession session(std::move(cache));
                for (std::size_t t = 0; t < workspace.tables.size(); ++t) {
                    BinnedTakes part = binTable(session, *program, workspace.tables[t], t, true, context,
                                                static_cast<std::uint64_t>(firstTake));
                    BinnedTakes& all = outcome.tables[t];
                    all.takes.insert(all.takes.end(), part.takes.begin(), part.takes.end());
                    all.cells.insert(all.cells.end(), part.cells.begin(), part.cells.end());
                    all.values.insert(all.values.end(), part.values.begin(), part.values.end());
                    all.kept += part.kept;
                    all.takeCount += part.takeCount;
                }
                context = keep;
            },
            ChunkIndex::Lines);
        if (!warnings || !program)
            return std::nullopt;
    } catch (const NotStreamed&) {
        return std::nullopt;
    }
    return outcome;
}

LogOutcome computeLog(const Workspace& workspace, const std::filesystem::path& path, LogFormat format,
                      std::size_t chunkBytes)
{
    const LogFormat readAs = fileLogFormat(path, format);
    if (readAs == LogFormat::Datalog)
        if (std::optional<LogOutcome> streamed = computeStreamed(workspace, path, chunkBytes))
            return std::move(*streamed);
    LogOutcome outcome;
    std::shared_ptr<const LogChannels> log;
    {
        const ReadResult read = readLog(path, readAs);
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
                          LogFormat format, std::size_t chunkBytes)
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
            outcomes[i] = computeLog(workspace, logs[i], format, chunkBytes);
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
