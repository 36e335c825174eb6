// Text logs of other tools: which heads are claimed (and that every log of
// the own format stays the own format), each dialect's names, units,
// values, markers, words, time channel, warnings and summary, the
// encodings and line ends, and big logs converted over every core.
#include "../../fuzz/text_checks.h"
#include "datalog/byte_buffer.h"
#include "datalog/log_formats.h"
#include "datalog/text_encoding.h"
#include "datalog/text_layout.h"
#include "datalog/text_log.h"
#include "support/any_processor.h"
#include "support/channels_suite.h"
#include "support/odd_logs.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using dlv::LogFormat;
using dlv::ReadWarning;

struct Read {
    dlv::ReadResult result;
    std::shared_ptr<const dlv::LogChannels> log;
};

Read readText(const std::string& bytes, LogFormat format = LogFormat::Auto)
{
    Read read{dlv::readLogBytes(bytes, format, "log.txt"), nullptr};
    EXPECT_TRUE(read.result.ok()) << read.result.error;
    read.log = dlv::logOf(read.result);
    return read;
}

std::vector<std::string> namesOf(const dlv::LogChannels& log)
{
    return {log.ParamNames().begin(), log.ParamNames().end() - 1};
}

std::vector<std::string> unitsOf(const dlv::LogChannels& log)
{
    std::vector<std::string> units;
    for (int p = 0; p < log.channelCount(); ++p)
        units.push_back(log.channel(p).unit);
    return units;
}

// Channel p's numbers, NaN where a take has none.
std::vector<double> numbersOf(const dlv::LogChannels& log, long long p)
{
    std::vector<double> out(static_cast<std::size_t>(log.takeCount()));
    double* column = out.data();
    if (!out.empty())
        log.parseInto({&p, 1}, 0, log.takeCount(), {&column, 1});
    return out;
}

std::string shown(const dlv::LogChannels& log, long long p, long long t)
{
    std::string scratch;
    const std::optional<std::string_view> text = log.shownValue(p, t, scratch);
    return text ? std::string(*text) : "(none)";
}

std::string warningsOf(const Read& read)
{
    std::string text;
    for (const ReadWarning& w : read.result.warnings)
        text += w.message + "\n";
    return text;
}

