#include "charts/chart_workspace.h"

#include "datalog/take_store.h"
#include "workbench/log_session.h"
#include "workbench/program.h"
#include "workbench/table.h"

#include <nlohmann/json.hpp>

namespace dlv {

ChartPageResult workspaceChartPage(const workbench::Workspace& workspace)
{
    if (!workspace.charts || workspace.charts->is_null())
        return {};
    return parseChartPage(*workspace.charts, "charts");
}

workbench::Workspace withChartPage(workbench::Workspace workspace, const ChartPage& page)
{
    workspace.charts = chartPageJson(page);
    return workspace;
}

WorkspaceChannels workspaceChannels(std::shared_ptr<ColumnCache> columns, const workbench::Workspace& workspace,
                                    std::string_view filter)
{
    WorkspaceChannels out;
    out.source = std::make_shared<LogChannelSource>(columns);
    const std::vector<std::string>& names = columns->store().ParamNames();
    // The tables are not the charts' business: their faults stay out of here.
    workbench::Workspace channels;
    channels.channels = workspace.channels;
    const workbench::Program program = workbench::compileWorkspace(channels, names);
    for (const workbench::FieldError& error : program.errors)
        out.errors.push_back(error.message);
    std::optional<workbench::CompiledExpression> keep;
    if (!filter.empty()) {
        workbench::CompileResult compiled = workbench::compileFieldExpression(program, channels, names, filter);
        if (compiled.ok())
            keep = std::move(compiled.expression);
        else
            out.errors.push_back(workbench::errorMessage("charts, filter", compiled.error));
    }
    if (channels.channels.empty() && !keep)
        return out;

    workbench::LogSession session(std::move(columns));
    session.prefetch(program);
    for (std::size_t c = 0; c < channels.channels.size(); ++c)
        if (program.channels[c].expression)
            out.source->addChannel(channels.channels[c].name, session.channel(program, c));
    if (keep) {
        const ColumnPtr values = session.evaluate(program, *keep, false);
        auto mask = std::make_shared<KeepMask>(values->size());
        for (std::size_t t = 0; t < values->size(); ++t)
            (*mask)[t] = workbench::filterKeeps((*values)[t]);
        out.source->setKeepMask(std::move(mask));
    }
    return out;
}

}  // namespace dlv
