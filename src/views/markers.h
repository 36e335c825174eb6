#pragma once

// Markers on the takes of a log: the user's (with a note, saved in the
// workspace) and the ones the log's format carries (read-only), shown alike
// on the General curve, the chart panes and the Markers panel.

#include "datalog/log_channels.h"

#include <string>
#include <string_view>
#include <vector>

namespace dlv {

struct ShownMarker {
    int take = 0;
    std::string text;      // UTF-8
    bool fromLog = false;  // carried by the log's format: not to be removed or edited
};

// Both kinds in take order, the log's first where they share a take.
// O(markers log markers).
[[nodiscard]] std::vector<ShownMarker> shownMarkers(const LogChannels& log, const std::vector<LogMarker>& user);

// Adds a user marker at take with note (spaces trimmed, control bytes made
// spaces, at most kMarkerNoteChars characters), keeping take order; a marker
// already at take gets the note instead. False for a take outside the log.
inline constexpr std::size_t kMarkerNoteChars = 200;
bool addMarker(std::vector<LogMarker>& markers, int take, int takeCount, std::string_view note);
// Removes the user marker at take; false when there is none.
bool removeMarker(std::vector<LogMarker>& markers, int take);

}  // namespace dlv
