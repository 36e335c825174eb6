#pragma once

// The charts of a workspace over one log: the page its "charts" member holds,
// and the log's channels with the workspace's calculated channels evaluated
// and the takes the charts' filter keeps. No Qt.

#include "charts/chart_data.h"
#include "charts/chart_page.h"
#include "workbench/workspace.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dlv {

namespace workbench {
class LogSession;
}

// The page of workspace's "charts" member; no page and no error when it has
// none (the log's default page is meant).
[[nodiscard]] ChartPageResult workspaceChartPage(const workbench::Workspace& workspace);

// workspace with its "charts" member set to page (the default page of a log
// is written too, so that a saved workspace shows what was on show).
[[nodiscard]] workbench::Workspace withChartPage(workbench::Workspace workspace, const ChartPage& page);

struct WorkspaceChannels {
    std::shared_ptr<LogChannelSource> source;
    // What could not be computed on this log, one message each, naming the
    // channel or 'charts, filter' and the place in the expression. A channel
    // that fails is left out; a filter that fails keeps every take.
    std::vector<std::string> errors;
    // The filter's own fault among them, empty when it reads.
    std::string filterError;
};

// The log's parameters plus the workspace's calculated channels, and the
// filter (an expression over both; empty: none) as the source's keep mask:
// a take is kept when the filter is a number other than 0 there, as a
// table's filter counts it. Parses the parameters the expressions read in
// one pass, then evaluates every channel and the filter in bulk: O(takes x
// expression size). Throws std::bad_alloc only.
[[nodiscard]] WorkspaceChannels workspaceChannels(std::shared_ptr<ColumnCache> columns,
                                                  const workbench::Workspace& workspace, std::string_view filter);
// The same through a log's session: values it holds are reused, and the
// channels computed stay in it for the next caller (the Tables tab).
[[nodiscard]] WorkspaceChannels workspaceChannels(workbench::LogSession& session,
                                                  const workbench::Workspace& workspace, std::string_view filter);

// A workspace's charts worked out over a log whose columns cache holds: the
// channels and filter (their errors are the workspace's), and, when those
// have none, the page (or the log's default page) with its columns.
struct WorkspaceCharts {
    WorkspaceChannels channels;
    ResolvedPage page;
};
[[nodiscard]] WorkspaceCharts workspaceCharts(std::shared_ptr<ColumnCache> columns,
                                              const workbench::Workspace& workspace, const ChartPageResult& charts);

// The log parameters workspaceCharts reads over a log with these names (as
// ParamNames gives them), sorted, each once: found by working the charts
// out over a log of those names and no takes.
[[nodiscard]] std::vector<long long> chartParameters(const std::vector<std::string>& names,
                                                     const workbench::Workspace& workspace,
                                                     const ChartPageResult& charts);

// A log read for a workspace's charts: its columns, or the reason it could
// not be read (as readDataLog words it), and the reader's warnings.
struct ChartLog {
    std::shared_ptr<ColumnCache> columns;
    std::vector<ReadWarning> warnings;
    std::string error;
};

// Reads the log at path for the charts. Streamed when it can be (see
// streamColumns), so that a big log is never held whole: only the columns
// chartParameters names are kept, and a column asked for beyond them
// streams the file again (throwing std::runtime_error if the log changed
// meanwhile). Otherwise read whole, which also words what is wrong with a
// log that cannot be read. Throws std::bad_alloc.
// The log is read as format (Auto: by its content); only the own format streams.
[[nodiscard]] ChartLog readChartLog(const std::filesystem::path& path, const workbench::Workspace& workspace,
                                    const ChartPageResult& charts, LogFormat format = LogFormat::Auto);

}  // namespace dlv
