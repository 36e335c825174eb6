#include "charts/chart_workspace.h"

#include "datalog/log_formats.h"
#include "datalog/take_store.h"
#include "workbench/log_session.h"
#include "workbench/program.h"
#include "workbench/table.h"
#include "workbench/workspace_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>

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
    workbench::LogSession session(std::move(columns));
    return workspaceChannels(session, workspace, filter);
}

WorkspaceChannels workspaceChannels(workbench::LogSession& session, const workbench::Workspace& workspace,
                                    std::string_view filter)
{
    WorkspaceChannels out;
    out.source = std::make_shared<LogChannelSource>(session.sharedColumns());
    const std::vector<std::string>& names = session.paramNames();
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
            out.errors.push_back(out.filterError = workbench::errorMessage("charts, filter", compiled.error));
    }
    if (channels.channels.empty() && !keep)
        return out;

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

WorkspaceCharts workspaceCharts(std::shared_ptr<ColumnCache> columns, const workbench::Workspace& workspace,
                                const ChartPageResult& charts)
{
    const std::string filter = charts.page ? charts.page->filter : std::string();
    const bool otherFormat = columns && columns->log() && columns->log()->format() != LogFormat::Datalog;
    WorkspaceCharts out{workspaceChannels(std::move(columns), workspace, filter), {}};
    if (out.channels.errors.empty()) {
        const ChartPage page =
            charts.page ? *charts.page : defaultChartPage(out.channels.source->parameterNames(), otherFormat);
        out.page = resolveChartPage(page, *out.channels.source);
    }
    return out;
}

std::vector<long long> chartParameters(const std::vector<std::string>& names, const workbench::Workspace& workspace,
                                       const ChartPageResult& charts)
{
    std::vector<long long> asked;
    auto recorder = [&asked](std::span<const long long> params, std::vector<Column>) {
        asked.insert(asked.end(), params.begin(), params.end());
        return std::vector<Column>(params.size());
    };
    (void)workspaceCharts(std::make_shared<ColumnCache>(LogShape{names, 0, 0}, recorder), workspace, charts);
    std::sort(asked.begin(), asked.end());
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    return asked;
}

ChartLog readChartLog(const std::filesystem::path& path, const workbench::Workspace& workspace,
                      const ChartPageResult& charts, LogFormat format)
{
    std::optional<StreamedColumns> streamed;
    if (fileLogFormat(path, format) == LogFormat::Datalog)
        streamed = streamColumns(path, [&](const std::vector<std::string>& names) {
            return chartParameters(names, workspace, charts);
        });
    if (!streamed) {
        ReadResult log = readLog(path, format);
        if (!log.ok())
            return {nullptr, {}, std::move(log.error)};
        return {std::make_shared<ColumnCache>(logOf(log)), std::move(log.warnings), {}};
    }
    const LogShape shape = streamed->shape;
    auto again = [path, shape](std::span<const long long> params, std::vector<Column>) {
        const std::vector<long long> wanted(params.begin(), params.end());
        std::optional<StreamedColumns> more = streamColumns(path, [&](const std::vector<std::string>&) { return wanted; });
        if (!more || more->shape.takeCount != shape.takeCount || more->shape.names != shape.names)
            throw std::runtime_error("the log " + workbench::quotedPath(path) + " changed while it was read; try again");
        return std::move(more->columns);
    };
    // Every column read is kept whatever the usual budget: the picture needs them all.
    std::size_t bytes = 0;
    for (const Column& column : streamed->columns)
        bytes += column.size() * sizeof(double);
    auto cache = std::make_shared<ColumnCache>(
        shape, again, std::max(bytes, ColumnCache::defaultBudget(shape.takeCount, shape.fileBytes)));
    for (std::size_t k = 0; k < streamed->params.size(); ++k)
        cache->insert(streamed->params[k], std::move(streamed->columns[k]));
    return {std::move(cache), std::move(streamed->warnings), {}};
}

}  // namespace dlv
