#pragma once

// How the bytes of a text log of another tool are encoded: UTF-8 (with or
// without a byte-order mark) or UTF-16 in either byte order, told by its
// byte-order mark or, without one, by NUL bytes every other byte. UTF-16 is
// turned into UTF-8 before anything else reads the text.

#include <cstddef>
#include <string>
#include <string_view>

namespace dlv {

enum class TextEncoding { Utf8, Utf8WithMark, Utf16Le, Utf16Be };

// The encoding of a text that starts with head; looks at its first 1 KiB
// at most. Anything that is not plainly UTF-16 is UTF-8. O(1).
[[nodiscard]] TextEncoding textEncoding(std::string_view head) noexcept;

[[nodiscard]] constexpr bool isUtf16(TextEncoding encoding) noexcept
{
    return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

// Bytes of the byte-order mark head starts with for that encoding (0, 2 or 3).
[[nodiscard]] std::size_t byteOrderMarkBytes(std::string_view head, TextEncoding encoding) noexcept;

// "UTF-8", "UTF-8 with a byte-order mark", "UTF-16 LE", "UTF-16 BE".
[[nodiscard]] std::string_view encodingName(TextEncoding encoding) noexcept;

// Bytes of UTF-8 that n bytes of UTF-16 become at most.
[[nodiscard]] constexpr std::size_t utf8BytesOfUtf16(std::size_t n) noexcept
{
    return n / 2 * 3 + 3;
}

// Writes the UTF-16 code units of bytes (its byte-order mark already taken
// off) as UTF-8 to out, which holds utf8BytesOfUtf16(bytes.size()) bytes,
// and returns the bytes written. A surrogate without its pair, and an odd
// last byte, become U+FFFD. O(bytes).
std::size_t utf16ToUtf8(std::string_view bytes, bool bigEndian, char* out) noexcept;

// The same into a string, for heads and tests.
[[nodiscard]] std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

}  // namespace dlv
