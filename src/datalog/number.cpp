#include "datalog/number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dlv {

std::string_view trimSpaces(std::string_view text) noexcept
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    return text.substr(b, e - b);
}

namespace {

// More significant digits than this never change how a decimal rounds to a
// double (at most 767 can matter): the rest only count as "some nonzero digit".
constexpr std::size_t kKeptDigits = 800;
// A written exponent is read up to this size; any larger one is out of range
// whatever the digits (a text cannot hold 10^15 of them), and the cap keeps
// the sums below within 64 bits.
constexpr std::int64_t kExponentCap = 1'000'000'000'000'000;

}  // namespace

std::optional<double> scaledDecimal(bool negative, std::string_view digits, bool moreNonZero,
                                    std::int64_t pointPosition) noexcept
{
    const double zero = negative ? -0.0 : 0.0;
    if (digits.empty())
        return zero;
    // 0.1 x 10^pointPosition <= value < 10^pointPosition: the double range
    // (about 4.9e-324 to 1.8e308) decides before any conversion.
    if (pointPosition > 309)
        return std::nullopt;
    if (pointPosition < -324)
        return zero;
    digits = digits.substr(0, kKeptDigits);
    char text[kKeptDigits + 32];
    std::memcpy(text, digits.data(), digits.size());
    std::size_t n = digits.size();
    if (moreNonZero) {
        // A sticky digit past the kept ones: rounds as the dropped digits would.
        std::memset(text + n, '0', kKeptDigits - n);
        n = kKeptDigits;
        text[n++] = '1';
    }
    text[n++] = 'e';
    const auto [exponentEnd, unused] =
        std::to_chars(text + n, text + sizeof text, pointPosition - static_cast<std::int64_t>(n - 1));
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text, exponentEnd, value, std::chars_format::scientific);
    if (ec == std::errc::result_out_of_range)
        return pointPosition > 0 ? std::nullopt : std::optional<double>(zero);
    if (ec != std::errc{} || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> parseNumber(std::string_view text) noexcept
{
    const std::string_view t = trimSpaces(text);
    const char* const begin = t.data();
    const char* const end = begin + t.size();
    const char* p = begin;

    // Validate the shape first: from_chars alone would also take inf, nan and
    // hex-like forms, which a log never means as numbers. Counts are 64-bit:
    // one field may hold billions of digits.
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const char* const mantissa = p;
    std::uint64_t digits = 0;
    std::uint64_t fractionDigits = 0;
    std::uint64_t digitValue = 0;  // meaningful only while digits <= 15
    const char* lastNonZero = nullptr;
    bool point = false;
    for (; p != end; ++p) {
        if (*p >= '0' && *p <= '9') {
            ++digits;
            fractionDigits += point;
            digitValue = digitValue * 10 + static_cast<std::uint64_t>(*p - '0');
            lastNonZero = *p != '0' ? p : lastNonZero;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return std::nullopt;
    std::int64_t written = 0;
    const bool exponent = p != end && (*p == 'e' || *p == 'E');
    if (exponent) {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        if (p == end || *p < '0' || *p > '9')
            return std::nullopt;
        for (; p != end && *p >= '0' && *p <= '9'; ++p)
            written = std::min(written * 10 + (*p - '0'), kExponentCap);
        if (negativeExponent)
            written = -written;
    }
    if (p != end)
        return std::nullopt;

    // Fast path for the usual log value: up to 15 digits and no exponent. The
    // mantissa and the power of ten are both exact doubles, so one division
    // gives the correctly rounded value, the same as the full conversion.
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (digits <= 15 && !exponent) {
        const double value = static_cast<double>(digitValue) / kPowersOfTen[fractionDigits];
        return negative ? -value : value;
    }

    // Otherwise the value is 0.d1d2d3... x 10^pointPosition, d1 the first
    // nonzero digit: its size is known from the counts before any conversion.
    // Only the digits up to the last nonzero one are walked again.
    char kept[kKeptDigits];
    std::size_t keptCount = 0;
    std::uint64_t leadingZeros = 0;  // digits before the first nonzero one
    const char* q = mantissa;
    const char* const lastDigit = lastNonZero ? lastNonZero + 1 : mantissa;
    for (; q != lastDigit && keptCount < kKeptDigits; ++q) {
        if (*q == '.')
            continue;
        if (keptCount == 0 && *q == '0')
            ++leadingZeros;
        else
            kept[keptCount++] = *q;
    }
    const bool moreNonZero = q != lastDigit;
    const std::uint64_t integerDigits = digits - fractionDigits;
    const std::int64_t pointPosition =
        static_cast<std::int64_t>(integerDigits) - static_cast<std::int64_t>(leadingZeros) + written;
    return scaledDecimal(negative, std::string_view(kept, keptCount), moreNonZero, pointPosition);
}

double roundHalfEven(double value) noexcept
{
    return std::nearbyint(value);  // the default rounding mode rounds halves to even
}

namespace {

std::string withSeparator(std::string text, std::string_view decimalSeparator)
{
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos && decimalSeparator != ".")
        text.replace(dot, 1, decimalSeparator);
    return text;
}

}  // namespace

std::string formatFixed2(double value, std::string_view decimalSeparator)
{
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, "%.2f", value);
    std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (text == "-0.00")
        text = "0.00";
    return withSeparator(std::move(text), decimalSeparator);
}

std::string formatPlain(double value, std::string_view decimalSeparator)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : (value > 0 ? "Infinity" : "-Infinity");
    // Round to 15 significant digits (so 0.1 + 0.2 shows as 0.3), then write
    // the shortest fixed-point text of the double nearest to that: no
    // exponent, no trailing zeros. Beyond 10^15 that double has more digits.
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    const double rounded = std::strtod(buffer, nullptr);
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed);
    std::string text(buffer, ec == std::errc{} ? end : buffer);
    if (text == "-0")
        text = "0";
    return withSeparator(std::move(text), decimalSeparator);
}

std::size_t utf8CharLength(std::string_view bytes, std::size_t at) noexcept
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    if (at >= n)
        return 0;
    const unsigned char c = s[at];
    if (c < 0x80)
        return 1;
    std::size_t len;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (at + len > n)
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char cc = s[at + k];
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool isValidUtf8(std::string_view bytes) noexcept
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Skip ASCII eight bytes at a time; logs are almost all ASCII.
        while (i + 8 <= n) {
            std::uint64_t chunk;
            __builtin_memcpy(&chunk, s + i, 8);
            if (chunk & 0x8080808080808080ULL)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const std::size_t len = utf8CharLength(bytes, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

}  // namespace dlv
