#pragma once

// Telling from a file's first bytes that it is plainly not a data log (a
// program, a picture, an archive picked by mistake), before it is opened.
// Pure; no reading.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dlv {

// Bytes looked at: the first 64 KiB.
inline constexpr std::size_t kNotALogHeadBytes = std::size_t{64} << 10;

// Why head (a file's first bytes, kNotALogHeadBytes of them or the whole
// file; more are not looked at) is plainly not a log of any text format, in
// words that follow the file's name: "is not a text file: 44 % of its first
// 65,536 bytes are control characters or not UTF-8, and no line of it is
// text". A file is plainly not a log when at least a quarter of these bytes
// are no text (control characters below 32 but TAB, CR and LF; bytes of no
// valid UTF-8 character) and no line among them is text (valid UTF-8, no
// control character, 4 bytes or more or 3 with a comma; a line ends at LF or
// CR). nullopt for anything else: an empty file, a log with a few NUL bytes
// or Latin-1 names, a file that starts as the own format does (a title line
// and a names line of text, however short: "t", "A"), and logs in a format
// a reader knows by its content (MLG, UTF-16 text: see detectLogFormat).
// O(head).
[[nodiscard]] std::optional<std::string> notALogReason(std::string_view head);

}  // namespace dlv
