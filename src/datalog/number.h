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
// neither is a value too large for a double (1e999). Cost: O(length).
[[nodiscard]] std::optional<double> parseNumber(std::string_view text) noexcept;

// Text with leading and trailing space characters (only ' ') removed.
[[nodiscard]] std::string_view trimSpaces(std::string_view text) noexcept;

// Nearest whole number, a value exactly halfway going to the even neighbour.
[[nodiscard]] double roundHalfEven(double value) noexcept;

// "0.00": two decimals, decimalSeparator (UTF-8) between the whole part and the
// decimals. -0.001 gives "0.00" (no negative zero is shown).
[[nodiscard]] std::string formatFixed2(double value, std::string_view decimalSeparator);

// Plain decimal text: no trailing zeros, no exponent, at most 15 significant
// digits; 12.5 -> "12.5", 2.0 -> "2", 0 -> "0".
[[nodiscard]] std::string formatPlain(double value, std::string_view decimalSeparator);

// Whether the bytes are valid UTF-8 (names and values are shown as UTF-8 when
// they are, as Latin-1 otherwise).
[[nodiscard]] bool isValidUtf8(std::string_view bytes) noexcept;

}  // namespace dlv
