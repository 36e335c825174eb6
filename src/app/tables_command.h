#pragma once

// datalog-viewer --tables WORKSPACE LOG [LOG ...]: the workspace's tables over
// the logs, printed for scripts. No window and no display.

#include "datalog/log_channels.h"

#include <filesystem>
#include <iosfwd>
#include <vector>

namespace dlv {

// Prints the tables to out and returns 0; on failure prints nothing to out,
// one line naming the file and the reason to err, and returns 1 for a log
// that cannot be read (or when memory runs out), 2 for a bad workspace or bad
// arguments (no log). Never throws.
[[nodiscard]] int runTablesCommand(const std::filesystem::path& workspace,
                                   const std::vector<std::filesystem::path>& logs, std::ostream& out,
                                   std::ostream& err, LogFormat format = LogFormat::Auto) noexcept;

}  // namespace dlv
