#pragma once

// Reading a workspace file from disk, for the commands that take one. O(file).

#include "workbench/workspace.h"

#include <filesystem>
#include <string>

namespace dlv::workbench {

// The file's workspace, or the error naming the file: "Cannot open workspace
// 'w.json': No such file or directory", "workspace 'w.json': bad JSON at line
// 2, column 1: ...". Never throws but std::bad_alloc.
[[nodiscard]] WorkspaceResult readWorkspaceFile(const std::filesystem::path& path);

// A file name as messages quote it: 'name', control bytes escaped.
[[nodiscard]] std::string quotedPath(const std::filesystem::path& path);

}  // namespace dlv::workbench
