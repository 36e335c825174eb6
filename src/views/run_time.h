#pragma once

#include <optional>
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

}  // namespace dlv
