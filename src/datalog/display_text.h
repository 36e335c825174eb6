#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dlv {

// How log bytes become text on screen, in one place: bytes that are valid
// UTF-8 are shown as they are, anything else is read as Latin-1 (one
// character per byte). Results are always valid UTF-8.

// Every character of bytes. O(bytes); for messages and reports, not widgets.
[[nodiscard]] std::string displayText(std::string_view bytes);

// What any widget shows of a cell, name, label or tooltip: at most
// kMaxShownChars characters; a longer text is cut there and ends in
// kEllipsis. Costs O(kMaxShownChars) whatever the size of bytes, so a
// 150 MB field is as cheap to paint, measure and copy as a short one.
inline constexpr std::size_t kMaxShownChars = 4000;
inline constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026

struct ShownTextOptions {
    std::size_t maxChars = kMaxShownChars;
    // TAB, CR and LF become spaces (copied cells keep their rows and columns).
    bool separatorsAsSpaces = false;
};

// Appends the shown text of bytes to out.
void appendShownText(std::string& out, std::string_view bytes, ShownTextOptions options = {});
[[nodiscard]] std::string shownText(std::string_view bytes, ShownTextOptions options = {});

// Characters shownText gives for a text of byteCount bytes at most: a bound
// for measuring widths without reading the text. O(1).
[[nodiscard]] constexpr std::size_t shownCharsBound(std::size_t byteCount,
                                                   std::size_t maxChars = kMaxShownChars) noexcept
{
    return byteCount <= maxChars ? byteCount : maxChars + 1;
}

// Text for quoting a name or a value in a message: as displayText, with
// control bytes (below 32, and 127) written as \n, \r, \t or \xHH and a
// backslash as \\, so that nothing quoted can move the cursor, colour a
// terminal or break a message into lines.
[[nodiscard]] std::string quotedText(std::string_view bytes);
// quotedText in single quotes, as messages name a file or a field: 'x.csv'.
[[nodiscard]] std::string inQuotes(std::string_view bytes);

// quotedText with backslashes left as they are: for texts that are printed
// whole (a table's title) or quoted as written (an expression), where only
// control bytes could do harm.
[[nodiscard]] std::string controlsEscaped(std::string_view bytes);

// A count with its thousands grouped by commas: 3412 -> "3,412".
[[nodiscard]] std::string groupedCount(std::uint64_t count);

}  // namespace dlv
