#pragma once

// Text logs of other tools: MSL (TAB-separated with a preamble and a units
// row) and delimited text (',' ';' or TAB, decimal comma, preamble and
// units lines, UTF-8 or UTF-16). Both are read into a take store of the
// own format's shape, so every view reads them on the own format's road.

#include "datalog/log_channels.h"
#include "datalog/take_store.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace dlv {

class ByteBuffer;

// Msl or Text when head is plainly written as one of them rather than in
// the own format; nullopt otherwise. O(head).
[[nodiscard]] std::optional<LogFormat> detectTextFormat(std::string_view head) noexcept;

// Reads the first size bytes of buffer as format (Msl or Text). Never throws.
[[nodiscard]] ReadResult readTextLogBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size,
                                           std::string_view displayName, LogFormat format) noexcept;

}  // namespace dlv
