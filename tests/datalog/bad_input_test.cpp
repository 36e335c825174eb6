// Logs that are broken, odd or hostile, read through the take store and the
// computations behind the views: nothing may crash, hang or lose a byte, and
// every refusal must name the file and the reason.
#include "../../fuzz/fuzz_checks.h"
#include "datalog/number.h"
#include "datalog/take_store.h"
#include "support/child_process.h"
#include "support/read_outcome.h"
#include "support/temp_logs.h"
#include "views/blm_table.h"
#include "views/curve.h"
#include "views/report.h"
#include "views/run_time.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using dlv::readDataLog;
using dlv::readDataLogBytes;
using dlv::ReadResult;
using dlv::TakeStore;
using dlvtest::ChildOutcome;
using dlvtest::outcomeOf;
using dlvtest::runInChild;

namespace {

// ------------------------------------------------------------ reference reading

// The lines of a log the plainest possible way, as the fuzz checks cut them.
using dlv::fuzzcheck::naiveLines;

std::vector<std::string_view> naiveFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ',') {
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

// Every answer about take t checked against a plain split of its text.
void expectTakeConsistent(const TakeStore& store, int t)
{
    const std::string_view line = store.DataLines(t);
    ASSERT_EQ(line.find_first_of("\r\n"), std::string_view::npos) << "take " << t;
    const std::vector<std::string_view> fields = naiveFields(line);
    ASSERT_EQ(store.fieldCount(t), static_cast<int>(fields.size())) << "take " << t;
    const std::size_t shownFields = store.ParamNames().size();  // fields 0 .. P
    std::uint32_t widest = 0;
    for (std::size_t p = 0; p < fields.size(); ++p) {
        ASSERT_EQ(store.field(static_cast<long long>(p), t), fields[p]) << "take " << t << " field " << p;
        ASSERT_EQ(store.Get_Param_data(static_cast<long long>(p), t), dlv::trimSpaces(fields[p]));
        if (p < shownFields)
            widest = std::max<std::uint32_t>(widest, static_cast<std::uint32_t>(dlv::trimSpaces(fields[p]).size()));
    }
    EXPECT_EQ(store.Get_Param_data(static_cast<long long>(fields.size()), t), std::string_view{});
    EXPECT_EQ(store.Get_Param_data(-1, t), std::string_view{});
    EXPECT_EQ(store.maxShownValueBytes(t), std::min(widest, TakeStore::kShownValueBytesLimit)) << "take " << t;
}

// Every answer of the store checked against the reference reading of bytes.
void expectMatchesNaiveReading(std::string_view bytes, const TakeStore& store)
{
    const std::vector<std::string_view> lines = naiveLines(bytes);
    ASSERT_GE(lines.size(), 2u);
    std::vector<std::string> names;
    for (std::string_view name : naiveFields(lines[1])) {
        names.emplace_back(name);
        if (name.empty())
            break;
    }
    if (!names.back().empty())
        names.emplace_back();
    EXPECT_EQ(store.ParamNames(), names);

    ASSERT_EQ(static_cast<std::size_t>(store.takeCount()), lines.size() - 2);
    for (int t = 0; t < store.takeCount(); ++t) {
        ASSERT_EQ(store.DataLines(t), lines[static_cast<std::size_t>(t) + 2]) << "take " << t;
        expectTakeConsistent(store, t);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    EXPECT_EQ(store.Get_Param_data(0, store.takeCount()), std::nullopt);
    EXPECT_EQ(store.Get_Param_data(0, -1), std::nullopt);
}

const TakeStore& readOk(const std::string& bytes)
{
    static ReadResult keep;
    keep = readDataLogBytes(bytes, "log.csv");
    EXPECT_TRUE(keep.ok()) << keep.error;
    if (!keep.ok())
        keep = readDataLogBytes("t\nA\n");
    return *keep.store;
}

// Every view's computation over a store, as the report prints them; none may
// throw, and each text must be valid UTF-8.
void expectEveryViewComputes(const TakeStore& store)
{
    std::string report;
    EXPECT_NO_THROW(report = dlv::reportText(store, ".", true));
    EXPECT_TRUE(dlv::isValidUtf8(report));
    for (std::size_t p = 0; p < std::min<std::size_t>(store.ParamNames().size(), 8); ++p) {
        const dlv::ParamSeries series = dlv::extractParamSeries(store, static_cast<long long>(p));
        const dlv::CurveSummary summary = dlv::summarizeSeries(series);
        const dlv::CurveLayout layout = dlv::CurveLayout::of(store.lastTake(), summary);
        const dlv::CurveEnvelope envelope = dlv::CurveEnvelope::build(series, 0.0, layout.width, 537);
        EXPECT_EQ(envelope.widthPx(), 537);
    }
}

// A 250-field take with the given RPM, MAP and BLM texts.
std::string blmTake(const std::string& rpm, const std::string& map, const std::string& blm)
{
    return dlvtest::takeLine(250, {{dlv::kRpmParam, rpm}, {dlv::kMapParam, map}, {dlv::kBlmParam, blm}});
}

std::string blmLog(const std::vector<std::string>& takes)
{
    std::string log = "title\n" + dlvtest::takeLine(250, {}) + "\n";
    for (const std::string& take : takes)
        log += take + "\n";
    return log;
}

}  // namespace

// ------------------------------------------------------------ too little to read

TEST(ShortLogs, EmptyFileIsNotADataLog)
{
    dlvtest::TempLogs logs;
    const std::string path = logs.write("empty.csv", "");
    EXPECT_EQ(readDataLog(path).error, "'" + path + "' is not a data log: it has fewer than two lines");
    EXPECT_EQ(readDataLogBytes("", "e.csv").error, "'e.csv' is not a data log: it has fewer than two lines");
}

TEST(ShortLogs, OneLineIsNotADataLogWhateverItsLineEnd)
{
    for (const char* bytes : {"title", "title\n", "title\r\n", "title\r", "\n", "\r\n", "\r"}) {
        const ReadResult result = readDataLogBytes(bytes, "one.csv");
        EXPECT_FALSE(result.ok()) << bytes;
        EXPECT_EQ(result.error, "'one.csv' is not a data log: it has fewer than two lines") << bytes;
    }
}

TEST(ShortLogs, TitleAndNamesWithoutDataGiveEmptyViews)
{
    for (const char* bytes : {"t\nTime,RPM", "t\nTime,RPM\n", "t\r\nTime,RPM\r\n", "t\rTime,RPM\r"}) {
        const TakeStore& store = readOk(bytes);
        EXPECT_EQ(store.takeCount(), 0) << bytes;
        EXPECT_EQ(store.ParamNames(), (std::vector<std::string>{"Time", "RPM", ""}));
        EXPECT_EQ(dlv::runTimeCaption(store.Get_Param_data(0, store.lastTake()), store.takeCount() + 1, "."),
                  "0 minutes (0 takes)");
        EXPECT_EQ(dlv::blmTableTexts(dlv::computeBlmTable(store))[1][1], "");
        EXPECT_FALSE(dlv::summarizeSeries(dlv::extractParamSeries(store, 0)).hasNumbers());
        expectEveryViewComputes(store);
    }
    // An empty title and an empty names line are still two lines.
    EXPECT_EQ(readOk("\n\n").ParamNames(), (std::vector<std::string>{""}));
}

// ------------------------------------------------------------ bytes that are not text

TEST(Encoding, BinaryGarbageWithNulBytesReadsLikeAnyText)
{
    std::mt19937 random(20240611);
    // Mostly arbitrary bytes, with commas and line ends often enough that
    // lines and fields of every shape occur, NUL included.
    const char frequent[] = {',', '\n', '\r', '\0', ' ', '\t', '\xFF', '\xC3'};
    for (int round = 0; round < 60; ++round) {
        std::string bytes = "t\n";
        const int length = static_cast<int>(random() % 3000);
        for (int i = 0; i < length; ++i)
            bytes.push_back(random() % 3 == 0 ? frequent[random() % sizeof frequent] : static_cast<char>(random()));
        const ReadResult result = readDataLogBytes(bytes, "garbage.bin");
        ASSERT_TRUE(result.ok()) << result.error;
        expectMatchesNaiveReading(bytes, *result.store);
        expectEveryViewComputes(*result.store);
    }
}

TEST(Encoding, UtfSixteenLogIsReadByteForByte)
{
    // A log saved as UTF-16: every other byte is NUL; nothing is decoded.
    std::string bytes = "\xFF\xFE";
    for (const char c : std::string_view("t\nA,B\n1,2\n")) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    const TakeStore& store = readOk(bytes);
    expectMatchesNaiveReading(bytes, store);
    EXPECT_EQ(store.ParamNames()[0], std::string("\0A\0", 3));
}

TEST(Encoding, Latin1AndInvalidUtf8NamesAreShownAsLatin1)
{
    struct Case {
        std::string bytes;
        std::string shown;
    };
    const Case cases[] = {
        {"Temp\xB0" "C", "Temp\xC2\xB0" "C"},       // Latin-1 degree sign
        {"\xC3\x28", "\xC3\x83("},                  // lead byte without continuation
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},           // overlong '/'
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // UTF-16 surrogate
        {"Euro\xE2\x82", "Euro\xC3\xA2\xC2\x82"},   // cut-off sequence at the end
        {"Dr\xC3\xBC" "ck", "Dr\xC3\xBC" "ck"},     // valid UTF-8 stays as it is
    };
    std::string namesLine;
    for (const Case& c : cases)
        namesLine += (namesLine.empty() ? "" : ",") + c.bytes;
    const TakeStore& store = readOk("t\n" + namesLine + "\n1,2,3,4,5,6\n");
    ASSERT_EQ(store.ParamNames().size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(store.ParamNames()[i], cases[i].bytes) << i;  // kept raw
        EXPECT_EQ(dlv::displayText(store.ParamNames()[i]), cases[i].shown) << i;
    }
    const std::string report = dlv::reportText(store, ".");
    EXPECT_TRUE(dlv::isValidUtf8(report));
    EXPECT_NE(report.find("Temp\xC2\xB0" "C\t1.00\t1.00\t1.00\n"), std::string::npos) << report;
}

