// libFuzzer target: a workspace text through the chart page parser. A page it
// accepts keeps the limits (1 to 8 panes, at most 6 channels a pane, scatter
// x and y named) and comes back equal after writing and reading again; a
// refused one says why.
#include "charts/chart_page.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "checkChartPage: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const dlv::ChartPageResult result = dlv::parseWorkspaceCharts(text);
    if (!result.ok())
        return 0;  // no charts (empty error) or a reason
    const dlv::ChartPage& page = *result.page;
    if (page.panes.empty() || page.panes.size() > dlv::ChartPage::kMaxPanes)
        fail("pane count out of range");
    for (const dlv::ChartPane& pane : page.panes) {
        if (pane.channels.size() > dlv::ChartPage::kMaxChannels)
            fail("too many channels");
        if (pane.kind == dlv::ChartPaneKind::Scatter && (pane.x.empty() || pane.y.empty()))
            fail("scatter without x or y");
        for (const dlv::ChartChannel& channel : pane.channels)
            if (channel.name.empty())
                fail("empty channel name");
    }
    const std::string written = dlv::chartPageJson(page).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    const dlv::ChartPageResult again = dlv::parseChartPage(nlohmann::json::parse(written, nullptr, false));
    if (!again.ok())
        fail("a written page is refused");
    // Names with bytes that are not UTF-8 are written with replacements, so
    // only pages of valid names must come back equal.
    const std::string strict = dlv::chartPageJson(page).dump(-1, ' ', false, nlohmann::json::error_handler_t::ignore);
    if (strict == written && !(*again.page == page))
        fail("a page changed on its way through the file");
    return 0;
}
