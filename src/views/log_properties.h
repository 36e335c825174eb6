#pragma once

// What File, Properties tells of the log on show, as label and value pairs.

#include "datalog/log_channels.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dlv {

// "File", "Format", "Firmware", "Capture date", "Channels", "Takes",
// "Markers", "Size", then the format's own facts; rows without a value are
// left out. All texts UTF-8. O(1) beyond the format's facts.
[[nodiscard]] std::vector<std::pair<std::string, std::string>> logProperties(const LogChannels& log,
                                                                             std::string_view fileName);

}  // namespace dlv