TEST(Encoding, ByteOrderMarkOnlyTouchesTheDroppedTitle)
{
    const TakeStore& store = readOk("\xEF\xBB\xBFtitle\nTime,RPM\n1,800\n");
    EXPECT_EQ(store.ParamNames()[0], "Time");
    EXPECT_EQ(store.Get_Param_data(1, 0), std::string_view("800"));
    // A mark in front of the names (a title line of its own) is part of the first name.
    const TakeStore& marked = readOk("t\n\xEF\xBB\xBFTime,RPM\n1,800\n");
    EXPECT_EQ(marked.ParamNames()[0], "\xEF\xBB\xBFTime");
    EXPECT_EQ(dlv::displayText(marked.ParamNames()[0]), "\xEF\xBB\xBFTime");
}

// ------------------------------------------------------------ line ends

TEST(LineEnds, CrOnlyLfOnlyAndMixedEndsGiveTheSameTakes)
{
    // Lines of every length up to a few vector chunks, so that each kind of
    // line end falls on every position of a 16-byte chunk.
    std::vector<std::string> lines = {"title", "A,B,C"};
    // No empty line: after a CR it would make a CR LF pair with its own end.
    for (int length = 1; length < 50; ++length) {
        std::string line;
        for (int i = 0; i < length; ++i)
            line.push_back(i % 4 == 3 ? ',' : static_cast<char>('0' + i % 10));
        lines.push_back(line);
    }
    const char* const ends[] = {"\n", "\r", "\r\n"};
    auto joined = [&](const std::function<const char*(std::size_t)>& endOf, bool lastEnd) {
        std::string bytes;
        for (std::size_t i = 0; i < lines.size(); ++i)
            bytes += lines[i] + ((i + 1 < lines.size() || lastEnd) ? endOf(i) : "");
        return bytes;
    };
    const std::string lf = joined([](std::size_t) { return "\n"; }, true);
    const ReadResult reference = readDataLogBytes(lf);
    ASSERT_TRUE(reference.ok());
    expectMatchesNaiveReading(lf, *reference.store);
    for (int pattern = 0; pattern < 9; ++pattern) {
        for (const bool lastEnd : {true, false}) {
            const std::string bytes = joined(
                [&](std::size_t i) { return pattern < 3 ? ends[pattern] : ends[(i * 5 + i / 2 + static_cast<std::size_t>(pattern)) % 3]; },
                lastEnd);
            const ReadResult result = readDataLogBytes(bytes);
            ASSERT_TRUE(result.ok());
            ASSERT_EQ(result.store->takeCount(), reference.store->takeCount()) << pattern;
            for (int t = 0; t < result.store->takeCount(); ++t)
                ASSERT_EQ(result.store->DataLines(t), reference.store->DataLines(t)) << pattern << " take " << t;
            expectMatchesNaiveReading(bytes, *result.store);
        }
    }
}


