#pragma once

// The tables of a workspace over several logs at once, as --tables computes
// them: the logs are read and computed in parallel (every core), each is
// dropped once its takes are binned, and the cells are folded in the order
// the logs were given. Peak memory: about one log (file, index, the columns
// and channels used) per core at a time, plus 16 bytes per binned take.

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

// A failure of the first log (in the given order) that fails is reported;
// logs after it are not computed. Throws std::bad_alloc only.
// Each log is read as format (Auto: each by its own content).
[[nodiscard]] BatchResult computeTables(const Workspace& workspace, std::span<const std::filesystem::path> logs,
                                        bool withTakes = false, LogFormat format = LogFormat::Auto);

}  // namespace dlv::workbench
