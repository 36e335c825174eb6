#include "charts/chart_data.h"

#include "datalog/number.h"
#include "datalog/take_store.h"

namespace dlv {

std::vector<ColumnPtr> ChartChannelSource::columns(std::span<const std::string> names)
{
    std::vector<ColumnPtr> out;
    out.reserve(names.size());
    for (const std::string& name : names)
        out.push_back(name.empty() ? nullptr : column(name));
    return out;
}

LogChannelSource::LogChannelSource(std::shared_ptr<ColumnCache> columns) : m_cache(std::move(columns))
{
    const std::vector<std::string>& raw = m_cache->paramNames();
    // The last entry is the empty name that ended the names line.
    const std::size_t count = raw.empty() ? 0 : raw.size() - 1;
    for (std::size_t p = 0; p < count; ++p) {
        std::string name = displayText(trimSpaces(raw[p]));
        m_parameterByName.try_emplace(name, static_cast<long long>(p));
        m_parameterNames.push_back(name);
        m_names.push_back(std::move(name));
    }
}

long long LogChannelSource::parameterOf(std::string_view name) const
{
    const auto it = m_parameterByName.find(std::string(name));
    return it == m_parameterByName.end() ? -1 : it->second;
}

std::vector<ColumnPtr> LogChannelSource::columns(std::span<const std::string> names)
{
    std::vector<ColumnPtr> out(names.size());
    std::vector<long long> params;
    std::vector<std::size_t> slots;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (const auto calc = m_calculated.find(names[i]); calc != m_calculated.end()) {
            out[i] = calc->second;
        } else if (const long long p = parameterOf(names[i]); p >= 0) {
            params.push_back(p);
            slots.push_back(i);
        }
    }
    const std::vector<ColumnPtr> parsed = m_cache->columns(params);
    for (std::size_t k = 0; k < slots.size(); ++k)
        out[slots[k]] = parsed[k];
    return out;
}

ColumnPtr LogChannelSource::column(std::string_view name)
{
    const std::string key(name);
    return columns(std::span<const std::string>(&key, 1)).front();
}

std::string ChartChannelSource::unitOf(std::string_view) const
{
    return {};
}

std::string LogChannelSource::unitOf(std::string_view name) const
{
    const long long p = parameterOf(name);
    if (p < 0 || !m_cache->log() || m_calculated.contains(std::string(name)))
        return {};
    return displayText(m_cache->log()->channel(p).unit);
}

ColumnPtr LogChannelSource::timeColumn()
{
    const std::shared_ptr<const LogChannels>& log = m_cache->log();
    if (!log || log->format() == LogFormat::Datalog)
        return m_parameterNames.empty() ? nullptr : m_cache->column(0);
    const std::optional<TimeChannel> time = log->timeChannel();
    if (!time)
        return nullptr;
    ColumnPtr values = m_cache->column(time->param);
    if (time->secondsPerUnit == 1.0 || !values)
        return values;
    if (!m_seconds) {
        auto seconds = std::make_shared<Column>(*values);
        for (double& v : *seconds)
            v *= time->secondsPerUnit;
        m_seconds = std::move(seconds);
    }
    return m_seconds;
}

int LogChannelSource::takeCount() const
{
    return m_cache->takeCount();
}

void LogChannelSource::addChannel(std::string name, ColumnPtr values)
{
    if (!m_calculated.contains(name) && !m_parameterByName.contains(name))
        m_names.push_back(name);
    m_calculated[std::move(name)] = std::move(values);
}

ResolvedPage resolveChartPage(const ChartPage& page, ChartChannelSource& source)
{
    ResolvedPage out;
    out.takeCount = source.takeCount();
    out.keep = source.keepMask();
    if (ColumnPtr time = source.timeColumn(); time && isTimeColumn(*time))
        out.time = std::move(time);

    std::vector<std::string> names;
    for (const ChartPane& pane : page.panes) {
        if (pane.kind == ChartPaneKind::Scatter) {
            names.insert(names.end(), {pane.x, pane.y, pane.color});
        } else {
            for (const ChartChannel& channel : pane.channels)
                names.push_back(channel.name);
        }
    }
    const std::vector<ColumnPtr> columns = source.columns(names);

    std::size_t next = 0;
    for (std::size_t i = 0; i < page.panes.size(); ++i) {
        const ChartPane& pane = page.panes[i];
        ResolvedPane resolved;
        resolved.kind = pane.kind;
        const std::size_t count = pane.kind == ChartPaneKind::Scatter ? 3 : pane.channels.size();
        for (std::size_t k = 0; k < count; ++k, ++next) {
            ResolvedChannel channel{names[next], columns[next], channelColor(pane, static_cast<int>(k)),
                                    source.unitOf(names[next])};
            if (!channel.values && !channel.name.empty())
                out.missing.push_back("pane " + std::to_string(i + 1) + ": no channel \"" + channel.name + "\"");
            resolved.channels.push_back(std::move(channel));
        }
        out.panes.push_back(std::move(resolved));
    }
    return out;
}

}  // namespace dlv