TEST(LineEnds, ShortLinesSeveralToABlockKeepTheirFieldsAndWidths)
{
    // Lines short enough that one 64-byte block holds several, under names
    // enough for every field: the commas between line ends are taken
    // together. Fields of 0 to 9 bytes, some lines with spaces, lines with
    // fewer and with more fields than names, and every kind of line end.
    std::mt19937 random(29);
    const char* const ends[] = {"\n", "\r", "\r\n"};
    for (int round = 0; round < 40; ++round) {
        const int names = 1 + static_cast<int>(random() % 16);
        std::string bytes = "title\n";
        for (int k = 0; k < names; ++k)
            bytes += (k ? ",N" : "N") + std::to_string(k);
        bytes += "\n";
        const int lines = 50 + static_cast<int>(random() % 200);
        for (int t = 0; t < lines; ++t) {
            const int fields = 1 + static_cast<int>(random() % static_cast<unsigned>(names + 6));
            const bool spaces = random() % 5 == 0;  // a line with spaces has its widths measured again
            std::string line;
            for (int k = 0; k < fields; ++k) {
                if (k > 0)
                    line.push_back(',');
                // Fields past the names are longer: their widths must not count.
                const int length = static_cast<int>(random() % (k < names ? 10u : 24u));
                for (int c = 0; c < length; ++c)
                    line.push_back(spaces && random() % 4 == 0 ? ' ' : static_cast<char>('0' + random() % 10));
            }
            if (line.empty())
                line = "0";  // an empty line after a CR would join its end
            bytes += line + ends[random() % 3];
        }
        const ReadResult result = readDataLogBytes(bytes, "short.csv");
        ASSERT_TRUE(result.ok()) << result.error;
        expectMatchesNaiveReading(bytes, *result.store);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}
TEST(LineEnds, LfCrAndCrCrLfMakeEmptyTakesBetween)
{
    // LF then CR are two line ends; so are CR then CR LF.
    const std::string bytes = "t\nA\n1\n\r2\r\r\n3\n\n\r\n";
    const TakeStore& store = readOk(bytes);
    expectMatchesNaiveReading(bytes, store);
    ASSERT_EQ(store.takeCount(), 7);
    EXPECT_EQ(store.DataLines(1), "");
    EXPECT_EQ(store.DataLines(3), "");
    EXPECT_EQ(store.DataLines(4), "3");
}

// ------------------------------------------------------------ huge lines

TEST(HugeLines, TenMegabyteLinesKeepExactFields)
{
    // One value of 10 MB, then a take of 10 MB in fields of every length, so
    // that offsets far beyond 16 bits are needed.
    const std::string bigValue(10u << 20, '7');
    std::string manyFields;
    std::mt19937 random(7);
    while (manyFields.size() < (10u << 20))
        manyFields += std::string(random() % 300, 'a' + static_cast<char>(random() % 26)) + ",";
    manyFields += "last";
    const std::string bytes = "t\nA,B,C\n1," + bigValue + ",3\n" + manyFields + "\n4,5,6";
    const TakeStore& store = readOk(bytes);
    ASSERT_EQ(store.takeCount(), 3);
    EXPECT_EQ(store.Get_Param_data(1, 0)->size(), bigValue.size());
    EXPECT_EQ(store.Get_Param_data(2, 0), std::string_view("3"));
    EXPECT_EQ(store.maxShownValueBytes(0), TakeStore::kShownValueBytesLimit);  // no cell shows more
    expectMatchesNaiveReading(bytes, store);
    // The 10 MB value is not a number: the views skip it.
    EXPECT_FALSE(dlv::extractParamSeries(store, 1).isNumber(0));
    EXPECT_EQ(dlv::runTimeCaption(store.Get_Param_data(0, store.lastTake()), store.takeCount() + 1, "."),
              "0.07 minutes (3 takes)");
}

TEST(HugeLines, HundredThousandFieldsInTheNamesAndInATake)
{
    std::string namesLine;
    std::string take;
    for (int p = 0; p < 100000; ++p) {
        namesLine += (p ? ",N" : "N") + std::to_string(p);
        take += (p ? "," : "") + std::to_string(p);
    }
    const std::string bytes = "t\n" + namesLine + "\n" + take + "\n1,2\n";
    const TakeStore& store = readOk(bytes);
    ASSERT_EQ(store.ParamNames().size(), 100001u);
    EXPECT_EQ(store.ParamNames()[99999], "N99999");
    EXPECT_EQ(store.ParamNames()[100000], "");
    EXPECT_EQ(store.fieldCount(0), 100000);
    EXPECT_EQ(store.Get_Param_data(99999, 0), std::string_view("99999"));
    EXPECT_EQ(store.Get_Param_data(99999, 1), std::string_view(""));
    expectMatchesNaiveReading(bytes, store);
    const dlv::CurveSummary summary = dlv::summarizeSeries(dlv::extractParamSeries(store, 99999));
    EXPECT_EQ(summary.count, 1);
    EXPECT_EQ(summary.maxValue, 99999.0);
}

// ------------------------------------------------------------ ragged takes

TEST(RaggedTakes, MissingFieldsAreEmptyAndExtraFieldsAreNotShown)
{
    const std::string bytes = "t\nA,B,C\n1\n1,2,3,4444,55555,666666\n\n,,\n";
    const TakeStore& store = readOk(bytes);
    expectMatchesNaiveReading(bytes, store);
    EXPECT_EQ(store.Get_Param_data(2, 0), std::string_view(""));
    EXPECT_EQ(store.Get_Param_data(5, 1), std::string_view("666666"));
    // Rows show fields 0 .. 3 (three names and the empty one): 55555 is not shown.
    EXPECT_EQ(store.maxShownValueBytes(1), 4u);
    EXPECT_EQ(store.maxShownValueBytes(2), 0u);
    const dlv::CurveSummary b = dlv::summarizeSeries(dlv::extractParamSeries(store, 1));
    EXPECT_EQ(b.count, 1);
    EXPECT_EQ(b.maxTake, 1);
    // The run time reads field 0 of the last take, which is empty: not a number.
    EXPECT_EQ(dlv::runTimeCaption(store.Get_Param_data(0, store.lastTake()), store.takeCount() + 1, "."),
              "? minutes (4 takes)");
    expectEveryViewComputes(store);
}

TEST(RaggedTakes, BlmTakesTooShortForRpmMapOrBlmAreSkipped)
{
    const std::string full = blmTake("500", "30", "128");
    const std::string noMap = dlvtest::takeLine(dlv::kMapParam, {{dlv::kRpmParam, "500"}, {dlv::kBlmParam, "128"}});
    const std::string noBlm = dlvtest::takeLine(dlv::kBlmParam, {{dlv::kRpmParam, "500"}});
    const std::string log = blmLog({full, noMap, noBlm, "1,2,3", "", full});
    const TakeStore& store = readOk(log);
    EXPECT_EQ(dlv::computeBlmTable(store).at(2, 2).hits, 2);
    EXPECT_EQ(dlv::blmCellTakes(store, 2, 2), (std::vector<int>{0, 5}));
}

// ------------------------------------------------------------ odd values

TEST(OddValues, TextsStayAsWrittenAndOnlyPlainNumbersCount)
{
    struct Case {
        const char* text;
        const char* shown;  // Get_Param_data: only spaces trimmed
        std::optional<double> number;
    };
    const Case cases[] = {
        {" 12 ", "12", 12.0},        {"\t12", "\t12", std::nullopt}, {"12\t", "12\t", std::nullopt},
        {"+5", "+5", 5.0},           {"-7.25", "-7.25", -7.25},      {"1e3", "1e3", 1000.0},
        {"2.5E-1", "2.5E-1", 0.25},  {"1e999", "1e999", std::nullopt}, {"-1e999", "-1e999", std::nullopt},
        {"1e-999", "1e-999", 0.0},   {"nan", "nan", std::nullopt},   {"NaN", "NaN", std::nullopt},
        {"inf", "inf", std::nullopt}, {"-Infinity", "-Infinity", std::nullopt},
        {"-0", "-0", -0.0},          {"1 000", "1 000", std::nullopt}, {"1.000.000", "1.000.000", std::nullopt},
        {"1'000", "1'000", std::nullopt}, {"0x1A", "0x1A", std::nullopt}, {".", ".", std::nullopt},
        {"-", "-", std::nullopt},    {"", "", std::nullopt},          {"5.", "5.", 5.0},
        {".5", ".5", 0.5},           {"1e", "1e", std::nullopt},      {"1e+", "1e+", std::nullopt},
        {"--1", "--1", std::nullopt}, {"12abc", "12abc", std::nullopt}, {"\xD9\xA1\xD9\xA2", "\xD9\xA1\xD9\xA2", std::nullopt},
    };
    std::string log = "t\nV\n";
    for (const Case& c : cases)
        log += std::string(c.text) + "\n";
    const TakeStore& store = readOk(log);
    ASSERT_EQ(store.takeCount(), static_cast<int>(std::size(cases)));
    const dlv::ParamSeries series = dlv::extractParamSeries(store, 0);
    for (int t = 0; t < store.takeCount(); ++t) {
        const Case& c = cases[t];
        EXPECT_EQ(store.Get_Param_data(0, t), std::string_view(c.shown)) << c.text;
        EXPECT_EQ(series.isNumber(t), c.number.has_value()) << c.text;
        if (c.number) {
            EXPECT_EQ(series.values()[static_cast<std::size_t>(t)], *c.number) << c.text;
            EXPECT_EQ(std::signbit(series.values()[static_cast<std::size_t>(t)]), std::signbit(*c.number)) << c.text;
        }
    }
}

TEST(OddValues, DecimalCommaSplitsTheValueIntoTwoFields)
{
    // The comma always separates fields: "3,5" is 3 in one field and 5 in the next.
    const TakeStore& store = readOk("t\nA,B,C\n3,5,7\n");
    EXPECT_EQ(store.Get_Param_data(0, 0), std::string_view("3"));
    EXPECT_EQ(store.Get_Param_data(1, 0), std::string_view("5"));
    EXPECT_EQ(store.Get_Param_data(2, 0), std::string_view("7"));
}

TEST(OddValues, CurveLabelsCountOnlyNumbersAndShowNoNegativeZero)
{
    const TakeStore& store = readOk("t\nV\n1e999\n5\nnan\n-0\n7\n1,5\n inf\n");
    const dlv::CurveSummary summary = dlv::summarizeSeries(dlv::extractParamSeries(store, 0));
    EXPECT_EQ(summary.count, 4);  // 5, -0, 7 and the 1 before the comma
    EXPECT_EQ(summary.maxTake, 4);
    EXPECT_EQ(summary.minTake, 3);
    const dlv::CurveLabels labels = dlv::curveLabels(summary, ".");
    EXPECT_EQ(labels.max, "7.00");
    EXPECT_EQ(labels.min, "0.00");
    EXPECT_EQ(labels.avg, "3.25");
}

TEST(OddValues, RunTimeOfOddLastValues)
{
    auto caption = [](const char* lastTime) {
        const TakeStore& store = readOk(std::string("t\nTime\n0\n") + lastTime + "\n");
        return dlv::runTimeCaption(store.Get_Param_data(0, store.lastTake()), store.takeCount() + 1, ",");
    };
    EXPECT_EQ(caption(" 90 "), "1,5 minutes (2 takes)");
    EXPECT_EQ(caption("+90"), "1,5 minutes (2 takes)");
    EXPECT_EQ(caption("9e1"), "1,5 minutes (2 takes)");
    EXPECT_EQ(caption("-0.4"), "0 minutes (2 takes)");
    EXPECT_EQ(caption("-90"), "-1,5 minutes (2 takes)");
    EXPECT_EQ(caption("1e-300"), "0 minutes (2 takes)");
    for (const char* text : {"1e999", "nan", "inf", "1 000", "\t90", "90s", ""})
        EXPECT_EQ(caption(text), "? minutes (2 takes)") << text;
    // Far beyond any real log, yet a plain number: all of its digits, no exponent.
    const std::string huge = caption("1e308");
    EXPECT_EQ(huge.substr(0, huge.find(' ')).find_first_not_of("0123456789"), std::string::npos) << huge;
    EXPECT_EQ(huge.substr(0, 4), "1666");
    EXPECT_TRUE(huge.ends_with("6 minutes (2 takes)")) << huge;
}

TEST(OddValues, EveryFieldNonNumericGivesEmptyViewsWithoutErrors)
{
    std::string log = "title\n" + dlvtest::takeLine(250, {}) + "\n";
    for (int t = 0; t < 20; ++t) {
        std::string take;
        for (int p = 0; p < 250; ++p)
            take += (p ? "," : "") + std::string(t % 2 ? "x" : "n/a");
        log += take + "\n";
    }
    const TakeStore& store = readOk(log);
    const dlv::BlmGridTexts blm = dlv::blmTableTexts(dlv::computeBlmTable(store));
    for (int r = 1; r < dlv::kBlmGridRows; ++r)
        for (int c = 1; c < dlv::kBlmGridColumns; ++c)
            EXPECT_EQ(blm[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)], "");
    EXPECT_EQ(blm[1][0], "400");
    for (long long p : {0LL, 224LL, 249LL}) {
        const dlv::CurveSummary summary = dlv::summarizeSeries(dlv::extractParamSeries(store, p));
        EXPECT_FALSE(summary.hasNumbers());
        EXPECT_EQ(dlv::curveLabels(summary, ".").avg, "");
    }
    EXPECT_EQ(dlv::runTimeCaption(store.Get_Param_data(0, store.lastTake()), store.takeCount() + 1, "."),
              "? minutes (20 takes)");
    expectEveryViewComputes(store);
}

