#pragma once

// What the Charts tab shows, as the workspace file keeps it: a page of 1 to 8
// panes, each either a stack of up to 6 channels over the takes or a scatter
// of one channel against another coloured by a third. Channels are named, not
// numbered, so a page fits every log that has channels of those names.
//
// In the workspace file (JSON) the page is the optional member "charts":
//   "charts": { "panes": [
//       { "channels": [ "RPM", { "name": "MAP", "color": "#d55e00" } ] },
//       { "type": "scatter", "x": "RPM", "y": "BLM", "color": "MAP" } ] }
// "type" is "stacked" (the default) or "scatter"; a scatter's "color" may be
// left out. An optional "filter" (an expression, as a table's filter) shades
// the takes it drops on every pane and leaves them out of the scatters.
// Members not named here are ignored, so later additions load.

#include "charts/chart_layout.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dlv {

enum class ChartPaneKind { Stacked, Scatter };

struct ChartChannel {
    std::string name;
    std::optional<ChartRgb> color;  // none: the pane's default for its place
    friend bool operator==(const ChartChannel&, const ChartChannel&) = default;
};

struct ChartPane {
    ChartPaneKind kind = ChartPaneKind::Stacked;
    std::vector<ChartChannel> channels;  // stacked: 0 .. kMaxChannels
    std::string x, y, color;             // scatter: color may be empty
    friend bool operator==(const ChartPane&, const ChartPane&) = default;
};

struct ChartPage {
    static constexpr int kMaxPanes = 8;
    static constexpr int kMaxChannels = 6;
    std::vector<ChartPane> panes;  // 1 .. kMaxPanes
    std::string filter;            // empty: every take is kept
    friend bool operator==(const ChartPage&, const ChartPage&) = default;
};

// The colour a channel is drawn in: its own, or the default for its place.
[[nodiscard]] ChartRgb channelColor(const ChartPane& pane, int index) noexcept;

// A parsed page, or the reason it could not be read, naming the place in the
// file ("charts.panes[2].channels[0]: ...").
struct ChartPageResult {
    std::optional<ChartPage> page;
    std::string error;
    [[nodiscard]] bool ok() const noexcept { return page.has_value(); }
};

// Reads the value of the "charts" member; where names that member in messages.
[[nodiscard]] ChartPageResult parseChartPage(const nlohmann::json& charts, std::string_view where = "charts");
// Reads a whole workspace text: its "charts" member, or nullopt page with an
// empty error when it has none. Errors name the line and column for bad JSON.
[[nodiscard]] ChartPageResult parseWorkspaceCharts(std::string_view workspaceText);
// The value of the "charts" member for page; parseChartPage gives page back.
[[nodiscard]] nlohmann::json chartPageJson(const ChartPage& page);

// The page shown for a workspace without charts: four stacked panes, one
// channel each: RPM, MAP, TPS and BLM where the log has parameters of those
// names (in that order), otherwise parameters 1 to 4; a slot whose name is
// missing takes the next of parameters 1, 2, ... not yet shown. names are the
// channel names of parameters 0, 1, ... as the tab shows them. Fewer panes
// for a log of fewer parameters; parameter 0 alone when it is the only one.
// For a log of another format (otherFormat) the channels are found by name
// as findChannelFor finds them, RPM, MAP, TPS, then BLM or else AFR or
// Lambda.
[[nodiscard]] ChartPage defaultChartPage(const std::vector<std::string>& names, bool otherFormat = false);

}  // namespace dlv
