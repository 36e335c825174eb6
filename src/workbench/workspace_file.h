#pragma once

// Reading a workspace file from disk, in one place for the commands and the
// window. O(file).

#include "workbench/workspace.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace dlv::workbench {

// A workspace is a regular file of at most this many bytes: anything larger
// is no workspace anyone wrote, and would only fill the memory.
inline constexpr std::size_t kMaxWorkspaceFileBytes = std::size_t{64} << 20;

// A workspace file's bytes, or why they could not be had: the reason alone
// ("the file does not exist", "it is not a regular file", "it is larger than
// 64 MiB, more than a workspace holds", "not enough memory to read it") and
// whether opening failed or reading.
struct WorkspaceBytes {
    std::optional<std::string> text;
    std::string reason;
    bool opened = false;  // the file opened; reading it failed
    [[nodiscard]] bool ok() const noexcept { return text.has_value(); }
};

// Reads the file at path whole: a regular file only, opened so that a FIFO
// never holds the caller up (the window calls this on its own thread), of at
// most kMaxWorkspaceFileBytes. Files that cannot be sized (/proc) are read to
// their end, up to the same limit. Never throws.
[[nodiscard]] WorkspaceBytes readWorkspaceBytes(const std::filesystem::path& path) noexcept;

// The file's workspace, or the error naming the file: "Cannot open workspace
// 'w.json': the file does not exist", "workspace 'w.json': bad JSON at line
// 2, column 1: ...". Never throws.
[[nodiscard]] WorkspaceResult readWorkspaceFile(const std::filesystem::path& path) noexcept;

// A file name as messages quote it: 'name', control bytes escaped.
[[nodiscard]] std::string quotedPath(const std::filesystem::path& path);

}  // namespace dlv::workbench
