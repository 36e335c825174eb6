#include "datalog/text_encoding.h"

#include <algorithm>
#include <cstdint>

namespace dlv {

namespace {

constexpr std::size_t kEncodingSample = 1024;

[[nodiscard]] bool startsWith(std::string_view text, std::string_view prefix) noexcept
{
    return text.substr(0, prefix.size()) == prefix;
}

// Appends code point c as UTF-8 at out; returns the bytes written.
std::size_t putUtf8(char* out, std::uint32_t c) noexcept
{
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

constexpr std::uint32_t kReplacement = 0xFFFD;

}  // namespace

TextEncoding textEncoding(std::string_view head) noexcept
{
    if (startsWith(head, "\xEF\xBB\xBF"))
        return TextEncoding::Utf8WithMark;
    if (startsWith(head, "\xFF\xFE"))
        return TextEncoding::Utf16Le;
    if (startsWith(head, "\xFE\xFF"))
        return TextEncoding::Utf16Be;
    // Without a mark: text of mostly ASCII characters in UTF-16 has a NUL in
    // nearly every other byte and almost none in the others. A log of the
    // own format with NUL bytes in it has them here and there, or everywhere.
    const std::size_t pairs = std::min(head.size(), kEncodingSample) / 2;
    if (pairs < 4)
        return TextEncoding::Utf8;
    std::size_t evenNuls = 0;
    std::size_t oddNuls = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        evenNuls += head[2 * i] == '\0' ? 1 : 0;
        oddNuls += head[2 * i + 1] == '\0' ? 1 : 0;
    }
    const auto most = [pairs](std::size_t n) { return n * 10 >= pairs * 9; };
    const auto few = [pairs](std::size_t n) { return n * 10 <= pairs; };
    if (most(oddNuls) && few(evenNuls))
        return TextEncoding::Utf16Le;
    if (most(evenNuls) && few(oddNuls))
        return TextEncoding::Utf16Be;
    return TextEncoding::Utf8;
}

std::size_t byteOrderMarkBytes(std::string_view head, TextEncoding encoding) noexcept
{
    switch (encoding) {
    case TextEncoding::Utf8WithMark: return startsWith(head, "\xEF\xBB\xBF") ? 3 : 0;
    case TextEncoding::Utf16Le: return startsWith(head, "\xFF\xFE") ? 2 : 0;
    case TextEncoding::Utf16Be: return startsWith(head, "\xFE\xFF") ? 2 : 0;
    case TextEncoding::Utf8: break;
    }
    return 0;
}

std::string_view encodingName(TextEncoding encoding) noexcept
{
    switch (encoding) {
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Utf8WithMark: return "UTF-8 with a byte-order mark";
    case TextEncoding::Utf16Le: return "UTF-16 LE";
    case TextEncoding::Utf16Be: return "UTF-16 BE";
    }
    return "UTF-8";
}

std::size_t utf16ToUtf8(std::string_view bytes, bool bigEndian, char* out) noexcept
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t units = bytes.size() / 2;
    const auto unit = [b, bigEndian](std::size_t i) -> std::uint32_t {
        return bigEndian ? (std::uint32_t{b[2 * i]} << 8) | b[2 * i + 1] : (std::uint32_t{b[2 * i + 1]} << 8) | b[2 * i];
    };
    std::size_t written = 0;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = unit(i);
        if (c < 0x80) {
            out[written++] = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = kReplacement;
        }
        written += putUtf8(out + written, c);
    }
    if (bytes.size() % 2 != 0)
        written += putUtf8(out + written, kReplacement);
    return written;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string text(utf8BytesOfUtf16(bytes.size()), '\0');
    text.resize(utf16ToUtf8(bytes, bigEndian, text.data()));
    return text;
}

}  // namespace dlv
