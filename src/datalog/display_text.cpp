#include "datalog/display_text.h"

#include "datalog/number.h"

#include <algorithm>

namespace dlv {

namespace {

// Length of the UTF-8 sequence that starts with lead (a valid text assumed).
[[nodiscard]] std::size_t sequenceLength(unsigned char lead) noexcept
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    return 2;
}

void appendChar(std::string& out, char ch, bool separatorsAsSpaces)
{
    if (separatorsAsSpaces && (ch == '\t' || ch == '\r' || ch == '\n'))
        ch = ' ';
    out.push_back(ch);
}

}  // namespace

std::string displayText(std::string_view bytes)
{
    std::string text;
    appendShownText(text, bytes, {.maxChars = bytes.size()});
    return text;
}

void appendShownText(std::string& out, std::string_view bytes, ShownTextOptions options)
{
    // Only the head that can be shown decides: up to four bytes a character,
    // and one more, without a sequence cut at its end.
    std::string_view head = bytes.substr(0, std::min(bytes.size(), options.maxChars) * 4 + 4);
    if (head.size() < bytes.size()) {
        std::size_t end = head.size();
        for (int k = 0; k < 3 && end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80; ++k)
            --end;
        head = head.substr(0, end);
    }
    const bool utf8 = isValidUtf8(head);
    std::size_t chars = 0;
    std::size_t at = 0;
    while (at < bytes.size() && chars < options.maxChars) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (utf8) {
            const std::size_t n = std::min(sequenceLength(lead), bytes.size() - at);
            if (n == 1)
                appendChar(out, bytes[at], options.separatorsAsSpaces);
            else
                out.append(bytes.substr(at, n));
            at += n;
        } else {
            if (lead < 0x80) {
                appendChar(out, bytes[at], options.separatorsAsSpaces);
            } else {
                out.push_back(static_cast<char>(0xC0 | (lead >> 6)));
                out.push_back(static_cast<char>(0x80 | (lead & 0x3F)));
            }
            ++at;
        }
        ++chars;
    }
    if (at < bytes.size())
        out.append(kEllipsis);
}

std::string shownText(std::string_view bytes, ShownTextOptions options)
{
    std::string text;
    text.reserve(std::min(bytes.size(), options.maxChars) + kEllipsis.size());
    appendShownText(text, bytes, options);
    return text;
}

namespace {

// displayText with control bytes written as \n, \r, \t or \xHH, and a
// backslash doubled when asked.
std::string escapedText(std::string_view bytes, bool doubleBackslash)
{
    std::string text;
    for (const char ch : displayText(bytes)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\' && doubleBackslash) {
            text += "\\\\";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c < 32 || c == 127) {
            static constexpr char kHex[] = "0123456789abcdef";
            text += "\\x";
            text.push_back(kHex[c >> 4]);
            text.push_back(kHex[c & 15]);
        } else {
            text.push_back(ch);
        }
    }
    return text;
}

}  // namespace

std::string quotedText(std::string_view bytes)
{
    return escapedText(bytes, true);
}

std::string controlsEscaped(std::string_view bytes)
{
    return escapedText(bytes, false);
}

std::string inQuotes(std::string_view bytes)
{
    return "'" + quotedText(bytes) + "'";
}

std::string groupedCount(std::uint64_t count)
{
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

}  // namespace dlv