// ------------------------------------------------------------ out of range

TEST(OutOfRange, RpmAndMapOutsideTheTableAreSkipped)
{
    const std::vector<std::string> takes = {
        blmTake("1e308", "30", "1"),       blmTake("-1e308", "30", "1"),   blmTake("3200.0001", "30", "1"),
        blmTake("-0.0001", "30", "1"),     blmTake("4294967296", "30", "1"), blmTake("500", "1e308", "1"),
        blmTake("500", "-1e308", "1"),     blmTake("500", "5", "1"),         blmTake("500", "115", "1"),
        blmTake("500", "-30", "1"),        blmTake("500", "30", "1e999"),    blmTake("1e999", "30", "1"),
        // Inside: these all count.
        blmTake("-0", "15", "1"),          blmTake("1e-300", "104.999", "1"), blmTake("3200", "105", "1"),
    };
    const TakeStore& store = readOk(blmLog(takes));
    const dlv::BlmTable table = dlv::computeBlmTable(store);
    std::int64_t hits = 0;
    for (int r = 1; r <= dlv::kBlmRpmBands; ++r)
        for (int c = 1; c <= dlv::kBlmMapColumns; ++c)
            hits += table.at(r, c).hits;
    EXPECT_EQ(hits, 3);
    EXPECT_EQ(table.at(1, 1).hits, 1);  // RPM -0, MAP 15 (1.5 rounds to 2)
    EXPECT_EQ(table.at(1, 9).hits, 1);  // MAP 104.999
    EXPECT_EQ(table.at(8, 9).hits, 1);  // RPM 3200, MAP 105 (10.5 rounds to 10)
}

