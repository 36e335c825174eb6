#pragma once

// What the commands that print a workspace's tables share (--tables,
// --compare): reading the workspace, reporting a failed batch with its exit
// code, writing the output whole, and turning an escaped exception into a
// message. Messages go to err, start with "datalog-viewer: " and name the
// file; nothing reaches out on failure.

#include "workbench/batch.h"
#include "workbench/workspace.h"

#include <exception>
#include <filesystem>
#include <iosfwd>
#include <new>
#include <optional>
#include <ostream>
#include <string_view>

namespace dlv {

inline constexpr std::string_view kCommandPrefix = "datalog-viewer: ";

// The workspace file's contents, or nullopt after a message naming the file.
[[nodiscard]] std::optional<workbench::Workspace> readCommandWorkspace(const std::filesystem::path& path,
                                                                       std::ostream& err);

// Prints the failure (naming the log, or the workspace and the table or
// channel) and returns the exit code: 1 for a log that cannot be read, 2 for
// a bad workspace.
[[nodiscard]] int reportBatchFailure(const workbench::BatchFailure& failure, const std::filesystem::path& workspace,
                                     std::ostream& err);

// Writes text to out and flushes it: 0, or 1 after "cannot write WHAT to
// standard output".
[[nodiscard]] int writeCommandOutput(std::string_view text, std::string_view what, std::ostream& out,
                                     std::ostream& err);

// command() or, when it throws, 1 after a message about what: "not enough
// memory for WHAT", "WHAT failed: ...". Never throws, even when the message
// cannot be written.
template <class Command>
[[nodiscard]] int guardedCommand(std::string_view what, std::ostream& err, Command&& command) noexcept
{
    try {
        try {
            return command();
        } catch (const std::bad_alloc&) {
            err << kCommandPrefix << "not enough memory for " << what << "\n";
        } catch (const std::exception& e) {
            err << kCommandPrefix << what << " failed: " << e.what() << "\n";
        } catch (...) {
            err << kCommandPrefix << what << " failed\n";
        }
    } catch (...) {
        // Writing the message itself failed; the exit code still tells.
    }
    return 1;
}

}  // namespace dlv
