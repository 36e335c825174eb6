#pragma once

// datalog-viewer --export-csv LOG OUT.csv: a log of any format written in
// the datalog format, for any other tool. No window and no display.

#include "datalog/log_channels.h"

#include <filesystem>
#include <iosfwd>

namespace dlv {

// Writes OUT through a file beside it that replaces OUT only once every
// byte is written, and returns 0; on failure leaves OUT as it was, prints
// one line naming the file and the reason to err and returns 1. The
// reader's warnings go to err too. Never throws.
[[nodiscard]] int runExportCommand(const std::filesystem::path& log, const std::filesystem::path& out,
                                   LogFormat format, std::ostream& err) noexcept;

}  // namespace dlv