std::string utf16(std::string_view utf8Ascii, bool bigEndian, bool mark = true)
{
    std::string out = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (const char c : utf8Ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

void expectNumbers(const std::vector<double>& got, const std::vector<double>& want, const std::string& what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (std::isnan(want[i]))
            EXPECT_TRUE(std::isnan(got[i])) << what << " take " << i << ": " << got[i];
        else
            EXPECT_EQ(got[i], want[i]) << what << " take " << i;
    }
}

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// The dialects as other tools write them.
const std::string kSemicolonDecimalComma =
    "Time (msec);PLX Engine Speed (rpm);AFR\n14,00;800;14,7\n15,00;812;14,5\n16,00;900;13,9\n";
const std::string kSemicolonEmptyCells = "Time;RPM;MAP;Oil\n0.00;800;;\n0.05;;31;\n0.10;820;32;3.5\n0.15;;;\n";
const std::string kTitledCommaSpace =
    "Logger Pro 2\r\n2023-05-01 14:00\r\nTime, RPM, MAP\r\n0.0, 800, 30\r\n0.1, 810, 31\r\n";
const std::string kTabWithUnits = "Time\tRPM\tMAP\ns\trpm\tkPa\n0.0\t800\t30\n0.1\t810\t31\n";
const std::string kMsl =
    "\"rusEFI master.2023.05.01.proteus_f4.123\"\n"
    "\"Capture Date: Mon May 01 14:15:46 CEST 2023\"\n"
    "#logged by a tool\n"
    "Time\tRPM\tFan\tAFR\n"
    "s\trpm\t\tAFR\n"
    "MARK 000\n"
    "0.000\t800\tOff\t14.7\n"
    "0.100\t820\tOn\t\n"
    "MARK 001\tmanual\n"
    "0.200\t850\tOn\t14.1\n"
    "MARK 002\n";
const std::string kDataLog =
    "%DataLog%\n"
    "DataLogVersion : 1.00\n"
    "Device : Wideband 2\n"
    "Channel : Engine Speed\n"
    "ID : 100\n"
    "Type : 5 (Engine Speed)\n"
    "DisplayMaxMin : 8000,0\n"
    "Channel : Lambda\n"
    "ID : 101\n"
    "Type : 3 (Lambda)\n"
    "DisplayMaxMin : 150,50\n"
    "14:15:46.020,800,98\n"
    "14:15:46.120,812,101\n"
    "9:05:07,900,99\n";

// ------------------------------------------------------------ detection

TEST(TextDetection, ClaimsEachDialectOfOtherTools)
{
    const std::pair<std::string, LogFormat> cases[] = {
        {kSemicolonDecimalComma, LogFormat::Text},
        {kSemicolonEmptyCells, LogFormat::Text},
        {kTabWithUnits, LogFormat::Text},
        {"Time,RPM,MAP\n0,800,30\n1,900,40\n", LogFormat::Text},
        {utf16(kTitledCommaSpace, false), LogFormat::Text},
        {utf16(kTitledCommaSpace, true), LogFormat::Text},
        {utf16(kTitledCommaSpace, false, false), LogFormat::Text},
        {kDataLog, LogFormat::Text},
        {"\xEF\xBB\xBF" + kSemicolonDecimalComma, LogFormat::Text},
        {kMsl, LogFormat::Msl},
        {utf16(kMsl, false), LogFormat::Msl},
        {"Product\n2023-05-01\nA;B;C\n1,5;2;3\n2,5;3;4\n", LogFormat::Text},
    };
    for (const auto& [bytes, format] : cases)
        EXPECT_EQ(dlv::detectLogFormat(bytes), format) << dlv::fuzzcheck::shown(bytes);
}

TEST(TextDetection, EveryOddLogOfTheOwnFormatStaysTheOwnFormat)
{
    std::vector<std::string> logs = dlvtest::edgeLogs();
    using namespace std::string_literals;
    for (const std::string& log : {
             "t\nA;B;C\n1;2;3\n4;5;6\n"s,           // names separated by ';': read with a warning
             "t\nA\tB\tC\n1\t2\t3\n"s,              // ... or by TAB
             "t\nA;B;C\nV;rpm;kPa\n1;2;3\n"s,       // and a units line after them
             "t\nTime,RPM\ns,rpm\n0,800\n"s,        // a units line after comma names
             "title, with, commas\nRPM,MAP,TPS\n800,30,5\n"s,
             "\"quoted title\"\nRPM,MAP\n800,30\n"s,
             "\"quoted\"\nA\tB\n1\t2\n"s,
             "\xEF\xBB\xBFt\nRPM,MAP\n800,30\n"s,
             "t\n\xEF\xBB\xBFRPM,MAP\n800,30\n"s,
             "t\nRPM,MAP\n1,5;2\n"s,
             "Log 1;2023\nRPM;MAP\n12,5;13,0\n"s,   // a title with ';' and decimal commas
             "t\nA,B\0,C\n1,\0,3\n\0,2,3\n"s,
             "12,5\nRPM,MAP\n800,30\n"s,
             "t\n1,2,3\n4,5,6\n"s,                  // names that are numbers
             "t\nOn,Off\n1,0\n"s,
             std::string(70000, 'x') + "\nRPM,MAP\n800,30\n",
             "t\nRPM," + std::string(70000, 'M') + "\n800,30\n",
             "t\r\nRPM;MAP\r\n800;30\r\n"s,
             "t\rRPM;MAP\r800;30\r"s,
         })
        logs.push_back(log);
    // Many random logs with odd names and ragged lines.
    std::mt19937 random(7);
    static const char* const odd[] = {"", " ", "x", ";", "\t", "1;2", "\x01", "On", "12,5", "\"q\""};
    const dlvtest::RandomTakes shape{6, 4, 12, 5, odd,
                                     [](std::mt19937& r) { return std::to_string(r() % 5000) + "." + std::to_string(r() % 10); },
                                     [](std::mt19937& r) { return std::string(r() % 2 ? "\n" : "\r\n"); }};
    for (int i = 0; i < 40; ++i)
        logs.push_back("title " + std::to_string(i) + "\nRPM,MAP,TPS;x,O2 (mV),\tB,C\n" +
                       dlvtest::randomTakes(20, random, shape));
    for (const std::string& log : logs)
        EXPECT_EQ(dlv::detectLogFormat(log), LogFormat::Datalog) << dlv::fuzzcheck::shown(log, 200);
}

TEST(TextDetection, TheBundledSampleAndLogsCutAtTheHeadStayTheOwnFormat)
{
    std::ifstream in(std::filesystem::path(DLV_SOURCE_DIR) / "examples" / "sample.csv", std::ios::binary);
    const std::string sample(std::istreambuf_iterator<char>(in), {});
    ASSERT_GT(sample.size(), dlv::kDetectBytes);
    EXPECT_EQ(dlv::detectLogFormat(sample), LogFormat::Datalog);
    // A ';' export whose head ends inside a line is judged on whole lines.
    std::string big = "Time;RPM\n";
    while (big.size() < dlv::kDetectBytes + 100)
        big += "1,5;800\n";
    EXPECT_EQ(dlv::detectLogFormat(big), LogFormat::Text);
}

TEST(TextDetection, RulesOfCellsAndNamesLines)
{
    EXPECT_EQ(dlv::cellKind(" 12.5 "), dlv::CellKind::Number);
    EXPECT_EQ(dlv::cellKind("12,5"), dlv::CellKind::CommaNumber);
    EXPECT_EQ(dlv::cellKind("1,2,3"), dlv::CellKind::Text);
    EXPECT_EQ(dlv::cellKind("1.234,5"), dlv::CellKind::Text);
    EXPECT_EQ(dlv::cellKind("off"), dlv::CellKind::Word);
    EXPECT_EQ(dlv::cellKind("  "), dlv::CellKind::Empty);
    EXPECT_EQ(dlv::lineCells("12,5;13,0", ';').size(), 2u);
    EXPECT_EQ(dlv::lineCells("12,5;13,0", ',').size(), 3u);
    EXPECT_EQ(dlv::cellText("  \" RPM \" "), "RPM");

    const std::vector<dlv::TextLine> lines = dlv::textLines("Log\nA;B\nV;rpm\n1;2\n3;4\n", 100);
    const std::optional<dlv::NamesLine> found = dlv::findNamesLine(lines, ';');
    ASSERT_TRUE(found);
    EXPECT_EQ(found->names, 1u);
    EXPECT_EQ(found->units, 2u);
    EXPECT_EQ(found->data, 3u);
    EXPECT_EQ(found->cells, 2u);
    EXPECT_FALSE(dlv::findNamesLine(lines, ','));
    // Data lines that mostly have another count of cells do not fit.
    EXPECT_FALSE(dlv::findNamesLine(dlv::textLines("A;B\n1;2\n1\n2\n3\n", 100), ';'));
    EXPECT_EQ(dlv::textLines("a\r\nb\rc\nd", 100).size(), 4u);
    EXPECT_EQ(dlv::textLines("a\r\nb\rc\nd", 100, true).size(), 3u) << "a line that may go on is left out";
}

// ------------------------------------------------------------ delimited text

TEST(DelimitedText, SemicolonsWithDecimalCommasAndUnitsInTheNames)
{
    const Read read = readText(kSemicolonDecimalComma);
    const dlv::LogChannels& log = *read.log;
    EXPECT_EQ(log.format(), LogFormat::Text);
    EXPECT_EQ(namesOf(log), (std::vector<std::string>{"Time (msec)", "PLX Engine Speed (rpm)", "AFR"}));
    EXPECT_EQ(unitsOf(log), (std::vector<std::string>{"msec", "rpm", ""}));
    EXPECT_EQ(log.takeCount(), 3);
    expectNumbers(numbersOf(log, 0), {14, 15, 16}, "time");
    expectNumbers(numbersOf(log, 2), {14.7, 14.5, 13.9}, "AFR");
    EXPECT_EQ(shown(log, 2, 0), "14.7") << "shown with the decimal point, as every view reads it";
    EXPECT_EQ(log.details().summary, "text: ';'-separated, decimal comma, names on line 1");
    EXPECT_EQ(log.details().formatName, "text");
    ASSERT_TRUE(log.timeChannel());
    EXPECT_EQ(log.timeChannel()->param, 0);
    EXPECT_EQ(log.timeChannel()->secondsPerUnit, 0.001);
    EXPECT_EQ(warningsOf(read), "");
    ASSERT_NE(read.result.store, nullptr) << "the store behind the log is handed on too";
}

TEST(DelimitedText, EmptyCellsHaveNoValue)
{
    const Read read = readText(kSemicolonEmptyCells);
    const dlv::LogChannels& log = *read.log;
    EXPECT_EQ(log.details().summary, "text: ';'-separated, decimal point, names on line 1");
    expectNumbers(numbersOf(log, 1), {800, kNone, 820, kNone}, "RPM");
    expectNumbers(numbersOf(log, 3), {kNone, kNone, 3.5, kNone}, "Oil");
    EXPECT_EQ(shown(log, 1, 1), "");
    EXPECT_EQ(warningsOf(read), "") << "a row with empty cells has all its cells";
}

TEST(DelimitedText, TitleLinesCommaAndSpaceInEveryEncoding)
{
    for (const std::string& bytes : {kTitledCommaSpace, "\xEF\xBB\xBF" + kTitledCommaSpace, utf16(kTitledCommaSpace, false),
                                     utf16(kTitledCommaSpace, true), utf16(kTitledCommaSpace, false, false)}) {
        const Read read = readText(bytes, LogFormat::Text);
        const dlv::LogChannels& log = *read.log;
        EXPECT_EQ(namesOf(log), (std::vector<std::string>{"Time", "RPM", "MAP"}));
        expectNumbers(numbersOf(log, 1), {800, 810}, "RPM");
        EXPECT_EQ(shown(log, 2, 1), "31");
        const bool wide = bytes[1] == '\0' || bytes[0] == '\0' || bytes[0] == '\xFF' || bytes[0] == '\xFE';
        EXPECT_EQ(log.details().summary,
                  std::string("text: ', '-separated, decimal point, names on line 3") + (wide ? ", UTF-16" : ""));
        EXPECT_EQ(log.details().more.at(3), (std::pair<std::string, std::string>{"Line 1", "Logger Pro 2"}));
        EXPECT_EQ(log.details().more.at(4), (std::pair<std::string, std::string>{"Line 2", "2023-05-01 14:00"}));
    }
}

TEST(DelimitedText, UtfSixteenCharactersBeyondAsciiAndSurrogates)
{
    // "Temp (°C)" and a name with a character outside the basic plane, as UTF-16 LE.
    const std::u16string text = u"Time;Temp (\u00B0C);X\U0001F600\n0;12,5;1\n";
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    const Read read = readText(bytes);
    EXPECT_EQ(namesOf(*read.log), (std::vector<std::string>{"Time", "Temp (\xC2\xB0" "C)", "X\xF0\x9F\x98\x80"}));
    EXPECT_EQ(read.log->channel(1).unit, "\xC2\xB0" "C");
    expectNumbers(numbersOf(*read.log, 1), {12.5}, "temp");
    EXPECT_EQ(dlv::utf16ToUtf8(std::string("\x00\xD8", 2), false), "\xEF\xBF\xBD") << "a lone surrogate";
    EXPECT_EQ(dlv::utf16ToUtf8(std::string("A\0B", 3), false), "A\xEF\xBF\xBD") << "an odd last byte";
}

TEST(DelimitedText, AnyLineEndsGiveTheSameTakes)
{
    for (const char* end : {"\n", "\r\n", "\r"}) {
        std::string bytes;
        for (const char* line : {"Time;RPM", "0,1;800", "", "0,2;900", "0,3;950"})
            bytes += std::string(line) + end;
        const Read read = readText(bytes);
        expectNumbers(numbersOf(*read.log, 0), {0.1, 0.2, 0.3}, std::string("time, ends ") + (end[0] == '\r' ? "CR" : "LF"));
        EXPECT_EQ(warningsOf(read), "") << "an empty line is nothing to warn of";
    }
}

TEST(DelimitedText, UnitsLineAndUnitsInBrackets)
{
    const Read tab = readText(kTabWithUnits);
    EXPECT_EQ(unitsOf(*tab.log), (std::vector<std::string>{"s", "rpm", "kPa"}));
    EXPECT_EQ(tab.log->details().summary, "text: TAB-separated, decimal point, names on line 1, units on line 2");
    expectNumbers(numbersOf(*tab.log, 2), {30, 31}, "MAP");

    const Read brackets = readText("Time [s];Speed (km/h);AFR (Bank 1);[rpm];Load ()\n0;1;2;3;4\n1;2;3;4;5\n");
    EXPECT_EQ(unitsOf(*brackets.log), (std::vector<std::string>{"s", "km/h", "", "rpm", ""}));
    EXPECT_EQ(namesOf(*brackets.log)[3], "[rpm]") << "the name is kept whole as written";

    // A units line wins over brackets; an empty unit cell leaves the bracket's.
    const Read both = readText("Time (ms)\tMAP (kPa)\ns\t\n0\t30\n1\t31\n");
    EXPECT_EQ(unitsOf(*both.log), (std::vector<std::string>{"s", "kPa"}));
    EXPECT_EQ(both.log->timeChannel()->secondsPerUnit, 1.0);
}

TEST(DelimitedText, NamesAreMadeSafeForTheOwnNamesLine)
{
    const Read read = readText("\"Time\";\" Speed, front \";;Load\n0;1;2;3\n1;2;3;4\n");
    EXPECT_EQ(namesOf(*read.log), (std::vector<std::string>{"Time", "Speed; front", "Channel 3", "Load"}));
    expectNumbers(numbersOf(*read.log, 3), {3, 4}, "the channel after the empty name");
    // A ',' in a data cell of a ';' log with decimal points cannot split it.
    const Read cells = readText("A;B;C\n1.5;x,y;2\n2.5;3;4\n");
    EXPECT_EQ(shown(*cells.log, 1, 0), "x;y");
    expectNumbers(numbersOf(*cells.log, 2), {2, 4}, "C");
}

TEST(DelimitedText, WordsMakeAnOnOffChannel)
{
    const Read read = readText("Time;Fan;Mode\n0;Off;idle\n1;ON;run\n2;;idle\n3;1;x\n");
    expectNumbers(numbersOf(*read.log, 1), {0, 1, kNone, 1}, "fan");
    expectNumbers(numbersOf(*read.log, 2), {kNone, kNone, kNone, kNone}, "mode holds no numbers");
    EXPECT_EQ(shown(*read.log, 1, 1), "ON");
}

TEST(DelimitedText, RowsWithoutAValueAreLeftOutAndTold)
{
    const Read read = readText("Time;RPM\n0;800\n;\nTime;RPM\n1;900\n-;-\n");
    EXPECT_EQ(read.log->takeCount(), 2);
    expectNumbers(numbersOf(*read.log, 1), {800, 900}, "RPM");
    ASSERT_EQ(read.result.warnings.size(), 1u);
    EXPECT_EQ(read.result.warnings[0].kind, ReadWarning::Kind::OddRows);
    EXPECT_EQ(read.result.warnings[0].count, 3u);
    EXPECT_EQ(read.result.warnings[0].message, "3 rows hold no value and are left out (the first on line 3)");
}

TEST(DelimitedText, RaggedRowsAndControlBytesAreToldInTheLogsOwnLines)
{
    // Line 2 holds the names, so only a reading asked for reads it as text.
    const Read read = readText("Product\nTime;RPM;MAP\n0;800;1\n1;800;1\n2;800;1\n3;800;1\n\n4;900;30;7\nx\n5;800\n"
                               "6;950;\x01" "1\n", LogFormat::Text);
    EXPECT_EQ(warningsOf(read),
              "1 byte is NUL or another control character (the first in line 11)\n"
              "1 row has fewer cells than there are names\n"
              "1 row has more cells than there are names\n"
              "1 row holds no value and is left out (the first on line 9)\n");
    EXPECT_EQ(read.log->takeCount(), 7);
}

TEST(DelimitedText, AnOwnFormatLogReadAsTextOnRequest)
{
    const Read read = readText("my title\nRPM,MAP\n800,30\n900,40\n", LogFormat::Text);
    EXPECT_EQ(namesOf(*read.log), (std::vector<std::string>{"RPM", "MAP"}));
    expectNumbers(numbersOf(*read.log, 0), {800, 900}, "RPM");
    EXPECT_EQ(read.log->details().summary, "text: ','-separated, decimal point, names on line 2");
    EXPECT_FALSE(read.log->timeChannel()) << "no channel looks like time";

    const dlv::ReadResult empty = dlv::readLogBytes("\n\n  \n", LogFormat::Text, "empty.txt");
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.error, "'empty.txt' is not a text log: it has no line of names");
}

