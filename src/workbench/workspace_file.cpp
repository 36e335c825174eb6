#include "workbench/workspace_file.h"

#include "datalog/display_text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace dlv::workbench {

std::string quotedPath(const std::filesystem::path& path)
{
    return "'" + quotedText(path.native()) + "'";
}

WorkspaceResult readWorkspaceFile(const std::filesystem::path& path)
{
    WorkspaceResult result;
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        result.error = "Cannot read workspace " + quotedPath(path) + ": it is a directory";
        return result;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.error = "Cannot open workspace " + quotedPath(path) + ": " + std::strerror(errno);
        return result;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) {
        result.error = "Cannot read workspace " + quotedPath(path) + ": " + std::strerror(errno);
        return result;
    }
    result = parseWorkspace(std::move(bytes).str());
    if (!result.ok())
        result.error = "workspace " + quotedPath(path) + ": " + result.error;
    return result;
}

}  // namespace dlv::workbench
