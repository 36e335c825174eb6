#include "views/take_caption.h"

#include "datalog/display_text.h"

#include <cctype>

namespace dlv {

namespace {

std::string atTime(std::optional<std::string_view> seconds)
{
    return seconds && !seconds->empty() ? " at " + std::string(*seconds) + " s" : std::string();
}

}  // namespace

std::string takeCaption(int take, std::optional<std::string_view> seconds)
{
    return "Take " + groupedCount(static_cast<std::uint64_t>(take < 0 ? 0 : take)) + atTime(seconds);
}

std::string cellCaption(std::string_view name, int take, std::optional<std::string_view> seconds,
                        std::string_view value)
{
    std::string caption = takeCaption(take, seconds);
    caption[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[0])));
    return std::string(name) + ", " + caption + ": " + (value.empty() ? std::string("(empty)") : std::string(value));
}

}  // namespace dlv
