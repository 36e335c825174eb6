#pragma once

// datalog-viewer --compare WORKSPACE A.csv B.csv (or A1 A2 ... -- B1 B2 ...):
// each table of the workspace over the logs of A pooled and over those of B
// pooled, printed as B - A per cell and in percent of A, for scripts. No
// window and no display.

#include "datalog/log_channels.h"

#include <filesystem>
#include <iosfwd>
#include <vector>

namespace dlv {

// Prints, for each table, "# NAME (B - A)" and the difference in --tables'
// layout, then "# NAME (B - A, %)" and the percent, and returns 0. On failure
// prints nothing to out, one line naming the file and the reason to err, and
// returns as --tables does: 1 for a log that cannot be read (or when memory
// runs out), 2 for a bad workspace or bad arguments (a side without a log).
// The logs of A are read and computed first; the first failing log in the
// order A, then B, is reported. Never throws.
[[nodiscard]] int runCompareCommand(const std::filesystem::path& workspace, const std::vector<std::filesystem::path>& a,
                                    const std::vector<std::filesystem::path>& b, std::ostream& out,
                                    std::ostream& err, LogFormat format = LogFormat::Auto) noexcept;

}  // namespace dlv
