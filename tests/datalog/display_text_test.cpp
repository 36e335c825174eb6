// The one rule that turns log bytes into shown text, and its bound.
#include "datalog/display_text.h"

#include <gtest/gtest.h>

#include <string>

using dlv::kEllipsis;
using dlv::kMaxShownChars;
using dlv::shownText;

TEST(ShownText, ShortTextsAreShownWholeByTheUtf8OrLatin1Rule)
{
    EXPECT_EQ(shownText("1500"), "1500");
    EXPECT_EQ(shownText("Temp\xC2\xB0" "C"), "Temp\xC2\xB0" "C");  // UTF-8 stays
    EXPECT_EQ(shownText("Temp\xB0" "C"), "Temp\xC2\xB0" "C");       // Latin-1 becomes UTF-8
    EXPECT_EQ(shownText(""), "");
    EXPECT_EQ(dlv::displayText("A\xB0"), "A\xC2\xB0");
    EXPECT_EQ(shownText("a\tb\r\nc", {.separatorsAsSpaces = true}), "a b  c");
    EXPECT_EQ(shownText("a\tb"), "a\tb");
}

TEST(ShownText, LongTextsAreCutAtTheBoundWithAnEllipsis)
{
    const std::string exact(kMaxShownChars, 'x');
    EXPECT_EQ(shownText(exact), exact);
    const std::string longer(kMaxShownChars + 1, 'x');
    EXPECT_EQ(shownText(longer), exact + std::string(kEllipsis));
    EXPECT_EQ(shownText("abcdef", {.maxChars = 3}), "abc" + std::string(kEllipsis));
    EXPECT_EQ(dlv::shownCharsBound(10), 10u);
    EXPECT_EQ(dlv::shownCharsBound(std::size_t{150} << 20), kMaxShownChars + 1);
}

TEST(ShownText, CutCountsCharactersAndNeverSplitsAUtf8Sequence)
{
    std::string euros;
    for (std::size_t i = 0; i < 2 * kMaxShownChars; ++i)
        euros += "\xE2\x82\xAC";
    const std::string shown = shownText(euros);
    EXPECT_EQ(shown, euros.substr(0, 3 * kMaxShownChars) + std::string(kEllipsis));
    // Latin-1 far beyond the head does not change how the head is read.
    EXPECT_EQ(shownText(euros + "\xFF").substr(0, 3), "\xE2\x82\xAC");
    // A head that is not UTF-8 is Latin-1 however long the text.
    const std::string latin(kMaxShownChars * 8, '\xE9');
    const std::string cut = shownText(latin);
    EXPECT_EQ(cut.size(), 2 * kMaxShownChars + kEllipsis.size());
    EXPECT_EQ(cut.substr(0, 2), "\xC3\xA9");
}

TEST(ShownText, HugeZeroFieldCostsOnlyTheBound)
{
    const std::string zeros(std::size_t{64} << 20, '\0');
    const std::string shown = shownText(zeros);
    EXPECT_EQ(shown.size(), kMaxShownChars + kEllipsis.size());
    EXPECT_EQ(shown[0], '\0');
}