// ------------------------------------------------------------ %DataLog%

TEST(DataLogText, NamesFromTheChannelBlocksAndTheTimeOfDayInSeconds)
{
    const Read read = readText(kDataLog);
    const dlv::LogChannels& log = *read.log;
    EXPECT_EQ(namesOf(log), (std::vector<std::string>{"Time", "Engine Speed", "Lambda"}));
    EXPECT_EQ(log.channel(0).unit, "s");
    expectNumbers(numbersOf(log, 0), {51346.02, 51346.12, 32707}, "seconds of the day");
    expectNumbers(numbersOf(log, 2), {98, 101, 99}, "raw values");
    EXPECT_EQ(shown(log, 0, 0), "51346.020");
    EXPECT_EQ(log.timeChannel()->secondsPerUnit, 1.0);
    EXPECT_EQ(log.details().summary, "text: %DataLog%, 3 channels, raw values");
    const auto& more = log.details().more;
    EXPECT_NE(std::find(more.begin(), more.end(), std::pair<std::string, std::string>{"Device", "Wideband 2"}), more.end());
    EXPECT_NE(std::find_if(more.begin(), more.end(), [](const auto& m) { return m.first == "Values"; }), more.end());

    char out[32];
    EXPECT_EQ(std::string(out, dlv::secondsOfDay(" 23:59:59.5 ", out)), "86399.5");
    for (const char* notTime : {"14:15", "14:5:46", "14:60:00", "1:00:00.", "x1:00:00", "100:00:00"})
        EXPECT_EQ(dlv::secondsOfDay(notTime, out), 0u) << notTime;
}

