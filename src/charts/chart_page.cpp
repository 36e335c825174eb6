#include "charts/chart_page.h"

#include "workbench/default_table.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cctype>

namespace dlv {

namespace {

using nlohmann::json;

// Thrown inside the parser only; parseChartPage turns it into an error text.
struct SpecError {
    std::string text;
};

[[noreturn]] void fail(const std::string& where, const std::string& what)
{
    throw SpecError{where + ": " + what};
}

std::string channelName(const json& value, const std::string& where)
{
    if (!value.is_string())
        fail(where, "a channel name must be a text");
    std::string name = value.get<std::string>();
    if (name.empty())
        fail(where, "a channel name must not be empty");
    return name;
}

ChartChannel parseChannel(const json& value, const std::string& where)
{
    if (value.is_string())
        return {channelName(value, where), std::nullopt};
    if (!value.is_object())
        fail(where, "a channel is a name or an object with \"name\" and \"color\"");
    ChartChannel channel;
    const auto name = value.find("name");
    if (name == value.end())
        fail(where, "the channel has no \"name\"");
    channel.name = channelName(*name, where + ".name");
    if (const auto color = value.find("color"); color != value.end() && !color->is_null()) {
        const std::optional<ChartRgb> rgb = color->is_string() ? parseChartColor(color->get<std::string>()) : std::nullopt;
        if (!rgb)
            fail(where + ".color", "a colour is written \"#rrggbb\"");
        channel.color = rgb;
    }
    return channel;
}

std::string scatterChannel(const json& pane, const char* member, const std::string& where, bool required)
{
    const auto it = pane.find(member);
    if (it == pane.end() || it->is_null()) {
        if (required)
            fail(where, std::string("a scatter pane needs \"") + member + "\"");
        return {};
    }
    return channelName(*it, where + "." + member);
}

ChartPane parsePane(const json& value, const std::string& where)
{
    if (!value.is_object())
        fail(where, "a pane is an object");
    ChartPane pane;
    std::string type = "stacked";
    if (const auto it = value.find("type"); it != value.end()) {
        if (!it->is_string())
            fail(where + ".type", "must be \"stacked\" or \"scatter\"");
        type = it->get<std::string>();
    }
    if (type == "scatter") {
        pane.kind = ChartPaneKind::Scatter;
        pane.x = scatterChannel(value, "x", where, true);
        pane.y = scatterChannel(value, "y", where, true);
        pane.color = scatterChannel(value, "color", where, false);
        return pane;
    }
    if (type != "stacked")
        fail(where + ".type", "must be \"stacked\" or \"scatter\", not \"" + type + "\"");
    const auto channels = value.find("channels");
    if (channels == value.end())
        return pane;
    if (!channels->is_array())
        fail(where + ".channels", "must be a list");
    if (channels->size() > static_cast<std::size_t>(ChartPage::kMaxChannels))
        fail(where + ".channels", "a pane holds at most " + std::to_string(ChartPage::kMaxChannels) + " channels, not " +
                                      std::to_string(channels->size()));
    for (std::size_t i = 0; i < channels->size(); ++i)
        pane.channels.push_back(parseChannel((*channels)[i], where + ".channels[" + std::to_string(i) + "]"));
    return pane;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

ChartRgb channelColor(const ChartPane& pane, int index) noexcept
{
    if (index >= 0 && index < static_cast<int>(pane.channels.size()))
        if (const auto& color = pane.channels[static_cast<std::size_t>(index)].color)
            return *color;
    return defaultChannelColor(index);
}

ChartPageResult parseChartPage(const json& charts, std::string_view where)
{
    const std::string at(where);
    try {
        if (!charts.is_object())
            fail(at, "must be an object with \"panes\"");
        const auto panes = charts.find("panes");
        if (panes == charts.end() || !panes->is_array())
            fail(at, "needs \"panes\", a list of 1 to " + std::to_string(ChartPage::kMaxPanes) + " panes");
        if (panes->empty() || panes->size() > static_cast<std::size_t>(ChartPage::kMaxPanes))
            fail(at + ".panes", "needs 1 to " + std::to_string(ChartPage::kMaxPanes) + " panes, not " +
                                    std::to_string(panes->size()));
        ChartPage page;
        for (std::size_t i = 0; i < panes->size(); ++i)
            page.panes.push_back(parsePane((*panes)[i], at + ".panes[" + std::to_string(i) + "]"));
        if (const auto filter = charts.find("filter"); filter != charts.end() && !filter->is_null()) {
            if (!filter->is_string())
                fail(at + ".filter", "must be an expression in a text");
            page.filter = filter->get<std::string>();
            if (page.filter.find_first_not_of(" \t\r\n") == std::string::npos)
                page.filter.clear();
        }
        return {std::move(page), {}};
    } catch (const SpecError& error) {
        return {std::nullopt, error.text};
    } catch (const json::exception& error) {
        return {std::nullopt, at + ": " + error.what()};
    }
}

ChartPageResult parseWorkspaceCharts(std::string_view workspaceText)
{
    json workspace;
    try {
        workspace = json::parse(workspaceText.begin(), workspaceText.end());
    } catch (const json::parse_error& error) {
        // The byte the parser stopped at, as a line and column for people.
        std::size_t line = 1;
        std::size_t column = 1;
        for (std::size_t i = 0; i + 1 < error.byte && i < workspaceText.size(); ++i) {
            if (workspaceText[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return {std::nullopt, "not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column)};
    } catch (const json::exception& error) {
        return {std::nullopt, std::string("not valid JSON: ") + error.what()};
    }
    if (!workspace.is_object())
        return {std::nullopt, "a workspace is a JSON object"};
    const auto charts = workspace.find("charts");
    if (charts == workspace.end() || charts->is_null())
        return {};
    return parseChartPage(*charts, "charts");
}

json chartPageJson(const ChartPage& page)
{
    json panes = json::array();
    for (const ChartPane& pane : page.panes) {
        json out = json::object();
        if (pane.kind == ChartPaneKind::Scatter) {
            out["type"] = "scatter";
            out["x"] = pane.x;
            out["y"] = pane.y;
            if (!pane.color.empty())
                out["color"] = pane.color;
        } else {
            json channels = json::array();
            for (const ChartChannel& channel : pane.channels) {
                if (channel.color)
                    channels.push_back({{"name", channel.name}, {"color", chartColorText(*channel.color)}});
                else
                    channels.push_back(channel.name);
            }
            out["channels"] = std::move(channels);
        }
        panes.push_back(std::move(out));
    }
    json out{{"panes", std::move(panes)}};
    if (!page.filter.empty())
        out["filter"] = page.filter;
    return out;
}

ChartPage defaultChartPage(const std::vector<std::string>& names, bool otherFormat)
{
    static constexpr std::array<std::string_view, 4> kWanted = {"rpm", "map", "tps", "blm"};
    static constexpr std::array<ChannelRole, 3> kRoles = {ChannelRole::Rpm, ChannelRole::Map, ChannelRole::Tps};
    std::vector<std::size_t> chosen;
    std::vector<bool> used(names.size(), false);
    std::size_t missing = 0;
    for (std::size_t slot = 0; slot < kWanted.size(); ++slot) {
        const std::string_view wanted = kWanted[slot];
        std::optional<std::size_t> found;
        const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return lowered(n) == wanted; });
        if (it != names.end())
            found = static_cast<std::size_t>(it - names.begin());
        if (!found && otherFormat) {
            const std::optional<long long> p =
                findChannelFor(names, slot < kRoles.size() ? kRoles[slot] : ChannelRole::Mixture);
            if (p && !used[static_cast<std::size_t>(*p)])
                found = static_cast<std::size_t>(*p);
        }
        if (!found) {
            ++missing;
            continue;
        }
        const std::size_t p = *found;
        chosen.push_back(p);
        used[p] = true;
    }
    for (std::size_t p = 1; p < names.size() && missing > 0; ++p) {
        if (used[p] || names[p].empty())
            continue;
        chosen.push_back(p);
        used[p] = true;
        --missing;
    }
    if (chosen.empty() && !names.empty() && !names[0].empty())
        chosen.push_back(0);
    ChartPage page;
    for (const std::size_t p : chosen)
        page.panes.push_back(ChartPane{ChartPaneKind::Stacked, {ChartChannel{names[p], std::nullopt}}, {}, {}, {}});
    return page;
}

}  // namespace dlv
