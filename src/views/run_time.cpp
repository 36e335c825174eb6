#include "views/run_time.h"

#include "datalog/number.h"

#include <algorithm>
#include <cmath>

namespace dlv {

std::string runTimeCaption(std::optional<std::string_view> lastTimeText, int columnCount,
                           std::string_view decimalSeparator)
{
    const int takes = columnCount > 0 ? columnCount - 1 : 0;
    const std::string tail = " minutes (" + std::to_string(takes) + " takes)";
    if (takes == 0 || !lastTimeText)
        return "0" + tail;
    const std::optional<double> seconds = parseNumber(*lastTimeText);
    if (!seconds)
        return "?" + tail;
    // Two decimals first, as shown in "0.00", then the plain text of that.
    const double minutes = roundHalfEven(*seconds) / 60.0;
    const std::optional<double> shown = parseNumber(formatFixed2(minutes, "."));
    return formatPlain(shown.value_or(minutes), decimalSeparator) + tail;
}

std::string channelRunTimeCaption(const std::optional<TimeChannel>& channel, std::span<const double> time,
                                  int columnCount, std::string_view decimalSeparator)
{
    const auto isNumber = [](double v) { return std::isfinite(v); };
    const auto first = std::find_if(time.begin(), time.end(), isNumber);
    const auto last = std::find_if(time.rbegin(), time.rend(), isNumber);
    if (!channel || first == time.end())
        return runTimeCaption(columnCount > 1 ? std::optional<std::string_view>("?") : std::nullopt, columnCount,
                              decimalSeparator);
    const double seconds = (*last - *first) * channel->secondsPerUnit;
    return runTimeCaption(formatPlain(seconds, "."), columnCount, decimalSeparator);
}

}  // namespace dlv