// ------------------------------------------------------------ MSL

TEST(MslLog, PreambleNamesUnitsWordsAndMarkers)
{
    const Read read = readText(kMsl);
    const dlv::LogChannels& log = *read.log;
    EXPECT_EQ(log.format(), LogFormat::Msl);
    EXPECT_EQ(log.details().formatName, "MSL");
    EXPECT_EQ(log.details().signature, "rusEFI master.2023.05.01.proteus_f4.123");
    EXPECT_EQ(log.details().captureDate, "Mon May 01 14:15:46 CEST 2023");
    EXPECT_EQ(log.details().more.at(0), (std::pair<std::string, std::string>{"Note", "logged by a tool"}));
    EXPECT_EQ(log.details().summary, "MSL, 4 channels, 3 records, 3 markers");
    EXPECT_EQ(namesOf(log), (std::vector<std::string>{"Time", "RPM", "Fan", "AFR"}));
    EXPECT_EQ(unitsOf(log), (std::vector<std::string>{"s", "rpm", "", "AFR"}));
    expectNumbers(numbersOf(log, 2), {0, 1, 1}, "fan");
    expectNumbers(numbersOf(log, 3), {14.7, kNone, 14.1}, "AFR");
    ASSERT_EQ(log.markers().size(), 3u);
    EXPECT_EQ(log.markers()[0].take, 0);
    EXPECT_EQ(log.markers()[0].text, "MARK 000");
    EXPECT_EQ(log.markers()[1].take, 2);
    EXPECT_EQ(log.markers()[1].text, "MARK 001 manual");
    EXPECT_EQ(log.markers()[2].take, 3) << "a marker after the last record stands at the take count";
    ASSERT_TRUE(log.timeChannel());
    EXPECT_EQ(log.timeChannel()->secondsPerUnit, 1.0);
    EXPECT_EQ(warningsOf(read), "");
}

