#include "datalog/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using dlv::formatFixed2;
using dlv::formatPlain;
using dlv::parseNumber;

TEST(NumberRule, AcceptsSignsPointsAndExponents)
{
    EXPECT_EQ(parseNumber("12"), 12.0);
    EXPECT_EQ(parseNumber("  -3.5 "), -3.5);
    EXPECT_EQ(parseNumber("+7"), 7.0);
    EXPECT_EQ(parseNumber(".5"), 0.5);
    EXPECT_EQ(parseNumber("5."), 5.0);
    EXPECT_EQ(parseNumber("1e3"), 1000.0);
    EXPECT_EQ(parseNumber("2.5E-1"), 0.25);
    EXPECT_EQ(parseNumber("-0"), 0.0);
    EXPECT_TRUE(std::signbit(*parseNumber("-0")));
}

TEST(NumberRule, RejectsWhatIsNotAPlainNumber)
{
    for (const char* text : {"", " ", ".", "-", "+.", "1,5", "1 000", "0x1F", "inf", "-inf", "nan", "NaN",
                             "1e", "1e+", "e5", "1.2.3", "12a", "\t12", "12\t", "--1", "1e999", "-1e999"})
        EXPECT_FALSE(parseNumber(text).has_value()) << '"' << text << '"';
}

TEST(NumberRule, TinyExponentIsZeroNotAnError)
{
    EXPECT_EQ(parseNumber("1e-999"), 0.0);
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(dlv::roundHalfEven(2.5), 2.0);
    EXPECT_EQ(dlv::roundHalfEven(3.5), 4.0);
    EXPECT_EQ(dlv::roundHalfEven(-2.5), -2.0);
    EXPECT_EQ(dlv::roundHalfEven(2.51), 3.0);
}

TEST(NumberText, FixedTwoDecimalsUsesTheGivenSeparator)
{
    EXPECT_EQ(formatFixed2(15.0, "."), "15.00");
    EXPECT_EQ(formatFixed2(1.005e3, ","), "1005,00");
    EXPECT_EQ(formatFixed2(-0.001, "."), "0.00");
    EXPECT_EQ(formatFixed2(-2.5, "."), "-2.50");
}

TEST(NumberText, PlainTextHasNoTrailingZerosOrExponent)
{
    EXPECT_EQ(formatPlain(12.5, "."), "12.5");
    EXPECT_EQ(formatPlain(2.0, "."), "2");
    EXPECT_EQ(formatPlain(1.67, ","), "1,67");
    EXPECT_EQ(formatPlain(0.0, "."), "0");
    EXPECT_EQ(formatPlain(-0.0, "."), "0");
    EXPECT_EQ(formatPlain(0.1 + 0.2, "."), "0.3");
    EXPECT_EQ(formatPlain(1e20, "."), "100000000000000000000");
    EXPECT_EQ(formatPlain(3200, "."), "3200");
}

TEST(Utf8Check, TellsValidFromInvalidBytes)
{
    EXPECT_TRUE(dlv::isValidUtf8("plain ascii, long enough to use the fast path"));
    EXPECT_TRUE(dlv::isValidUtf8("Drehzahl \xC3\xBC \xE2\x82\xAC"));
    EXPECT_FALSE(dlv::isValidUtf8("Temp \xB0" "C"));        // Latin-1 degree sign
    EXPECT_FALSE(dlv::isValidUtf8("\xC3"));                 // cut short
    EXPECT_FALSE(dlv::isValidUtf8("\xED\xA0\x80"));         // surrogate
    EXPECT_FALSE(dlv::isValidUtf8("\xC0\xAF"));             // overlong
}

TEST(NumberRule, ShortValuesConvertExactlyAsTheFullConversion)
{
    // The quick path for short values must round exactly like strtod.
    for (const char* text : {"0.1", "0.3", "123.456", "-98765.4321", "999999999999999", "0.000000000000001",
                             "14.7", "1.5", "3200", "-0.0", "12345678.9012345"})
        EXPECT_EQ(*parseNumber(text), std::strtod(text, nullptr)) << text;
    EXPECT_EQ(*parseNumber("1234567890123456789"), 1234567890123456789.0);
}
