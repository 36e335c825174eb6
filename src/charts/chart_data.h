#pragma once

// The numbers behind a chart page: where channels come from by name, and a
// page with every channel looked up (columns shared, never copied).

#include "charts/chart_page.h"
#include "datalog/columns.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dlv {

// The channels a page can name: the log's parameters and any calculated
// channels, each a column over takes 0 .. takeCount() - 1, and the filter.
class ChartChannelSource {
public:
    virtual ~ChartChannelSource() = default;
    // Every channel name, in the order the picker offers them.
    [[nodiscard]] virtual const std::vector<std::string>& channelNames() const = 0;
    // The columns of names, in order; null for a name no channel has. The
    // default asks column() for each.
    [[nodiscard]] virtual std::vector<ColumnPtr> columns(std::span<const std::string> names);
    [[nodiscard]] virtual ColumnPtr column(std::string_view name) = 0;
    // The unit of the channel name (UTF-8), empty when none is known.
    [[nodiscard]] virtual std::string unitOf(std::string_view name) const;
    // The takes' times in seconds, for the time axis: parameter 0 of the own
    // format, the time channel of another; null when the log has none.
    [[nodiscard]] virtual ColumnPtr timeColumn() = 0;
    [[nodiscard]] virtual int takeCount() const = 0;
    // The takes the filter keeps (one entry a take), or null without a filter.
    [[nodiscard]] virtual std::shared_ptr<const KeepMask> keepMask() const = 0;
};

// The channels of one open log: parameter p is named by its names-line text
// (spaces trimmed, shown as UTF-8); where two parameters share a name the
// first is meant. Calculated channels and a filter can be added; a calculated
// channel hides a parameter of the same name. Columns come from the cache.
class LogChannelSource final : public ChartChannelSource {
public:
    explicit LogChannelSource(std::shared_ptr<ColumnCache> columns);

    [[nodiscard]] const std::vector<std::string>& channelNames() const override { return m_names; }
    [[nodiscard]] std::vector<ColumnPtr> columns(std::span<const std::string> names) override;
    [[nodiscard]] ColumnPtr column(std::string_view name) override;
    [[nodiscard]] std::string unitOf(std::string_view name) const override;
    [[nodiscard]] ColumnPtr timeColumn() override;
    [[nodiscard]] int takeCount() const override;
    [[nodiscard]] std::shared_ptr<const KeepMask> keepMask() const override { return m_keep; }

    // The names of parameters 0 .. P - 1 as this source shows them.
    [[nodiscard]] const std::vector<std::string>& parameterNames() const noexcept { return m_parameterNames; }
    void addChannel(std::string name, ColumnPtr values);
    void setKeepMask(std::shared_ptr<const KeepMask> keep) { m_keep = std::move(keep); }

private:
    [[nodiscard]] long long parameterOf(std::string_view name) const;

    std::shared_ptr<ColumnCache> m_cache;
    std::vector<std::string> m_parameterNames;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, long long> m_parameterByName;
    std::unordered_map<std::string, ColumnPtr> m_calculated;
    std::shared_ptr<const KeepMask> m_keep;
    ColumnPtr m_seconds;  // a time channel of another unit, in seconds
};

struct ResolvedChannel {
    std::string name;
    ColumnPtr values;  // null: no channel of that name (or no colour channel)
    ChartRgb color = 0;
    std::string unit;  // UTF-8, empty when none
};

// A stacked pane holds its channels in order; a scatter pane exactly three:
// x, y and the colour channel (whose name is empty when it has none).
struct ResolvedPane {
    ChartPaneKind kind = ChartPaneKind::Stacked;
    std::vector<ResolvedChannel> channels;
};

struct ResolvedPage {
    std::vector<ResolvedPane> panes;
    int takeCount = 0;
    ColumnPtr time;  // the x axis shows it when set (isTimeColumn), takes otherwise
    std::shared_ptr<const KeepMask> keep;
    std::vector<std::string> missing;  // "pane 2: no channel \"X\"", in page order
};

// Looks every channel of page up in source, all columns in one request.
// O(takes) for the time test; parsing what the cache lacks costs more.
[[nodiscard]] ResolvedPage resolveChartPage(const ChartPage& page, ChartChannelSource& source);

}  // namespace dlv