TEST(MslLog, OddRowsAreCountedAndMillisecondsRead)
{
    const Read read = readText("\"sig\"\nTime\tRPM\nms\trpm\n0\t800\n\t900\n \n10\t950\n");
    EXPECT_EQ(read.log->takeCount(), 2);
    EXPECT_EQ(read.log->timeChannel()->secondsPerUnit, 0.001);
    EXPECT_EQ(warningsOf(read), "2 rows are neither records nor markers and are left out (the first on line 5)\n");
    EXPECT_EQ(read.log->details().summary, "MSL, 2 channels, 2 records");
}

TEST(MslLog, GroupedCountsInTheSummary)
{
    std::string bytes = "\"sig\"\nTime\tRPM\ns\trpm\n";
    for (int i = 0; i < 1234; ++i)
        bytes += std::to_string(i) + "\t800\n" + (i % 600 == 0 ? "MARK\n" : "");
    EXPECT_EQ(readText(bytes).log->details().summary, "MSL, 2 channels, 1,234 records, 3 markers");
}

// ------------------------------------------------------------ every dialect

TEST(TextDialects, EachHoldsTogetherAsEveryFormatMust)
{
    using namespace std::string_literals;
    const std::pair<std::string, LogFormat> logs[] = {
        {kSemicolonDecimalComma, LogFormat::Auto},
        {kSemicolonEmptyCells, LogFormat::Auto},
        {utf16(kTitledCommaSpace, true), LogFormat::Auto},
        {kTabWithUnits, LogFormat::Auto},
        {kMsl, LogFormat::Auto},
        {kDataLog, LogFormat::Auto},
        {"Product\nTime;RPM;MAP\n0;800;1\n\n4;900;30;7\nx\n5;800\n"s, LogFormat::Text},
        {"\"sig\"\nTime\tRPM\nms\trpm\nMARK\n0\t800\n\t900\n10\t950\textra\nMARK 2\n"s, LogFormat::Msl},
        {"A;B\n1;" + std::string(5000, 'x') + "\n2,5;3\n", LogFormat::Text},
    };
    for (const auto& [bytes, format] : logs) {
        SCOPED_TRACE(dlv::fuzzcheck::shown(bytes, 80));
        const Read read = readText(bytes, format);
        ASSERT_TRUE(read.log);
        EXPECT_NE(read.log->format(), LogFormat::Datalog);
        dlvtest::expectChannelsHoldTogether(*read.log);
    }
}

