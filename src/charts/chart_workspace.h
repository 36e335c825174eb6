#pragma once

// The charts of a workspace over one log: the page its "charts" member holds,
// and the log's channels with the workspace's calculated channels evaluated
// and the takes the charts' filter keeps. No Qt.

#include "charts/chart_data.h"
#include "charts/chart_page.h"
#include "workbench/workspace.h"

#include <memory>
#include <string>
#include <vector>

namespace dlv {

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
};

// The log's parameters plus the workspace's calculated channels, and the
// filter (an expression over both; empty: none) as the source's keep mask:
// a take is kept when the filter is a number other than 0 there, as a
// table's filter counts it. Parses the parameters the expressions read in
// one pass, then evaluates every channel and the filter in bulk: O(takes x
// expression size). Throws std::bad_alloc only.
[[nodiscard]] WorkspaceChannels workspaceChannels(std::shared_ptr<ColumnCache> columns,
                                                  const workbench::Workspace& workspace, std::string_view filter);

}  // namespace dlv
