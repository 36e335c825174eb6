#include "views/markers.h"

#include "datalog/display_text.h"
#include "datalog/number.h"

#include <algorithm>

namespace dlv {

std::vector<ShownMarker> shownMarkers(const LogChannels& log, const std::vector<LogMarker>& user)
{
    std::vector<ShownMarker> out;
    out.reserve(log.markers().size() + user.size());
    for (const LogMarker& marker : log.markers())
        out.push_back({marker.take, displayText(marker.text), true});
    for (const LogMarker& marker : user)
        out.push_back({marker.take, marker.text, false});
    std::stable_sort(out.begin(), out.end(), [](const ShownMarker& a, const ShownMarker& b) { return a.take < b.take; });
    return out;
}

bool addMarker(std::vector<LogMarker>& markers, int take, int takeCount, std::string_view note)
{
    if (take < 0 || take >= takeCount)
        return false;
    std::string text = displayText(trimSpaces(note));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = ' ';
    // Cut at a character's start, never inside one.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++chars > kMarkerNoteChars) {
            text.resize(i);
            break;
        }
    const auto at = std::lower_bound(markers.begin(), markers.end(), take,
                                     [](const LogMarker& m, int t) { return m.take < t; });
    if (at != markers.end() && at->take == take)
        at->text = std::move(text);
    else
        markers.insert(at, LogMarker{take, std::move(text)});
    return true;
}

bool removeMarker(std::vector<LogMarker>& markers, int take)
{
    const auto at = std::find_if(markers.begin(), markers.end(), [take](const LogMarker& m) { return m.take == take; });
    if (at == markers.end())
        return false;
    markers.erase(at);
    return true;
}

}  // namespace dlv
