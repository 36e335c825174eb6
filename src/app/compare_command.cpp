#include "app/compare_command.h"

#include "app/workspace_command.h"
#include "workbench/batch.h"
#include "workbench/table_difference.h"

#include <ostream>
#include <string>

namespace dlv {

namespace {

constexpr std::string_view kWhat = "the comparison";

int run(const std::filesystem::path& workspacePath, const std::vector<std::filesystem::path>& a,
        const std::vector<std::filesystem::path>& b, std::ostream& out, std::ostream& err, LogFormat format)
{
    if (a.empty() || b.empty()) {
        err << "usage: datalog-viewer --compare WORKSPACE A.csv B.csv, or WORKSPACE A1 [A2 ...] -- B1 [B2 ...]\n";
        return 2;
    }
    const std::optional<workbench::Workspace> workspace = readCommandWorkspace(workspacePath, err);
    if (!workspace)
        return 2;
    // One side after the other, so the peak memory is that of --tables over one.
    std::vector<workbench::TableResult> overA;
    {
        workbench::BatchResult result = workbench::computeTables(*workspace, a, false, format);
        if (!result.ok())
            return reportBatchFailure(*result.failure, workspacePath, err);
        overA = std::move(result.tables);
    }
    const workbench::BatchResult overB = workbench::computeTables(*workspace, b, false, format);
    if (!overB.ok())
        return reportBatchFailure(*overB.failure, workspacePath, err);
    return writeCommandOutput(workbench::differencesText(*workspace, overA, overB.tables), kWhat, out, err);
}

}  // namespace

int runCompareCommand(const std::filesystem::path& workspace, const std::vector<std::filesystem::path>& a,
                      const std::vector<std::filesystem::path>& b, std::ostream& out, std::ostream& err,
                      LogFormat format) noexcept
{
    return guardedCommand(kWhat, err, [&] { return run(workspace, a, b, out, err, format); });
}

}  // namespace dlv
