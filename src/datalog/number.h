#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dlv {

// The one rule by which a log's value text is a number: after removing
// surrounding spaces, an optional sign, digits with at most one decimal point
// (at least one digit in all) and an optional exponent (e or E, optional sign,
// digits). The decimal separator in a log is always the point. Anything else
// (thousands separators, hex, inf, nan, a decimal comma, tabs) is not a number;
// neither is a value too large for a double (1e999, or 1 and 400 zeros). A
// value too small for one is 0 (1e-999, or 0. and 400 zeros and 1): size is
// judged by the value, not by the sign of a written exponent. Counts are
// 64-bit, so fields of billions of digits are read right. Cost: O(length).
[[nodiscard]] std::optional<double> parseNumber(std::string_view text) noexcept;

// The value 0.d1d2d3... x 10^pointPosition of the significant digits d (d1 not
// 0; empty for zero), moreNonZero telling that nonzero digits were dropped
// after them: the last step of parseNumber, where the size of a number is
// judged. Beyond the double range it is no value (too large) or a signed 0
// (too small). Digits past the 800th are read as moreNonZero.
[[nodiscard]] std::optional<double> scaledDecimal(bool negative, std::string_view digits, bool moreNonZero,
                                                  std::int64_t pointPosition) noexcept;

// Text with leading and trailing space characters (only ' ') removed.
[[nodiscard]] std::string_view trimSpaces(std::string_view text) noexcept;

// Nearest whole number, a value exactly halfway going to the even neighbour.
[[nodiscard]] double roundHalfEven(double value) noexcept;

// "0.00": two decimals, decimalSeparator (UTF-8) between the whole part and the
// decimals. -0.001 gives "0.00" (no negative zero is shown).
[[nodiscard]] std::string formatFixed2(double value, std::string_view decimalSeparator);

// Plain decimal text of the value rounded to 15 significant digits: no
// trailing zeros, no exponent; 12.5 -> "12.5", 2.0 -> "2", 0 -> "0". Above
// 10^15 all digits of the double nearest to the rounded value are written,
// so 1e22 / 60 gives "166666666666667016192", not a run of zeros.
[[nodiscard]] std::string formatPlain(double value, std::string_view decimalSeparator);

// Whether the bytes are valid UTF-8 (names and values are shown as UTF-8 when
// they are, as Latin-1 otherwise).
[[nodiscard]] bool isValidUtf8(std::string_view bytes) noexcept;
// The length in bytes (1 to 4) of the valid UTF-8 character that starts at
// bytes[at], or 0 when none does there (at past the end included). O(1).
[[nodiscard]] std::size_t utf8CharLength(std::string_view bytes, std::size_t at) noexcept;

}  // namespace dlv
