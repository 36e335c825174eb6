#pragma once

#include "datalog/take_store.h"

#include <string>
#include <string_view>

namespace dlv {

// The texts the window shows for a log, as plain text for the headless
// report: "Runtime: " and the run-time line; an empty line and the 9 rows of
// the BLM table; with hits, an empty line and the same table of hit counts;
// an empty line, "Parameter Max Avg Min" and one line per parameter row of
// the general grid. Cells are joined by TAB, lines end with LF.
// Cost: one pass over the takes for everything, split over the cores; memory
// a few MB beside the store, whatever the log's size.
[[nodiscard]] std::string reportText(const TakeStore& store, std::string_view decimalSeparator, bool hits = false);

}  // namespace dlv
