#include "workbench/format.h"

#include <charconv>
#include <cmath>

namespace dlv::workbench {

namespace {

std::string nonFinite(double value)
{
    return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
}

}  // namespace

std::string formatBreakpoint(double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    if (value == 0)
        return "0";
    // Fixed notation without a precision is the shortest text that round-trips;
    // the largest double needs 309 digits.
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return ec == std::errc{} ? std::string(buffer, end) : std::string();
}

std::string formatStatistic(double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    std::string text = ec == std::errc{} ? std::string(buffer, end) : std::string();
    if (text == "-0.00")
        text = "0.00";
    return text;
}

}  // namespace dlv::workbench
