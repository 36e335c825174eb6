#include "app/tables_command.h"

#include "app/workspace_command.h"
#include "workbench/batch.h"
#include "workbench/table.h"

#include <ostream>
#include <string>

namespace dlv {

namespace {

constexpr std::string_view kWhat = "the tables";

int run(const std::filesystem::path& workspacePath, const std::vector<std::filesystem::path>& logs,
        std::ostream& out, std::ostream& err, LogFormat format)
{
    if (logs.empty()) {
        err << "usage: datalog-viewer --tables WORKSPACE LOG [LOG ...]\n";
        return 2;
    }
    const std::optional<workbench::Workspace> workspace = readCommandWorkspace(workspacePath, err);
    if (!workspace)
        return 2;
    const workbench::BatchResult result = workbench::computeTables(*workspace, logs, false, format);
    if (!result.ok())
        return reportBatchFailure(*result.failure, workspacePath, err);
    // Whole, so that nothing reaches standard output unless everything worked.
    return writeCommandOutput(workbench::tablesText(*workspace, result.tables), kWhat, out, err);
}

}  // namespace

int runTablesCommand(const std::filesystem::path& workspace, const std::vector<std::filesystem::path>& logs,
                     std::ostream& out, std::ostream& err, LogFormat format) noexcept
{
    return guardedCommand(kWhat, err, [&] { return run(workspace, logs, out, err, format); });
}

}  // namespace dlv
