#pragma once

// The words for a take of the general data grid, whose header row stays
// empty: the tooltip of a take column and the status line of a selected cell.

#include "datalog/log_channels.h"

#include <optional>
#include <string>
#include <string_view>

namespace dlv {

// The time of take t in seconds as the captions show it: the time channel's
// value as the log holds it when it counts seconds (trimmed of spaces), its
// value in seconds otherwise. nullopt when the take has no number there.
// O(the value).
[[nodiscard]] std::optional<std::string> takeSeconds(const LogChannels& log, const TimeChannel& time, long long t);

// "Take 1,234", and with the time of a log that has a time channel (its
// parameter 0 as written in that take) "Take 1,234 at 12.345 s".
[[nodiscard]] std::string takeCaption(int take, std::optional<std::string_view> seconds);

// The selected cell of the general data grid: "RPM, take 1,234 at 12.345 s:
// 3000"; the value as the grid shows it, "(empty)" for an empty cell; a
// row without a name (the one that ends the names): "Take 1,234 at 12.345 s: (empty)".
[[nodiscard]] std::string cellCaption(std::string_view name, int take, std::optional<std::string_view> seconds,
                                      std::string_view value);

}  // namespace dlv
