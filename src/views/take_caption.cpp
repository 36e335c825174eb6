#include "views/take_caption.h"

#include "datalog/display_text.h"
#include "datalog/number.h"

#include <cctype>

namespace dlv {

namespace {

std::string atTime(std::optional<std::string_view> seconds)
{
    return seconds && !seconds->empty() ? " at " + std::string(*seconds) + " s" : std::string();
}

}  // namespace

std::optional<std::string> takeSeconds(const LogChannels& log, const TimeChannel& time, long long t)
{
    if (t < 0 || t >= log.takeCount() || time.param < 0 || time.param >= log.channelCount())
        return std::nullopt;
    std::string scratch;
    const std::optional<std::string_view> shown = log.shownValue(time.param, t, scratch);
    const std::optional<double> value = shown ? parseNumber(*shown) : std::nullopt;
    if (!value)
        return std::nullopt;
    if (time.secondsPerUnit == 1.0)
        return std::string(trimSpaces(*shown));
    return formatPlain(*value * time.secondsPerUnit, ".");
}

std::string takeCaption(int take, std::optional<std::string_view> seconds)
{
    return "Take " + groupedCount(static_cast<std::uint64_t>(take < 0 ? 0 : take)) + atTime(seconds);
}

std::string cellCaption(std::string_view name, int take, std::optional<std::string_view> seconds,
                        std::string_view value)
{
    std::string caption = takeCaption(take, seconds);
    // The last row's name is empty: the take alone then.
    if (!name.empty())
        caption = std::string(name) + ", " +
                  static_cast<char>(std::tolower(static_cast<unsigned char>(caption[0]))) + caption.substr(1);
    return caption + ": " + (value.empty() ? std::string("(empty)") : std::string(value));
}

}  // namespace dlv
