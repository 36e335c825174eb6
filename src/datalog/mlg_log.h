#pragma once

// MLG, the binary log ("MLVLG") of versions 1 and 2.

#include "datalog/take_store.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace dlv {

class ByteBuffer;

// Whether head starts as an MLG file does. O(1).
[[nodiscard]] bool looksLikeMlg(std::string_view head) noexcept;

// Reads the first size bytes of buffer as MLG; the log keeps the buffer and
// decodes a channel's numbers when they are asked for. Never throws.
[[nodiscard]] ReadResult readMlgBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size,
                                       std::string_view displayName) noexcept;

}  // namespace dlv
