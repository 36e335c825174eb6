#include "datalog/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

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

// ------------------------------------------------------------ size of a number

TEST(NumberRange, SizeIsJudgedByTheValueNotByTheSignOfTheExponent)
{
    const std::string zeros(400, '0');
    // 1e399 and 1e-401 written with long digit runs read as the short forms do.
    EXPECT_FALSE(parseNumber("1" + zeros + "e-1").has_value());
    EXPECT_FALSE(parseNumber("1e399").has_value());
    EXPECT_EQ(parseNumber("0." + zeros + "1"), 0.0);
    EXPECT_EQ(parseNumber("1e-401"), 0.0);
    EXPECT_TRUE(std::signbit(*parseNumber("-0." + zeros + "1")));
    // Long runs that cancel out are ordinary numbers.
    EXPECT_EQ(parseNumber("0." + zeros + "15e401"), 1.5);
    EXPECT_EQ(parseNumber("1" + zeros + "e-400"), 1.0);
    EXPECT_EQ(parseNumber("-25" + zeros + "e-401"), -2.5);
    // The edges of the double range.
    EXPECT_EQ(parseNumber("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_FALSE(parseNumber("1.7976931348623159e308").has_value());
    EXPECT_EQ(parseNumber("4.9406564584124654e-324"), 4.9406564584124654e-324);
    EXPECT_EQ(parseNumber("2e-324"), 0.0);
    EXPECT_FALSE(parseNumber("1e99999999999999999999999999").has_value());
    EXPECT_EQ(parseNumber("1e-99999999999999999999999999"), 0.0);
    EXPECT_EQ(parseNumber("0e99999999999999999999999999"), 0.0);
}

TEST(NumberRange, DigitsBeyondTheKeptOnesStillDecideTheRounding)
{
    // 1 + 2^-53 lies exactly halfway between 1 and the next double: the tie
    // goes to the even 1, any nonzero digit far behind it rounds up.
    const std::string half = "1.00000000000000011102230246251565404236316680908203125";
    EXPECT_EQ(parseNumber(half), 1.0);
    EXPECT_EQ(parseNumber(half + std::string(2000, '0') + "1"), 1.0000000000000002);
    EXPECT_EQ(parseNumber(half + std::string(2000, '0')), 1.0);
    EXPECT_EQ(parseNumber("1." + std::string(5000, '0') + "1"), 1.0);
}

TEST(NumberRange, PointPositionsAroundThirtyTwoAndSixtyFourBitLimits)
{
    // Where 32-bit digit counts wrapped: the size must still decide.
    for (const std::int64_t position : {std::int64_t{1} << 31, (std::int64_t{1} << 31) + 1, std::int64_t{1} << 32,
                                        (std::int64_t{1} << 32) + 1, std::int64_t{1} << 62,
                                        std::numeric_limits<std::int64_t>::max()}) {
        EXPECT_FALSE(dlv::scaledDecimal(false, "1", false, position).has_value()) << position;
        EXPECT_EQ(dlv::scaledDecimal(false, "1", true, -position), 0.0) << position;
        EXPECT_EQ(dlv::scaledDecimal(true, "", false, position), 0.0) << position;
    }
    EXPECT_EQ(dlv::scaledDecimal(false, "1", false, std::numeric_limits<std::int64_t>::min()), 0.0);
    EXPECT_EQ(dlv::scaledDecimal(false, "1", false, 309), 1e308);
    EXPECT_FALSE(dlv::scaledDecimal(false, "1", false, 310).has_value());
    EXPECT_EQ(dlv::scaledDecimal(false, "5", false, -323), 5e-324);
    EXPECT_EQ(dlv::scaledDecimal(false, "9", false, -324), 0.0);
    EXPECT_EQ(dlv::scaledDecimal(false, "1", true, 1), 1.0);  // far below the last kept digit
}

TEST(NumberText, PlainTextRoundsToFifteenDigitsAndWritesThatDoubleInFull)
{
    EXPECT_EQ(formatPlain(1e22 / 60, "."), "166666666666667016192");
    EXPECT_EQ(formatPlain(1e-7, ","), "0,0000001");
    EXPECT_EQ(formatPlain(999999999999999.9, "."), "1000000000000000");
    EXPECT_EQ(formatPlain(0.000123456789012345678, "."), "0.000123456789012346");
}
