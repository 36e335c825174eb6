// File, Recent Logs as a list: newest first, each log once, ten at most,
// and the folder the open dialog starts in.
#include "views/recent_logs.h"

#include <gtest/gtest.h>

#include <algorithm>

using dlv::RecentLogs;

TEST(RecentLogs, OpenedLogsGoFirstOnceEachAndTheOldestBeyondTenGo)
{
    RecentLogs recent;
    EXPECT_TRUE(recent.paths().empty());
    EXPECT_EQ(recent.lastFolder(), "");
    for (int i = 1; i <= 12; ++i)
        recent.opened("/logs/drive" + std::to_string(i) + ".csv");
    ASSERT_EQ(recent.paths().size(), RecentLogs::kMostLogs);
    EXPECT_EQ(recent.paths().front(), "/logs/drive12.csv");
    EXPECT_EQ(recent.paths().back(), "/logs/drive3.csv");

    // Opened again: back in front, not twice in the list.
    recent.opened("/logs/drive5.csv");
    EXPECT_EQ(recent.paths().size(), RecentLogs::kMostLogs);
    EXPECT_EQ(recent.paths()[0], "/logs/drive5.csv");
    EXPECT_EQ(recent.paths()[1], "/logs/drive12.csv");
    EXPECT_EQ(std::count(recent.paths().begin(), recent.paths().end(), "/logs/drive5.csv"), 1);

    recent.opened("/other/place/track.csv");
    EXPECT_EQ(recent.lastFolder(), "/other/place");
    recent.clear();
    EXPECT_TRUE(recent.paths().empty());
}

TEST(RecentLogs, AListReadBackDropsEmptyNamesRepeatsAndWhatIsBeyondTen)
{
    std::vector<std::string> stored{"/a.csv", "", "/b.csv", "/a.csv"};
    for (int i = 0; i < 20; ++i)
        stored.push_back("/old" + std::to_string(i) + ".csv");
    const RecentLogs recent(stored);
    ASSERT_EQ(recent.paths().size(), RecentLogs::kMostLogs);
    EXPECT_EQ(recent.paths()[0], "/a.csv");
    EXPECT_EQ(recent.paths()[1], "/b.csv");
    EXPECT_EQ(recent.paths()[2], "/old0.csv");
    // Names that are not UTF-8 are kept as their bytes.
    const RecentLogs latin({"/logs/m\xe9tal.csv"});
    EXPECT_EQ(latin.paths().front(), "/logs/m\xe9tal.csv");
}