TEST(OutOfRange, HugeBlmValuesAverageWithoutOverflow)
{
    const std::vector<std::string> takes = {
        blmTake("500", "30", "1e308"), blmTake("500", "30", "1.7e308"),   // one cell: sum beyond a double
        blmTake("900", "30", "1e308"), blmTake("900", "30", "-1e308"),    // cancel out
        blmTake("1300", "30", "-1.7e308"), blmTake("1300", "30", "-1.7e308"),
        blmTake("1700", "30", "1e-320"),                                  // subnormal
    };
    const dlv::BlmGridTexts texts = dlv::blmTableTexts(dlv::computeBlmTable(readOk(blmLog(takes))));
    const std::string big = texts[2][2];
    EXPECT_EQ(big.size(), 309u);
    EXPECT_EQ(big.substr(0, 2), "13");
    EXPECT_EQ(big.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(texts[3][2], "0");
    EXPECT_EQ(texts[4][2].substr(0, 4), "-169");
    EXPECT_EQ(texts[4][2].size(), 310u);
    EXPECT_EQ(texts[5][2], "0");
}

TEST(OutOfRange, CurveOfValuesNearTheDoubleMaximumHasAFiniteAverage)
{
    const TakeStore& store = readOk("t\nV\n1e308\n1.5e308\n-1e308\n1.5e308\n");
    const dlv::CurveSummary summary = dlv::summarizeSeries(dlv::extractParamSeries(store, 0));
    EXPECT_EQ(summary.average, 0.75e308);
    const dlv::CurveLabels labels = dlv::curveLabels(summary, ".");
    EXPECT_EQ(labels.avg.substr(0, 3), "750");
    EXPECT_EQ(labels.avg.size(), 308u + 3u);
}

TEST(OutOfRange, CurveOfAJumpAcrossTheWholeDoubleRangeStaysWithinItsValues)
{
    // Neighbouring takes far apart in value and in pixels: the columns between
    // them show the segment, never an infinite extent.
    std::string log = "t\nV\n";
    for (const char* v : {"0", "0", "-1e308", "1e308", "0", "0"})
        log += std::string(v) + "\n";
    const dlv::ParamSeries series = dlv::extractParamSeries(readOk(log), 0);
    for (const double x0 : {0.0, 2.5, -1e-20}) {
        const dlv::CurveEnvelope envelope = dlv::CurveEnvelope::build(series, x0, 5.0, 97);
        for (const dlv::ColumnExtent& e : envelope.columns()) {
            ASSERT_FALSE(e.empty());
            EXPECT_GE(e.low, -1e308);
            EXPECT_LE(e.high, 1e308);
        }
    }
}

// ------------------------------------------------------------ files that cannot be read

TEST(FileErrors, FifoIsRefusedAtOnceInsteadOfWaitingForAWriter)
{
    dlvtest::TempLogs logs;
    const std::string path = logs.path("pipe.csv");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // Read in a child with an alarm: if the read waited for a writer, the
    // child would be killed instead of the whole test run hanging.
    const ChildOutcome outcome = runInChild([&] {
        ::alarm(20);
        return outcomeOf(readDataLog(path));
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.status;
    EXPECT_EQ(outcome.text, "Cannot open '" + path + "': it is not a regular file");
}

TEST(FileErrors, DevicesAreNotRegularFiles)
{
    EXPECT_EQ(readDataLog("/dev/null").error, "Cannot open '/dev/null': it is not a regular file");
    EXPECT_EQ(readDataLog("/dev/zero").error, "Cannot open '/dev/zero': it is not a regular file");
}

TEST(FileErrors, UnreadableFileSaysPermissionDenied)
{
    dlvtest::TempLogs logs;
    const std::string path = logs.write("locked.csv", "t\nA\n1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    // Root may read anything, so the child reads as the unprivileged user
    // nobody (65534) when the tests run as root.
    const ChildOutcome outcome = runInChild([&]() -> std::string {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return "cannot become nobody";
        return outcomeOf(readDataLog(path));
    });
    ASSERT_TRUE(outcome.exited);
    if (outcome.text == "cannot become nobody")
        GTEST_SKIP() << "running as root without the right to change user";
    EXPECT_EQ(outcome.text, "Cannot open '" + path + "': permission denied");
}

TEST(FileErrors, LinksThatLeadNowhereAreNamedInTheMessage)
{
    dlvtest::TempLogs logs;
    const std::string dangling = logs.path("dangling.csv");
    ASSERT_EQ(::symlink(logs.path("gone.csv").c_str(), dangling.c_str()), 0);
    EXPECT_EQ(readDataLog(dangling).error, "Cannot open '" + dangling + "': the file does not exist");
    const std::string loop = logs.path("loop.csv");
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    const std::string error = readDataLog(loop).error;
    EXPECT_EQ(error.rfind("Cannot open '" + loop + "': ", 0), 0u) << error;
    EXPECT_NE(error.find("symbolic links"), std::string::npos) << error;
    const std::string inFile = logs.write("plain.csv", "t\nA\n") + "/inside.csv";
    EXPECT_EQ(readDataLog(inFile).error.rfind("Cannot open '" + inFile + "': ", 0), 0u);
}

TEST(FileErrors, NameThatIsNotUtf8IsShownReadablyInTheMessage)
{
    dlvtest::TempLogs logs;
    const std::string path = logs.path("m\xE9sure.csv");
    const std::string error = readDataLog(path).error;
    EXPECT_TRUE(dlv::isValidUtf8(error));
    EXPECT_NE(error.find("m\xC3\xA9sure.csv"), std::string::npos) << error;
    // The file itself opens under its byte name.
    logs.write("m\xE9sure.csv", "t\nA\n1\n");
    EXPECT_TRUE(readDataLog(path).ok());
}

// ------------------------------------------------------------ files that change

TEST(ChangingFiles, FileStillBeingWrittenGivesAConsistentPrefix)
{
    dlvtest::TempLogs logs;
    std::string full = "title\nTime,RPM,Text\n";
    for (int t = 0; t < 20000; ++t)
        full += std::to_string(t) + "," + std::to_string(800 + t % 3000) + ", take " + std::to_string(t) + "\r\n";
    const std::string path = logs.write("growing.csv", full.substr(0, 20));

    // The writer appends in pieces that cut lines (and CR LF pairs) anywhere.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::mt19937 random(3);
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        std::size_t at = 20;
        while (at < full.size()) {
            const std::size_t piece = std::min<std::size_t>(full.size() - at, 1 + random() % 700);
            if (::write(fd, full.data() + at, piece) != static_cast<ssize_t>(piece))
                break;
            at += piece;
            std::this_thread::sleep_for(std::chrono::microseconds(50));  // let reads fall between writes
        }
        ::close(fd);
        done = true;
    });
    int reads = 0;
    int lastTakes = 0;
    // No ASSERT while the writer runs: the thread must be joined first.
    while (!done || reads < 3) {
        const ReadResult result = readDataLog(path);
        ++reads;
        if (!result.ok() || result.store->fileBytes() > full.size() || result.store->takeCount() < lastTakes) {
            ADD_FAILURE() << "read " << reads << ": " << outcomeOf(result);
            break;
        }
        const TakeStore& store = *result.store;
        lastTakes = store.takeCount();
        // Whatever size it had when it was read, the store is exactly that
        // prefix of the log; a cut line is the last take, cut.
        expectMatchesNaiveReading(std::string_view(full).substr(0, store.fileBytes()), store);
        if (::testing::Test::HasFailure())
            break;
    }
    writer.join();
    ASSERT_FALSE(::testing::Test::HasFailure());
    const ReadResult final = readDataLog(path);
    ASSERT_TRUE(final.ok());
    EXPECT_EQ(final.store->takeCount(), 20000);
}

TEST(ChangingFiles, FileCutShortWhileReadGivesAConsistentStoreOrAClearError)
{
    dlvtest::TempLogs logs;
    std::string full = "title\nA,B\n";
    while (full.size() < (256u << 10))
        full += std::to_string(full.size()) + ",x\n";
    const std::string path = logs.write("shrinking.csv", full);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::mt19937 random(5);
        while (!stop) {
            const std::size_t cut = random() % full.size();
            if (::truncate(path.c_str(), static_cast<off_t>(cut)) != 0)
                break;
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            const bool written = ::write(fd, full.data() + cut, full.size() - cut) == static_cast<ssize_t>(full.size() - cut);
            ::close(fd);
            if (!written)
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    // A read racing with a cut may get any bytes the system hands out (even
    // zeros where the cut was); the store must index exactly what it got.
    int stores = 0;
    for (int i = 0; i < 40 && !::testing::Test::HasFailure(); ++i) {
        const ReadResult result = readDataLog(path);
        if (!result.ok()) {
            // Cut to a line or less, or cut and rewritten under every reading.
            const std::string tooShort = "'" + path + "' is not a data log: it has fewer than two lines";
            const std::string changed = "Cannot read '" + path + "': it changed while it was read; try again";
            EXPECT_TRUE(result.error == tooShort || result.error == changed) << result.error;
            continue;
        }
        ++stores;
        EXPECT_LE(result.store->fileBytes(), full.size());
        for (int t = 0; t < result.store->takeCount() && !::testing::Test::HasFailure(); ++t)
            expectTakeConsistent(*result.store, t);
    }
    stop = true;
    writer.join();
    EXPECT_GT(stores, 0);
}

namespace {

// A log of numbered takes, "t," and a run of one letter, in a version of its
// own: other letters and line lengths make two versions differ byte by byte
// from their first take on.
struct NumberedLog {
    std::string bytes;
    std::vector<std::size_t> starts;  // of every take

    NumberedLog(std::size_t takes, char letter, std::size_t run)
    {
        bytes = "title\nN,Pad\n";
        const std::string tail = "," + std::string(run, letter) + "\n";
        char number[24];
        for (std::size_t t = 0; t < takes; ++t) {
            starts.push_back(bytes.size());
            bytes.append(number, std::to_chars(number, number + sizeof number, t).ptr).append(tail);
        }
    }
};

// What is wrong with take t of a store read from logs spliced from such
// versions at take starts: empty when the take is a whole line of one
// version; the last take may also be a line cut short.
std::string numberedTakeFault(const TakeStore& store, int t)
{
    const std::string_view line = store.DataLines(t);
    char buffer[24];
    const std::string_view number(buffer, static_cast<std::size_t>(std::to_chars(buffer, buffer + sizeof buffer, t).ptr - buffer));
    const std::size_t comma = line.find(',');
    const bool last = t == store.lastTake();
    if (comma == std::string_view::npos) {
        if (last && number.substr(0, line.size()) == line)
            return {};
        return "take " + std::string(number) + " reads '" + std::string(line.substr(0, 40)) + "'";
    }
    const std::string_view run = line.substr(comma + 1);
    const bool oneLetter = run.size() <= 64 && (run.empty() ? last : run[0] >= 'a' && run[0] <= 'z') &&
                           run.find_first_not_of(run.empty() ? 'a' : run[0]) == std::string_view::npos;
    if (line.substr(0, comma) != number || !oneLetter)
        return "take " + std::string(number) + " reads '" + std::string(line.substr(0, 40)) + "'";
    return {};
}

}  // namespace

TEST(ChangingFiles, FileCutBackAndRewrittenWhileReadGivesOneVersionsPrefixOrSaysItChanged)
{
    // 29 to 48 MB: big enough to be read in several parts and pieces, so
    // that a rewrite can fall between two of them.
    constexpr std::size_t kTakes = 200000;
    const NumberedLog versions[] = {NumberedLog(kTakes, 'a', 20), NumberedLog(kTakes, 'b', 40)};
    dlvtest::TempLogs logs;
    const std::string path = logs.write("rewritten.csv", versions[0].bytes);

    // The writer cuts the log back to a take's start (never into the names)
    // and continues it from the other version, in pieces, mostly without a
    // pause, now and then pausing long enough for a read to see a quiet file.
    std::atomic<bool> stop{false};
    std::atomic<int> rewrites{0};
    std::thread writer([&] {
        std::mt19937 random(11);
        std::vector<std::size_t> starts = versions[0].starts;  // of the takes in the file
        for (int generation = 1; !stop; ++generation) {
            const NumberedLog& next = versions[generation % 2];
            const std::size_t take = kTakes / 4 + random() % (kTakes * 3 / 4);
            const std::size_t cut = starts[take];
            if (::truncate(path.c_str(), static_cast<off_t>(cut)) != 0)
                break;
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            for (std::size_t at = next.starts[take]; fd >= 0 && at < next.bytes.size();) {
                const std::size_t piece = std::min<std::size_t>(next.bytes.size() - at, 1 + random() % (std::size_t{1} << 20));
                if (::write(fd, next.bytes.data() + at, piece) != static_cast<ssize_t>(piece))
                    break;
                at += piece;
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            ::close(fd);
            for (std::size_t t = take; t < kTakes; ++t)
                starts[t] = cut + next.starts[t] - next.starts[take];
            ++rewrites;
            if (random() % 4 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    });

    const std::string changed = "Cannot read '" + path + "': it changed while it was read; try again";
    int stores = 0;
    int refusals = 0;
    std::string fault;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int i = 0; std::chrono::steady_clock::now() < until && fault.empty(); ++i) {
        // Both roads: in parts at once, and in smaller pieces when followed.
        dlv::ReadControl control;
        const ReadResult result = i % 2 == 0 ? readDataLog(path) : readDataLog(path, &control);
        if (!result.ok()) {
            ++refusals;
            if (result.error != changed)
                fault = "read " + std::to_string(i) + ": " + result.error;
            continue;
        }
        ++stores;
        for (int t = 0; t < result.store->takeCount() && fault.empty(); ++t)
            if (std::string problem = numberedTakeFault(*result.store, t); !problem.empty())
                fault = "read " + std::to_string(i) + " of " + std::to_string(result.store->takeCount()) +
                        " takes: " + problem;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(fault, "");
    EXPECT_GT(stores, 0) << refusals << " refusals";
    EXPECT_GT(rewrites, 2);
}

namespace {

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// Inputs the fuzzers once broke the code with, replayed through the same checks.
TEST(FuzzRegressions, KeptInputsPassEveryCheck)
{
    const std::filesystem::path root = std::filesystem::path(DLV_SOURCE_DIR) / "tests" / "fuzz_regressions";
    const std::pair<const char*, std::string (*)(std::string_view)> targets[] = {
        {"afsep", dlv::fuzzcheck::checkAfsep},
        {"reader", dlv::fuzzcheck::checkReader},
        {"blm", dlv::fuzzcheck::checkBlm},
        {"curve", dlv::fuzzcheck::checkCurve},
        {"number", dlv::fuzzcheck::checkNumber},
    };
    int replayed = 0;
    for (const auto& [target, check] : targets) {
        const std::filesystem::path dir = root / target;
        if (!std::filesystem::is_directory(dir))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            EXPECT_EQ(check(fileBytes(entry.path())), "") << entry.path();
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 3);
}

TEST(FuzzChecks, BundledSampleLogPassesTheReaderAndBlmChecks)
{
    const std::string sample = fileBytes(std::filesystem::path(DLV_SOURCE_DIR) / "examples" / "sample.csv");
    ASSERT_GT(sample.size(), 100000u);
    EXPECT_EQ(dlv::fuzzcheck::checkReader(sample), "");
    // Its RPM, MAP and BLM texts as the BLM target's input.
    const ReadResult result = readDataLogBytes(sample);
    ASSERT_TRUE(result.ok());
    std::string takes;
    for (int t = 0; t < result.store->takeCount(); ++t)
        takes += std::string(result.store->field(dlv::kRpmParam, t)) + "|" +
                 std::string(result.store->field(dlv::kMapParam, t)) + "|" +
                 std::string(result.store->field(dlv::kBlmParam, t)) + "\n";
    EXPECT_EQ(dlv::fuzzcheck::checkBlm(takes), "");
}

TEST(FuzzChecks, ChecksPassOnOddInputsOfEveryTarget)
{
    using namespace std::string_view_literals;
    for (const std::string_view text : {""sv, "\x02\x00\x01,a,b,,c"sv, "\xFF\xFF\x01;;;"sv, "\x05\x80\x02" "ab"sv})
        EXPECT_EQ(dlv::fuzzcheck::checkAfsep(text), "") << text;
    for (const std::string_view text : {""sv, "t"sv, "t\n"sv, "t\r\n\r\n"sv, "t\nA,,B\n 1 ,\t2\r3\n\n"sv,
                                        "\xFF\x03" "1,22,333,"sv, "t\n\0\n\0,\0\r"sv})
        EXPECT_EQ(dlv::fuzzcheck::checkReader(text), "") << text;
    for (const std::string_view text : {""sv, "400|30|1\n800|30|2\n"sv, "1e-300|15|-0.4|\n3200|105|1e308\n3200|105|1e308"sv,
                                        " 5e2 |+3e1|x\n,|,|,\n"sv})
        EXPECT_EQ(dlv::fuzzcheck::checkBlm(text), "") << text;
    for (const std::string_view text : {""sv, "\x00\x00\x00"sv, "\x02\x10\x00\x05\xFB\x01\x02\x80\x03"sv,
                                        "\x04\xFF\xFF\x00\x40\x00\x00\x01\x02\x03"sv})
        EXPECT_EQ(dlv::fuzzcheck::checkCurve(text), "");
}

TEST(FuzzChecks, ReaderCheckNoticesAStoreOfOtherBytes)
{
    // The checks must be able to fail: a store of other bytes is caught.
    const std::string bytes = "t\nA,B\n1,2\n3,4\n";
    EXPECT_NE(dlv::fuzzcheck::checkStoreAgainst(bytes, readDataLogBytes("t\nA,B\n1,2\n3,5\n", "log")), "");
    EXPECT_NE(dlv::fuzzcheck::checkStoreAgainst(bytes, readDataLogBytes("t\nA,B\n1,2\n3,4\n\n", "log")), "");
    EXPECT_NE(dlv::fuzzcheck::checkStoreAgainst(bytes, readDataLogBytes("t\nA,C\n1,2\n3,4\n", "log")), "");
    EXPECT_NE(dlv::fuzzcheck::checkStoreAgainst(bytes, readDataLogBytes("t\n", "log")), "");
    EXPECT_EQ(dlv::fuzzcheck::checkStoreAgainst(bytes, readDataLogBytes(bytes, "log")), "");
}

// The corpus kept in the repository, where each fuzzing run starts.
TEST(FuzzCorpus, KeptInputsPassEveryCheck)
{
    const std::filesystem::path root = std::filesystem::path(DLV_SOURCE_DIR) / "fuzz" / "corpus";
    const std::pair<const char*, std::string (*)(std::string_view)> targets[] = {
        {"afsep", dlv::fuzzcheck::checkAfsep},   {"reader", dlv::fuzzcheck::checkReader},
        {"blm", dlv::fuzzcheck::checkBlm},       {"curve", dlv::fuzzcheck::checkCurve},
        {"number", dlv::fuzzcheck::checkNumber}, {"not_a_log", dlv::fuzzcheck::checkNotALog},
    };
    for (const auto& [target, check] : targets) {
        const std::filesystem::path dir = root / target;
        int replayed = 0;
        if (std::filesystem::is_directory(dir))
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                EXPECT_EQ(check(fileBytes(entry.path())), "") << entry.path();
                ++replayed;
            }
        EXPECT_GE(replayed, 20) << target;
    }
}

TEST(FuzzChecks, NumberCheckExpandsLongRunsAndCatchesAWrongRule)
{
    EXPECT_EQ(dlv::fuzzcheck::checkNumber("\xFF\x01" "1~0e-1"), "");
    EXPECT_EQ(dlv::fuzzcheck::referenceNumber("1" + std::string(65, '0') + "e-1"), 1e64);
    EXPECT_EQ(dlv::fuzzcheck::referenceNumber("1" + std::string(400, '0') + "e-1"), std::nullopt);
    EXPECT_EQ(dlv::fuzzcheck::referenceNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(dlv::fuzzcheck::referenceNumber(" +2.5E1 "), 25.0);
    for (const char* text : {"inf", "0x10", "1e", ".", "1..2", " 1 2"})
        EXPECT_EQ(dlv::fuzzcheck::referenceNumber(text), std::nullopt) << text;
}
