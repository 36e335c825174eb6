#include "app/workspace_command.h"

#include "workbench/workspace_file.h"

#include <ostream>
#include <string>

namespace dlv {

std::optional<workbench::Workspace> readCommandWorkspace(const std::filesystem::path& path, std::ostream& err)
{
    workbench::WorkspaceResult parsed = workbench::readWorkspaceFile(path);
    if (!parsed.ok()) {
        err << kCommandPrefix << parsed.error << "\n";
        return std::nullopt;
    }
    return std::move(parsed.workspace);
}

int reportBatchFailure(const workbench::BatchFailure& failure, const std::filesystem::path& workspace,
                       std::ostream& err)
{
    const bool unreadable = failure.kind == workbench::BatchFailure::Kind::UnreadableLog;
    err << kCommandPrefix << (unreadable ? "" : "workspace " + workbench::quotedPath(workspace) + ": ")
        << failure.message << "\n";
    return unreadable ? 1 : 2;
}

int writeCommandOutput(std::string_view text, std::string_view what, std::ostream& out, std::ostream& err)
{
    out << text;
    out.flush();
    if (!out) {
        err << kCommandPrefix << "cannot write " << what << " to standard output\n";
        return 1;
    }
    return 0;
}

}  // namespace dlv
