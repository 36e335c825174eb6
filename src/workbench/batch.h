#pragma once

// The tables of a workspace over several logs at once, as --tables computes
// them: the logs are read and computed in parallel (every core), and the
// cells are folded in the order the logs were given. A log of the own
// format is streamed: a chunk of its lines at a time, only the parameters
// the tables read parsed, the channels and tables worked out over the chunk
// (with the takes before it that its look-backs reach, carried over from
// the chunk before) and its takes binned. Peak memory: a chunk's pages,
// index and columns per core at a time, plus 16 bytes per binned take. A
// log that does not stream (of another format, or changing while read, or
// with a line longer than a chunk), or a workspace that looks back farther
// than the first chunk's takes, is read whole and computed so (file, index,
// the columns and channels used).

#include "datalog/log_channels.h"
#include "workbench/table.h"
#include "workbench/workspace.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dlv::workbench {

struct BatchFailure {
    enum class Kind { UnreadableLog, BadWorkspace };
    Kind kind = Kind::BadWorkspace;
    std::string message;  // names the log and the reason, or the table / channel and the fault
};

struct BatchResult {
    std::vector<TableResult> tables;  // one per table of the workspace
    std::optional<BatchFailure> failure;
    [[nodiscard]] bool ok() const noexcept { return !failure.has_value(); }
};

// Bytes of data lines a streamed log is worked out over at a time: large
// enough that a chunk's passes are split over every core, small enough to
// stay a small part of the log's size.
inline constexpr std::size_t kTablesChunkBytes = std::size_t{8} << 20;

// A failure of the first log (in the given order) that fails is reported;
// logs after it are not computed. Throws std::bad_alloc only. Each log is
// read as format (Auto: each by its own content). chunkBytes: of a streamed
// log (a line longer than that makes the log read whole).
[[nodiscard]] BatchResult computeTables(const Workspace& workspace, std::span<const std::filesystem::path> logs,
                                        bool withTakes = false, LogFormat format = LogFormat::Auto,
                                        std::size_t chunkBytes = kTablesChunkBytes);

}  // namespace dlv::workbench
