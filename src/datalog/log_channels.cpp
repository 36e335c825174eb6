#include "datalog/log_channels.h"

#include "datalog/columns.h"
#include "datalog/display_text.h"
#include "datalog/number.h"
#include "datalog/take_store.h"

#include <array>
#include <cmath>

namespace dlv {

static_assert(kShownValueBytesLimit == TakeStore::kShownValueBytesLimit);

std::string_view logFormatName(LogFormat format) noexcept
{
    switch (format) {
    case LogFormat::Auto: return "auto";
    case LogFormat::Datalog: return "datalog";
    case LogFormat::Mlg: return "mlg";
    case LogFormat::Msl: return "msl";
    case LogFormat::Text: return "text";
    }
    return "auto";
}

std::optional<LogFormat> logFormatNamed(std::string_view name) noexcept
{
    for (const LogFormat format : {LogFormat::Auto, LogFormat::Datalog, LogFormat::Mlg, LogFormat::Msl, LogFormat::Text})
        if (logFormatName(format) == name)
            return format;
    return std::nullopt;
}

const ChannelInfo& LogChannels::channel(long long) const noexcept
{
    static const ChannelInfo none;
    return none;
}

const std::vector<LogMarker>& LogChannels::markers() const noexcept
{
    static const std::vector<LogMarker> none;
    return none;
}

std::optional<TimeChannel> LogChannels::timeChannel() const noexcept
{
    return std::nullopt;
}

std::string shownChannelName(std::string_view name, std::string_view unit)
{
    std::string shown = displayText(name);
    if (unit.empty())
        return shown;
    const std::string shownUnit = displayText(unit);
    for (const auto& [open, close] : {std::pair{'(', ')'}, std::pair{'[', ']'}})
        if (shown.find(std::string(1, open) + shownUnit + close) != std::string::npos)
            return shown;
    shown += " [";
    shown += shownUnit;
    shown += ']';
    return shown;
}

std::optional<double> wordValue(std::string_view text) noexcept
{
    text = trimSpaces(text);
    if (text.size() > 8)
        return std::nullopt;
    std::array<char, 8> lower{};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view word(lower.data(), text.size());
    for (const std::string_view on : {"on", "yes", "high", "active", "true"})
        if (word == on)
            return 1.0;
    for (const std::string_view off : {"off", "no", "low", "inactive", "false"})
        if (word == off)
            return 0.0;
    return std::nullopt;
}

LogDetails datalogDetails()
{
    LogDetails details;
    details.format = LogFormat::Datalog;
    details.formatName = "datalog";
    return details;
}

StoreChannels::StoreChannels(std::shared_ptr<const TakeStore> store)
    : StoreChannels(std::move(store), Extras{{}, {}, datalogDetails(), TimeChannel{}, {}})
{
}

StoreChannels::StoreChannels(std::shared_ptr<const TakeStore> store, Extras extras)
    : m_store(std::move(store)), m_extras(std::move(extras))
{
}

const std::vector<std::string>& StoreChannels::ParamNames() const noexcept
{
    return m_store->ParamNames();
}

int StoreChannels::takeCount() const noexcept
{
    return m_store->takeCount();
}

std::size_t StoreChannels::fileBytes() const noexcept
{
    return m_store->fileBytes();
}

const ChannelInfo& StoreChannels::channel(long long p) const noexcept
{
    if (p >= 0 && static_cast<std::size_t>(p) < m_extras.channels.size())
        return m_extras.channels[static_cast<std::size_t>(p)];
    return LogChannels::channel(p);
}

std::optional<std::string_view> StoreChannels::shownValue(long long p, long long t, std::string&) const
{
    return m_store->Get_Param_data(p, t);
}

std::uint32_t StoreChannels::maxShownValueBytes(int t) const noexcept
{
    return m_store->maxShownValueBytes(t);
}

void StoreChannels::parseInto(std::span<const long long> params, int firstTake, int count,
                              std::span<double* const> outs) const
{
    parseColumnsInto(*m_store, params, firstTake, count, outs);
    // Cells of on/off channels that hold a word rather than a number.
    for (std::size_t k = 0; k < params.size(); ++k) {
        bool words = false;
        for (const long long p : m_extras.wordChannels)
            words = words || p == params[k];
        if (!words)
            continue;
        double* out = outs[k];
        for (int i = 0; i < count; ++i)
            if (std::isnan(out[i]))
                if (const std::optional<double> value = wordValue(m_store->field(params[k], firstTake + i)))
                    out[i] = *value;
    }
}

}  // namespace dlv