// ------------------------------------------------------------ time channel

TEST(TimeChannel, FoundByNameOrUnit)
{
    const auto time = [](std::vector<std::string> names, std::vector<std::string> units) {
        return dlv::findTimeChannel(names, units);
    };
    EXPECT_EQ(time({"RPM", "TIME"}, {})->param, 1);
    EXPECT_EQ(time({"RPM", "time"}, {})->secondsPerUnit, 1.0);
    EXPECT_EQ(time({"Time (msec)"}, {"msec"})->secondsPerUnit, 0.001);
    EXPECT_EQ(time({"Time ms"}, {""})->secondsPerUnit, 0.001);
    EXPECT_EQ(time({"Time(s)"}, {"s"})->secondsPerUnit, 1.0);
    EXPECT_EQ(time({"RPM", "Stamp"}, {"rpm", "ms"})->param, 1);
    EXPECT_EQ(time({"RPM", "Clock"}, {"rpm", "sec"})->secondsPerUnit, 1.0);
    EXPECT_FALSE(time({"RPM", "Timer", "Items"}, {"rpm"}));
}

// ------------------------------------------------------------ big logs

// A ';' decimal-comma log of many rows, with markers of a kind and odd
// rows here and there, big enough to be converted in several parts.
std::string bigLog(std::size_t rows, bool preamble)
{
    std::mt19937 random(11);
    std::string bytes = preamble ? "Exported by a long-named logging tool, version 12.3.4, on a long afternoon\n" : "";
    bytes += "Time;RPM;MAP;AFR;Fan\n";
    for (std::size_t i = 0; i < rows; ++i) {
        bytes += std::to_string(i) + ",5;" + std::to_string(800 + random() % 5000) + ";" + std::to_string(random() % 100) +
                 "," + std::to_string(random() % 10) + ";" + (random() % 7 ? std::to_string(random() % 20) : "") + ";" +
                 (random() % 2 ? "On" : "Off") + (i % 3 ? "\n" : "\r\n");
        if (random() % 5000 == 0)
            bytes += ";;;;\n";
    }
    return bytes;
}

