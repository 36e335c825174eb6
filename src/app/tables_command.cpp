#include "app/tables_command.h"

#include "datalog/take_store.h"
#include "workbench/batch.h"
#include "workbench/workspace.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <ostream>
#include <sstream>
#include <string>

namespace dlv {

namespace {

constexpr const char* kProgram = "datalog-viewer: ";

std::string shownPath(const std::filesystem::path& path)
{
    return "'" + displayText(path.string()) + "'";
}

// The workspace file's bytes, or nullopt with the reason in error.
std::optional<std::string> readWorkspaceFile(const std::filesystem::path& path, std::string& error)
{
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = "Cannot read workspace " + shownPath(path) + ": it is a directory";
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "Cannot open workspace " + shownPath(path) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) {
        error = "Cannot read workspace " + shownPath(path) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return std::move(bytes).str();
}

int run(const std::filesystem::path& workspacePath, const std::vector<std::filesystem::path>& logs,
        std::ostream& out, std::ostream& err)
{
    if (logs.empty()) {
        err << "usage: datalog-viewer --tables WORKSPACE LOG [LOG ...]\n";
        return 2;
    }
    std::string error;
    const std::optional<std::string> text = readWorkspaceFile(workspacePath, error);
    if (!text) {
        err << kProgram << error << "\n";
        return 2;
    }
    const workbench::WorkspaceResult parsed = workbench::parseWorkspace(*text);
    if (!parsed.ok()) {
        err << kProgram << "workspace " << shownPath(workspacePath) << ": " << parsed.error << "\n";
        return 2;
    }
    const workbench::BatchResult result = workbench::computeTables(*parsed.workspace, logs);
    if (!result.ok()) {
        const bool unreadable = result.failure->kind == workbench::BatchFailure::Kind::UnreadableLog;
        err << kProgram << (unreadable ? "" : "workspace " + shownPath(workspacePath) + ": ")
            << result.failure->message << "\n";
        return unreadable ? 1 : 2;
    }
    // Whole, so that nothing reaches standard output unless everything worked.
    const std::string output = workbench::tablesText(*parsed.workspace, result.tables);
    out << output;
    out.flush();
    if (!out) {
        err << kProgram << "cannot write the tables to standard output\n";
        return 1;
    }
    return 0;
}

}  // namespace

int runTablesCommand(const std::filesystem::path& workspace, const std::vector<std::filesystem::path>& logs,
                     std::ostream& out, std::ostream& err) noexcept
{
    try {
        try {
            return run(workspace, logs, out, err);
        } catch (const std::bad_alloc&) {
            err << kProgram << "not enough memory for the tables\n";
        } catch (const std::exception& e) {
            err << kProgram << "the tables failed: " << e.what() << "\n";
        }
    } catch (...) {
        // Writing the message itself failed; the exit code still tells.
    }
    return 1;
}

}  // namespace dlv
