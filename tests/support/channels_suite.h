#pragma once

// What every reader's LogChannels must keep, checked the same way over the
// own format, MLG and the text formats: names end with the empty one, a
// range parse gives what the whole-log parse gives, shown texts stay
// within the width the log announces, and no value lies outside the takes.
#include "datalog/log_channels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace dlvtest {

inline bool sameNumber(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The numbers of every channel over all takes, by one parseInto call.
inline std::vector<std::vector<double>> wholeColumns(const dlv::LogChannels& log)
{
    std::vector<long long> params(static_cast<std::size_t>(log.channelCount()));
    std::iota(params.begin(), params.end(), 0LL);
    std::vector<std::vector<double>> columns(params.size(),
                                             std::vector<double>(static_cast<std::size_t>(log.takeCount())));
    std::vector<double*> outs;
    for (auto& column : columns)
        outs.push_back(column.data());
    log.parseInto(params, 0, log.takeCount(), outs);
    return columns;
}

inline void expectChannelsHoldTogether(const dlv::LogChannels& log)
{
    const auto& names = log.ParamNames();
    ASSERT_FALSE(names.empty());
    EXPECT_TRUE(names.back().empty()) << "the names end with the empty one";
    EXPECT_EQ(log.channelCount(), static_cast<int>(names.size()) - 1);
    EXPECT_FALSE(log.details().formatName.empty());

    const auto whole = wholeColumns(log);
    // Ranges of any length and start, and channels asked alone or twice.
    const int takes = log.takeCount();
    for (const int step : {1, 3, 7}) {
        for (int first = 0; first < takes; first += step) {
            const int count = std::min(step, takes - first);
            for (long long p = 0; p < log.channelCount(); ++p) {
                const std::vector<long long> twice{p, p};
                std::vector<double> a(static_cast<std::size_t>(count)), b(static_cast<std::size_t>(count));
                std::vector<double*> outs{a.data(), b.data()};
                log.parseInto(twice, first, count, outs);
                for (int i = 0; i < count; ++i) {
                    EXPECT_TRUE(sameNumber(a[static_cast<std::size_t>(i)],
                                           whole[static_cast<std::size_t>(p)][static_cast<std::size_t>(first + i)]))
                        << "channel " << p << " take " << first + i;
                    EXPECT_TRUE(sameNumber(a[static_cast<std::size_t>(i)], b[static_cast<std::size_t>(i)]));
                }
            }
        }
    }

    std::string scratch;
    for (int t = 0; t < takes; ++t) {
        for (long long p = 0; p < log.channelCount(); ++p) {
            const std::optional<std::string_view> shown = log.shownValue(p, t, scratch);
            ASSERT_TRUE(shown) << "channel " << p << " take " << t;
            EXPECT_LE(shown->size(), dlv::kShownValueBytesLimit);
        }
        EXPECT_LE(log.maxShownValueBytes(t), dlv::kShownValueBytesLimit);
        EXPECT_EQ(log.shownValue(log.channelCount() + 5, t, scratch).value_or("x"), "");
    }
    EXPECT_FALSE(log.shownValue(0, -1, scratch));
    EXPECT_FALSE(log.shownValue(0, takes, scratch));
    for (const dlv::LogMarker& marker : log.markers()) {
        EXPECT_GE(marker.take, 0);
        EXPECT_LE(marker.take, takes);
    }
    if (const std::optional<dlv::TimeChannel> time = log.timeChannel()) {
        EXPECT_GE(time->param, 0);
        EXPECT_LT(time->param, log.channelCount());
        EXPECT_GT(time->secondsPerUnit, 0.0);
    }
}

}  // namespace dlvtest
