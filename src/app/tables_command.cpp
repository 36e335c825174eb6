#include "app/tables_command.h"

#include "datalog/take_store.h"
#include "workbench/batch.h"
#include "workbench/workspace.h"
#include "workbench/workspace_file.h"

#include <new>
#include <ostream>
#include <string>

namespace dlv {

namespace {

constexpr const char* kProgram = "datalog-viewer: ";

int run(const std::filesystem::path& workspacePath, const std::vector<std::filesystem::path>& logs,
        std::ostream& out, std::ostream& err, LogFormat format)
{
    if (logs.empty()) {
        err << "usage: datalog-viewer --tables WORKSPACE LOG [LOG ...]\n";
        return 2;
    }
    const workbench::WorkspaceResult parsed = workbench::readWorkspaceFile(workspacePath);
    if (!parsed.ok()) {
        err << kProgram << parsed.error << "\n";
        return 2;
    }
    const workbench::BatchResult result = workbench::computeTables(*parsed.workspace, logs, false, format);
    if (!result.ok()) {
        const bool unreadable = result.failure->kind == workbench::BatchFailure::Kind::UnreadableLog;
        err << kProgram << (unreadable ? "" : "workspace " + workbench::quotedPath(workspacePath) + ": ")
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
                     std::ostream& out, std::ostream& err, LogFormat format) noexcept
{
    try {
        try {
            return run(workspace, logs, out, err, format);
        } catch (const std::bad_alloc&) {
            err << kProgram << "not enough memory for the tables\n";
        } catch (const std::exception& e) {
            err << kProgram << "the tables failed: " << e.what() << "\n";
        } catch (...) {
            err << kProgram << "the tables failed\n";
        }
    } catch (...) {
        // Writing the message itself failed; the exit code still tells.
    }
    return 1;
}

}  // namespace dlv
