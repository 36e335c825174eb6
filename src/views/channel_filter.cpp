#include "views/channel_filter.h"

#include <algorithm>

namespace dlv {

namespace {

char lowered(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsIgnoringCase(std::string_view text, std::string_view part)
{
    if (part.empty())
        return true;
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char a, char b) { return lowered(a) == lowered(b); }) != text.end();
}

}  // namespace

std::vector<std::string> channelCategories(const LogChannels& log)
{
    std::vector<std::string> categories;
    for (long long p = 0; p < log.channelCount(); ++p) {
        const std::string& category = log.channel(p).category;
        if (!category.empty() && std::find(categories.begin(), categories.end(), category) == categories.end())
            categories.push_back(category);
    }
    return categories;
}

bool channelMatches(const LogChannels& log, long long p, std::string_view text, std::string_view category)
{
    if (p < 0 || p >= log.channelCount())
        return text.empty() && category.empty();
    const ChannelInfo& info = log.channel(p);
    if (!category.empty() && info.category != category)
        return false;
    const std::string shown = shownChannelName(log.ParamNames()[static_cast<std::size_t>(p)], info.unit);
    return containsIgnoringCase(shown, text) || containsIgnoringCase(info.category, text);
}

std::vector<bool> matchingChannels(const LogChannels& log, std::string_view text, std::string_view category)
{
    std::vector<bool> shown(static_cast<std::size_t>(std::max(log.channelCount(), 0)));
    for (long long p = 0; p < log.channelCount(); ++p)
        shown[static_cast<std::size_t>(p)] = channelMatches(log, p, text, category);
    return shown;
}

}  // namespace dlv
