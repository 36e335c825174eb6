#pragma once

// What the view of one open log keeps while another log is on show, and
// across a reading again (F5, Follow Log): plain numbers, held by the log's
// document, so that nothing of a log's view lives only in widgets.

#include "datalog/log_channels.h"

#include <optional>
#include <set>
#include <vector>

namespace dlv {

struct LogViewState {
    // Grid rows when the state was kept: a row is the same parameter again
    // only while it lies before the last (the empty name that ends them).
    int rowCount = 0;
    int selectedRow = 0;        // 0: none
    std::set<int> bookmarkedRows;  // grid rows, 1 and up
    // The grid's scroll place: the first row and column in view, and whether
    // the last column was in view (a view at the newest takes stays there).
    int scrollRow = 1;
    int scrollColumn = 1;
    bool scrollAtEnd = false;
    std::optional<int> markerTake;  // the curve's marked take, while it is framed in the grid
    // The curve's visible range of takes when zoomed, and whether it
    // reached the last take.
    struct Zoom {
        double left = 0.0;
        double width = 0.0;
        bool atEnd = false;
    };
    std::optional<Zoom> zoom;
    // The user's markers on this log: a take and a short note each, in take
    // order (the log's own markers are the log's, see LogChannels::markers).
    std::vector<LogMarker> markers;
};

}  // namespace dlv
