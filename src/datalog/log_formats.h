#pragma once

// Reading a log of any format: the own text format, MLG (binary), MSL and
// delimited text from other loggers. The format is told by the file's
// content, never by its name, unless the caller names one.

#include "datalog/log_channels.h"
#include "datalog/take_store.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace dlv {

// The format the first bytes of a file (up to kDetectBytes) are written in:
// never Auto. A file that no other reader claims is the own format, read
// with its usual warnings. O(head).
inline constexpr std::size_t kDetectBytes = std::size_t{64} << 10;
[[nodiscard]] LogFormat detectLogFormat(std::string_view head) noexcept;

// Reads the first size bytes of buffer (padding zero) as format (Auto: as
// detectLogFormat says). The result's log is always set on success; its
// store too for the own format and the text formats. Never throws.
[[nodiscard]] ReadResult readLogBuffer(std::unique_ptr<ByteBuffer> buffer, std::size_t size,
                                       std::string_view displayName, LogFormat format) noexcept;

// readDataLog's reading of the file (every check, retry and message), then
// readLogBuffer. Never throws.
[[nodiscard]] ReadResult readLog(const std::filesystem::path& path, LogFormat format = LogFormat::Auto,
                                 ReadControl* control = nullptr) noexcept;

// The same from bytes in memory.
[[nodiscard]] ReadResult readLogBytes(std::string_view bytes, LogFormat format,
                                      std::string_view displayName = "log") noexcept;

// The format a reading of the file at path takes it as: format itself
// unless Auto, otherwise what detectLogFormat says of its first bytes (the
// own format when they cannot be read: the reading then says why). Never
// blocks on a FIFO. For the passes that stream the own format and read
// every other whole. O(kDetectBytes).
[[nodiscard]] LogFormat fileLogFormat(const std::filesystem::path& path, LogFormat format) noexcept;

// The first bytes of the regular file at path, at most `bytes` of them;
// empty when it cannot be opened or is no regular file. Never blocks on a
// FIFO. O(bytes).
[[nodiscard]] std::string fileHead(const std::filesystem::path& path, std::size_t bytes) noexcept;

// The log a successful reading gave, of any format: result.log, or the own
// format over result.store. Null for a failed reading.
[[nodiscard]] std::shared_ptr<const LogChannels> logOf(const ReadResult& result);

}  // namespace dlv