// The bytes in a buffer without room before its start (a mapping of its
// own, adopted), so that the title and names cannot grow into it.
std::unique_ptr<dlv::ByteBuffer> bufferWithoutRoom(const std::string& bytes)
{
    const std::size_t mapped = bytes.size() + dlv::ByteBuffer::kPadding;
    void* mapping = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(mapping, MAP_FAILED);
    std::memcpy(mapping, bytes.data(), bytes.size());
    return dlv::ByteBuffer::adopt(static_cast<char*>(mapping), mapped, bytes.size());
}

TEST(BigTextLog, ConvertedOverEveryCoreInPlaceOrIntoANewBufferAsThePlainReadingSays)
{
    for (const bool preamble : {false, true}) {
        const std::string bytes = bigLog(400000, preamble);
        ASSERT_GT(bytes.size(), std::size_t{8} << 20);
        // In place: where the old header was (with the preamble) or in the
        // room before the buffer (without).
        EXPECT_EQ(dlv::fuzzcheck::checkTextLog(std::string(1, '\0') + bytes), "") << preamble;
        // Into a new buffer, the old one's pages given back as the parts go.
        const dlv::ReadResult copied = dlv::readLogBuffer(bufferWithoutRoom(bytes), bytes.size(), "fuzz.log", LogFormat::Text);
        EXPECT_EQ(dlv::fuzzcheck::checkTextReading(bytes, LogFormat::Text, copied), "") << preamble;
    }
}

TEST(BigTextLog, BothCopiesOfTheByteLoopsReadTheSame)
{
    // Rows of every length around the 16- and 32-byte steps of the loops,
    // words and decimal commas at every place in them.
    std::mt19937 random(5);
    std::string bytes = "Time;A;B;Fan\n";
    for (int i = 0; i < 3000; ++i) {
        bytes += std::to_string(i) + ";" + std::string(random() % 40, ' ') + std::to_string(random() % 1000) + "," +
                 std::to_string(random() % 100) + ";" + (random() % 3 ? "" : "x,y") + ";" + (random() % 2 ? "on" : "Off") +
                 (random() % 4 ? "\n" : "\r\n");
        if (random() % 50 == 0)
            bytes += "\n;;;\n";
    }
    for (const bool anyProcessor : {true, false}) {
        const dlvtest::AnyProcessorOnly only(anyProcessor);
        EXPECT_EQ(dlv::fuzzcheck::checkTextLog(std::string(1, '\0') + bytes), "") << anyProcessor;
        EXPECT_EQ(dlv::fuzzcheck::checkTextLog("\x01" + kMsl), "") << anyProcessor;
        EXPECT_EQ(dlv::fuzzcheck::checkTextLog("\x02" + kTabWithUnits), "") << anyProcessor;
    }
}

TEST(BigTextLog, MarkersAcrossPartsStandAtTheirTakes)
{
    std::string bytes = "\"sig\"\nTime\tRPM\ns\trpm\n";
    for (int i = 0; i < 600000; ++i)
        bytes += std::to_string(i) + "\t" + std::to_string(i % 7000) + "\n" + (i % 100000 == 99999 ? "MARK x\n" : "");
    EXPECT_EQ(dlv::fuzzcheck::checkTextLog(std::string(1, '\1') + bytes), "");
    const Read read = readText(bytes);
    ASSERT_EQ(read.log->markers().size(), 6u);
    for (int m = 0; m < 6; ++m)
        EXPECT_EQ(read.log->markers()[static_cast<std::size_t>(m)].take, (m + 1) * 100000);
}

