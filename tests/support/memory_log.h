#pragma once

// A log of the interface held in memory, whose texts are built when shown
// as a binary format's are: for tests of what the views and the window make
// of a log of another format, whatever readers exist.
#include "datalog/log_channels.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace dlvtest {

inline constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// A log whose numbers are given and whose texts are built when shown, as a
// binary format's are.
class MemoryLog final : public dlv::LogChannels {
public:
    MemoryLog(std::vector<std::string> names, std::vector<std::vector<double>> columns,
              std::vector<dlv::ChannelInfo> infos)
        : m_names(std::move(names)), m_columns(std::move(columns)), m_infos(std::move(infos))
    {
        m_names.emplace_back();
        m_details.format = dlv::LogFormat::Mlg;
        m_details.formatName = "MLG 2";
        m_details.summary = "MLG 2, 3 channels";
    }
    const std::vector<std::string>& ParamNames() const noexcept override { return m_names; }
    int takeCount() const noexcept override { return m_columns.empty() ? 0 : static_cast<int>(m_columns[0].size()); }
    std::size_t fileBytes() const noexcept override { return 100; }
    const dlv::ChannelInfo& channel(long long p) const noexcept override
    {
        return p >= 0 && p < static_cast<long long>(m_infos.size()) ? m_infos[static_cast<std::size_t>(p)]
                                                                     : LogChannels::channel(p);
    }
    const dlv::LogDetails& details() const noexcept override { return m_details; }
    std::optional<dlv::TimeChannel> timeChannel() const noexcept override { return m_time; }
    std::optional<std::string_view> shownValue(long long p, long long t, std::string& scratch) const override
    {
        if (t < 0 || t >= takeCount())
            return std::nullopt;
        if (p < 0 || p >= static_cast<long long>(m_columns.size()))
            return std::string_view{};
        const double v = m_columns[static_cast<std::size_t>(p)][static_cast<std::size_t>(t)];
        if (std::isnan(v))
            scratch.clear();
        else if (channel(p).style == dlv::ValueStyle::OnOff)
            scratch = v != 0 ? "On" : "Off";
        else {
            char text[64];
            std::snprintf(text, sizeof text, "%.*f", std::max(channel(p).digits, 0), v);
            scratch = text;
        }
        return scratch;
    }
    std::uint32_t maxShownValueBytes(int) const noexcept override { return 12; }
    void parseInto(std::span<const long long> params, int first, int count,
                   std::span<double* const> outs) const override
    {
        for (std::size_t k = 0; k < params.size(); ++k)
            for (int i = 0; i < count; ++i)
                outs[k][i] = params[k] < static_cast<long long>(m_columns.size())
                                 ? m_columns[static_cast<std::size_t>(params[k])][static_cast<std::size_t>(first + i)]
                                 : kNone;
    }
    const std::vector<dlv::LogMarker>& markers() const noexcept override { return m_markers; }

    // Tests set these as the log they stand for needs.
    std::optional<dlv::TimeChannel> m_time = dlv::TimeChannel{0, 0.001};
    dlv::LogDetails m_details;
    std::vector<dlv::LogMarker> m_markers;

private:
    std::vector<std::string> m_names;
    std::vector<std::vector<double>> m_columns;
    std::vector<dlv::ChannelInfo> m_infos;
};

// Four takes of a drive: Time in ms, RPM with a gap, an on/off Fan.
inline std::shared_ptr<MemoryLog> drive()
{
    dlv::ChannelInfo time{"ms", "", 0, dlv::ValueStyle::Number};
    dlv::ChannelInfo rpm{"rpm", "Engine", 0, dlv::ValueStyle::Number};
    dlv::ChannelInfo fan{"", "Outputs", 0, dlv::ValueStyle::OnOff};
    return std::make_shared<MemoryLog>(std::vector<std::string>{"Time", "RPM", "Fan"},
                                       std::vector<std::vector<double>>{{5000, 35000, 65000, 95000},
                                                                        {800, kNone, 1000, 1200},
                                                                        {0, 1, 1, 0}},
                                       std::vector<dlv::ChannelInfo>{time, rpm, fan});
}

}  // namespace dlvtest
