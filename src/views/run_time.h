#pragma once

#include "datalog/log_channels.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dlv {

// The run-time line: lastTimeText is parameter 0 of the last take (seconds),
// or nullopt when the grid shows no take; columnCount is the general grid's
// ColCount, so the number of takes shown is columnCount - 1. The seconds are
// rounded (halves to even), divided by 60, cut to two decimals and written as
// plain decimal text: "12.5 minutes (1500 takes)". A value that is not a
// number gives "? minutes (N takes)"; no take gives "0 minutes (0 takes)".
[[nodiscard]] std::string runTimeCaption(std::optional<std::string_view> lastTimeText, int columnCount,
                                         std::string_view decimalSeparator);

// The run-time line of a log whose time is a channel of its own (the other
// formats): the seconds from the channel's first number to its last, time
// holding the channel's numbers over every take (empty without a time
// channel, which gives "? minutes"). O(takes) at most, from both ends.
[[nodiscard]] std::string channelRunTimeCaption(const std::optional<TimeChannel>& channel,
                                                std::span<const double> time, int columnCount,
                                                std::string_view decimalSeparator);

}  // namespace dlv
