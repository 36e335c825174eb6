#pragma once

// Finding channels in logs of hundreds of them: by any part of the name and
// by the group (category) the log puts them in.

#include "datalog/log_channels.h"

#include <string>
#include <string_view>
#include <vector>

namespace dlv {

// The categories of a log's channels in the order they first appear, none
// empty; empty when the log groups none. O(channels).
[[nodiscard]] std::vector<std::string> channelCategories(const LogChannels& log);

// Whether channel p is shown under a filter: text (ignoring case, ASCII)
// is part of its shown name (unit included) or of its category, and category
// is empty or the channel's own. The empty text matches every channel.
[[nodiscard]] bool channelMatches(const LogChannels& log, long long p, std::string_view text,
                                  std::string_view category);

// channelMatches for every channel, by parameter number. O(channels × name).
[[nodiscard]] std::vector<bool> matchingChannels(const LogChannels& log, std::string_view text,
                                                 std::string_view category);

}  // namespace dlv
