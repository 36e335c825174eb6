#include "views/run_time.h"

#include <gtest/gtest.h>

using dlv::runTimeCaption;

TEST(RunTimeCaption, RoundsSecondsThenShowsMinutesWithoutTrailingZeros)
{
    struct Case { const char* seconds; const char* shown; };
    const Case cases[] = {{"750", "12.5"}, {"90", "1.5"}, {"120", "2"}, {"100", "1.67"}, {"2.5", "0.03"},
                          {"29.5", "0.5"}, {"30.5", "0.5"}, {"0", "0"}, {"-90", "-1.5"}};
    for (const Case& c : cases)
        EXPECT_EQ(runTimeCaption(c.seconds, 1501, "."), std::string(c.shown) + " minutes (1500 takes)") << c.seconds;
}

TEST(RunTimeCaption, UsesTheUsersDecimalSeparatorForTheFraction)
{
    EXPECT_EQ(runTimeCaption("750", 3, ","), "12,5 minutes (2 takes)");
}

TEST(RunTimeCaption, NonNumberShowsAQuestionMarkInsteadOfFailing)
{
    EXPECT_EQ(runTimeCaption("", 11, "."), "? minutes (10 takes)");
    EXPECT_EQ(runTimeCaption("12:30", 11, "."), "? minutes (10 takes)");
}

TEST(RunTimeCaption, NoTakeReadsZero)
{
    EXPECT_EQ(runTimeCaption(std::nullopt, 1, "."), "0 minutes (0 takes)");
}
