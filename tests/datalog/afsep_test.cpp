#include "datalog/afsep.h"

#include <gtest/gtest.h>

#include <string>

using dlv::AFSEP;

TEST(Afsep, CutsEveryFieldOfTheTable)
{
    struct Case { const char* line; int field; const char* expected; };
    const Case cases[] = {
        {"a,b,c", 0, "a"}, {"a,b,c", 1, "b"}, {"a,b,c", 2, "c"}, {"a,b,c", 3, ""},
        {"abc", 0, "abc"}, {"abc", 1, ""}, {"", 0, ""}, {"", 5, ""},
        {",abc", 0, ""}, {",abc", 1, "abc"}, {"a,,c", 1, ""}, {"a,,c", 2, "c"},
        {"a,b,", 2, ""}, {"a,b,", 3, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AFSEP(c.line, c.field, ","), c.expected) << '"' << c.line << "\" field " << c.field;
}

TEST(Afsep, KeepsSpacesAroundValues)
{
    EXPECT_EQ(AFSEP(" 12 ,x", 0, ","), " 12 ");
}

TEST(Afsep, HasNoSixteenBitLimitOnLongLines)
{
    const std::string noComma(40000, 'x');
    EXPECT_EQ(AFSEP(noComma, 0, ","), noComma);
    EXPECT_EQ(AFSEP(noComma, 1, ","), "");

    std::string many;
    for (int i = 0; i < 50000; ++i)
        many += std::to_string(i) + ",";
    many += "last";
    EXPECT_EQ(AFSEP(many, 40000, ","), "40000");
    EXPECT_EQ(AFSEP(many, 50000, ","), "last");
    EXPECT_EQ(AFSEP(many, 50001, ","), "");
}

TEST(Afsep, NegativeFieldNumberGivesEmptyText)
{
    EXPECT_EQ(AFSEP("a,b", -1, ","), "");
    EXPECT_EQ(AFSEP("ab", -32768, ","), "");
}

TEST(Afsep, LongerSeparatorIsSkippedWhole)
{
    EXPECT_EQ(AFSEP("a::b::c", 1, "::"), "b");
    EXPECT_EQ(AFSEP("a,b", 1, ""), "");
}