TEST(ByteBufferRoom, GrowsIntoTheRoomBeforeItAndGivesReadPagesBack)
{
    const std::size_t size = std::size_t{8} << 20;
    std::unique_ptr<dlv::ByteBuffer> buffer = dlv::ByteBuffer::reserve(size);
    ASSERT_NE(buffer, nullptr);
    std::memset(buffer->data(), 'x', size);
    const char* before = buffer->data();
    // An aligned big buffer has room before it unless the system happened
    // to map it aligned; an adopted mapping has none.
    if (buffer->growFront(3)) {
        EXPECT_EQ(buffer->data(), before - 3);
        EXPECT_EQ(buffer->capacity(), size + 3);
        EXPECT_EQ(std::string(buffer->data(), 4), std::string("\0\0\0x", 4));
    }
    EXPECT_FALSE(bufferWithoutRoom("abc")->growFront(1));
    buffer->discard(0, size);
    EXPECT_EQ(buffer->data()[size / 2], '\0') << "a page given back reads as zero";
}

// ------------------------------------------------------------ fuzz checks

TEST(TextFuzzChecks, HandPickedInputsAndTheCorpusPassEveryCheck)
{
    using namespace std::string_literals;
    for (const std::string& text :
         {""s, "\x00"s, "\x01"s, "\x00" + kSemicolonDecimalComma, "\x01" + kMsl, "\x00" + kDataLog, "\x02" + kTabWithUnits,
          "\x05" + kMsl, "\x00\xFF\xFE"s, "\x00;;;\n;;\r\r\n"s, "\x01\"\n\t\n\t\t\nMARK\n"s, "\x00" "A;B\n1;2   "s,
          "\x00%DataLog%\n1:00:00,2\n"s, "\x01\n\n"s})
        EXPECT_EQ(dlv::fuzzcheck::checkTextLog(text), "") << dlv::fuzzcheck::shown(text);
    for (const std::string& text : {""s, "\x05\x03t;x\x02" "A;\x02" "B\t"s, "\xFF\xFE"s, "%DataLog%"s})
        EXPECT_EQ(dlv::fuzzcheck::checkDetect(text), "") << dlv::fuzzcheck::shown(text);

    const std::filesystem::path source(DLV_SOURCE_DIR);
    const std::pair<const char*, std::string (*)(std::string_view)> targets[] = {
        {"text_log", dlv::fuzzcheck::checkTextLog}, {"detect", dlv::fuzzcheck::checkDetect}};
    for (const auto& [target, check] : targets) {
        int replayed = 0;
        for (const std::filesystem::path& root : {source / "fuzz" / "corpus", source / "tests" / "fuzz_regressions"}) {
            if (!std::filesystem::is_directory(root / target))
                continue;
            for (const auto& entry : std::filesystem::directory_iterator(root / target)) {
                std::ifstream in(entry.path(), std::ios::binary);
                EXPECT_EQ(check(std::string(std::istreambuf_iterator<char>(in), {})), "") << entry.path();
                ++replayed;
            }
        }
        EXPECT_GE(replayed, 20) << target;
    }
}

TEST(TextFuzzChecks, TheChecksNoticeAReadingOfOtherBytes)
{
    const std::string bytes = "A;B\n1,5;2\nMARK\n3;4\n";
    const auto against = [&bytes](const std::string& other, LogFormat format, LogFormat readAs = LogFormat::Text) {
        return dlv::fuzzcheck::checkTextReading(bytes, format, dlv::readLogBytes(other, readAs, "fuzz.log"));
    };
    EXPECT_EQ(against(bytes, LogFormat::Text), "");
    EXPECT_NE(against("A;B\n1,6;2\nMARK\n3;4\n", LogFormat::Text), "") << "another value";
    EXPECT_NE(against("A;C\n1,5;2\nMARK\n3;4\n", LogFormat::Text), "") << "another name";
    EXPECT_NE(against("A;B\n1,5;2\n3;4\n", LogFormat::Text), "") << "a row fewer";
    EXPECT_NE(against("A;B\n1,5;2\nMARK\n3;4\n5;6\n", LogFormat::Text), "") << "a take more";
    EXPECT_NE(against(bytes, LogFormat::Msl), "") << "another format";
    // An own-format log built from any bytes is one.
    const std::string own = dlv::fuzzcheck::ownLogFromInput("\x03" "a;b\x03\x02" "RP\x02" "MA\x02\x81\x01\x02");
    EXPECT_EQ(own.substr(0, 4), "a;b\n");
    EXPECT_EQ(dlv::detectLogFormat(own), LogFormat::Datalog);
}

}  // namespace
