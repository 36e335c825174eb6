// MLG logs (versions 1 and 2) written by the tests' own writer: header and
// descriptors, every field type, shown texts, markers, checksums, files cut
// short or stopped by an unknown block, refusals of broken and hostile
// headers, detection, and the details the window shows. Every log read here
// also passes the fuzz target's check against its plain reference reading.
#include "../../fuzz/mlg_checks.h"
#include "datalog/log_formats.h"
#include "datalog/mlg_log.h"
#include "support/any_processor.h"
#include "support/mlg_writer.h"
#include "support/temp_logs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <functional>
#include <fstream>
#include <iterator>
#include <limits>

namespace {

using dlv::LogChannels;
using dlv::LogFormat;
using dlv::ReadResult;
using dlv::ReadWarning;
using dlv::ValueStyle;
using dlvtest::MlgFieldSpec;
using dlvtest::MlgWriter;
using namespace dlvtest;

// Reads bytes as a file named x.mlg would be, by detection, after checking
// them against the reference reading.
ReadResult readMlg(const std::string& bytes, std::string_view name = "x.mlg")
{
    EXPECT_EQ(dlv::fuzzcheck::checkMlg(bytes), "");
    return dlv::readLogBytes(bytes, LogFormat::Auto, name);
}

std::vector<double> column(const LogChannels& log, long long p, int first = 0, int count = -1)
{
    if (count < 0)
        count = log.takeCount() - first;
    std::vector<double> values(static_cast<std::size_t>(count));
    double* out = values.data();
    log.parseInto(std::span<const long long>(&p, 1), first, count, std::span<double* const>(&out, 1));
    return values;
}

std::string shown(const LogChannels& log, long long p, long long t)
{
    std::string scratch;
    const std::optional<std::string_view> text = log.shownValue(p, t, scratch);
    return text ? std::string(*text) : std::string("<none>");
}

const ReadWarning* warningOf(const ReadResult& result, ReadWarning::Kind kind)
{
    for (const ReadWarning& w : result.warnings)
        if (w.kind == kind)
            return &w;
    return nullptr;
}

std::string moreOf(const dlv::LogDetails& details, std::string_view key)
{
    for (const auto& [k, v] : details.more)
        if (k == key)
            return v;
    return "<none>";
}

MlgWriter twoFieldLog(int version = 2)
{
    return MlgWriter(version, {{kF32, "Time", "s", 0, 1, 0, 3, "Basic"}, {kU16, "RPM", "rpm", 0, 1, 0, 0, "Engine"}});
}

// ------------------------------------------------------------ header and fields

TEST(MlgHeader, Version2ReadsNamesUnitsCategoriesDigitsAndStyles)
{
    MlgWriter w(2, {{kF32, "Time", "s", 0, 1, 0, 3, "Basic"},
                    {kU16, "RPM   ", "rpm", 0, 1, 0, 0, "Engine"},
                    {kU16, " MAP", " kPa ", 0, 0.25f, 10, 1, "Sensors"},
                    {kU08, "Fan", "", 4, 1, 0, 0, ""},
                    {kU08, "CLT\xB0", "\xB0" "C", 0, 1, -40, 0, "Sensors"}});
    w.record({0.5, 3000, 6, 1, 130});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.store, nullptr);
    const LogChannels& log = *result.log;
    EXPECT_EQ(log.format(), LogFormat::Mlg);
    EXPECT_EQ(log.ParamNames(), (std::vector<std::string>{"Time", "RPM", " MAP", "Fan", "CLT\xB0", ""}));
    EXPECT_EQ(log.channelCount(), 5);
    EXPECT_EQ(log.channel(2).unit, "kPa");
    EXPECT_EQ(log.channel(2).category, "Sensors");
    EXPECT_EQ(log.channel(2).digits, 1);
    EXPECT_EQ(log.channel(0).digits, 3);
    EXPECT_EQ(log.channel(3).style, ValueStyle::OnOff);
    EXPECT_EQ(log.channel(4).unit, "\xC2\xB0" "C");  // units are UTF-8, from Latin-1
    EXPECT_EQ(log.channel(5).unit, "");               // beyond the fields
    EXPECT_EQ(log.takeCount(), 1);
    EXPECT_EQ(column(log, 2), std::vector<double>{4.0});  // (6 + 10) * 0.25
    EXPECT_EQ(column(log, 4), std::vector<double>{90.0});
    EXPECT_EQ(log.fileBytes(), w.bytes().size());
}

TEST(MlgHeader, Version1HasShortDescriptorsAndNoCategories)
{
    MlgWriter w = twoFieldLog(1);
    w.info("\"speeduino 202305\"\n\"Capture Date: Mon Jan 02 10:00:00 2023\"\n");
    w.record({0.0, 800}).record({0.125, 900});
    const std::string bytes = w.bytes();
    ASSERT_EQ(bytes.size(), 22 + 2 * 55 + w.rightDataOffset() - w.rightInfoOffset() + 2 * (4 + 6 + 1));
    const ReadResult result = readMlg(bytes);
    ASSERT_TRUE(result.ok()) << result.error;
    const LogChannels& log = *result.log;
    EXPECT_EQ(log.details().formatName, "MLG 1");
    EXPECT_EQ(log.details().signature, "speeduino 202305");
    EXPECT_EQ(log.details().captureDate, "Mon Jan 02 10:00:00 2023");
    EXPECT_EQ(log.channel(1).category, "");
    EXPECT_EQ(log.channel(1).unit, "rpm");
    EXPECT_EQ(column(log, 0), (std::vector<double>{0.0, 0.125}));
    EXPECT_EQ(column(log, 1), (std::vector<double>{800, 900}));
}

TEST(MlgHeader, NamesKeepTheirBytesUpToThePadding)
{
    const std::string full(34, 'N');  // no NUL at all
    MlgWriter w(2, {{kU08, full}, {kU08, "a b  "}, {kU08, std::string("x\0y", 3)}, {kU08, ""}});
    w.record({1, 2, 3, 4});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.log->ParamNames(), (std::vector<std::string>{full, "a b", "x", "", ""}));
    EXPECT_EQ(result.log->channelCount(), 4);
}

TEST(MlgValues, EveryFieldTypeAtItsLimits)
{
    std::vector<MlgFieldSpec> fields = {{kU08, "u8"}, {kS08, "s8"},  {kU16, "u16"},   {kS16, "s16"},
                                        {kU32, "u32"}, {kS32, "s32"}, {kS64, "s64"},   {kF32, "f32"},
                                        {kBits8, "b8"}, {kBits16, "b16"}, {kBits32, "b32"}};
    MlgWriter w(2, fields);
    const double big = 9007199254740992.0;  // 2^53, exact in an S64 and a double
    const std::vector<std::vector<double>> records = {
        {255, -128, 65535, -32768, 4294967295.0, -2147483648.0, -big, -1.5, 255, 65535, 4294967295.0},
        {0, 127, 0, 32767, 0, 2147483647.0, big, 3.25, 0, 0, 0},
        {17, -1, 258, -2, 65536, -65536, -1, 1e30, 0x80, 0x8000, 0x80000000u}};
    for (const auto& r : records)
        w.record(r);
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    for (std::size_t p = 0; p < fields.size(); ++p) {
        const std::vector<double> got = column(*result.log, static_cast<long long>(p));
        for (std::size_t t = 0; t < records.size(); ++t)
            // An F32 holds the float nearest to what was written.
            EXPECT_EQ(got[t], p == 7 ? static_cast<double>(static_cast<float>(records[t][p])) : records[t][p])
                << fields[p].name << " take " << t;
    }
    // Bit fields are shown whole, whatever their descriptor's scale bytes.
    EXPECT_EQ(result.log->channel(8).style, ValueStyle::Bits);
    EXPECT_EQ(shown(*result.log, 10, 0), "4294967295");
}

TEST(MlgValues, ScaleAndTransformApplyToEveryNumericTypeButNotToBitFields)
{
    MlgWriter w(2, {{kS16, "t", "", 0, 0.5f, -40, 1}, {kS08, "s", "", 0, -2, 3, 0}, {kF32, "f", "", 0, 4, 0.5f, 2},
                    {kBits16, "b", "", 2, 100, 7, 0}});
    w.record({-100, -5, 1.25, 9});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(column(*result.log, 0), std::vector<double>{-70.0});  // (-100 - 40) * 0.5
    EXPECT_EQ(column(*result.log, 1), std::vector<double>{4.0});    // (-5 + 3) * -2
    EXPECT_EQ(column(*result.log, 2), std::vector<double>{7.0});    // (1.25 + 0.5) * 4
    EXPECT_EQ(column(*result.log, 3), std::vector<double>{9.0});
    EXPECT_EQ(shown(*result.log, 0, 0), "-70.0");
}

TEST(MlgValues, FloatsThatAreNotFiniteAreNoNumber)
{
    MlgWriter w(2, {{kF32, "f", "", 0, 1, 0, 2}, {kU08, "huge scale", "", 0, std::numeric_limits<float>::infinity(), 0, 0}});
    w.record({std::numeric_limits<double>::quiet_NaN(), 1});
    w.record({std::numeric_limits<double>::infinity(), 0});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    for (const double v : column(*result.log, 0))
        EXPECT_TRUE(std::isnan(v));
    EXPECT_TRUE(std::isnan(column(*result.log, 1)[0]));
    EXPECT_EQ(shown(*result.log, 0, 0), "nan");
    EXPECT_EQ(shown(*result.log, 0, 1), "inf");
}

// Channels are decoded eight records at a time on processors with AVX2 and
// one at a time on any other: both must give the reference's numbers to the
// bit, for every type, whether the records of a block follow one another or
// a marker stands between them, and for blocks of any length.
TEST(MlgValues, EveryTypeGivesTheSameBitsOnAnyProcessorAcrossMarkersAndBlockEnds)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<MlgFieldSpec> fields = {
        {kU08, "u8", "", 0, 0.5f, -40},  {kS08, "s8", "", 0, -2, 3},    {kU16, "u16", "", 0, 0.01f, 0},
        {kS16, "s16", "", 0, 0.1f, -40}, {kU32, "u32", "", 0, 1, 0},     {kS32, "s32", "", 0, 0.001f, 5},
        {kS64, "s64", "", 0, 2, 1},      {kF32, "f32", "", 0, 4, 0.5f},  {kBits8, "b8", "", 2},
        {kBits16, "b16", "", 2},         {kBits32, "b32", "", 2},        {kF32, "f32 plain"},
        {kU16, "no scale", "", 0, inf, 0}};
    const double qnan = std::numeric_limits<double>::quiet_NaN();
    // Each field's values run through its type's limits, zeros of both signs
    // and floats that are not finite.
    const std::vector<std::vector<double>> kinds = {
        {0, 255, 17},      {-128, 127, -1},         {0, 65535, 258},         {-32768, 32767, -2},
        {0, 4294967295.0, 2147483648.0}, {-2147483648.0, 2147483647.0, -7}, {-9007199254740992.0, 3, -1},
        {-0.0, 1e30, -1.5}, {0, 255, 128},          {0, 65535, 32768},       {0, 4294967295.0, 2147483648.0},
        {qnan, std::numeric_limits<double>::infinity(), -0.0}, {1, 0, 2}};
    MlgWriter w(2, fields);
    const int records = 61;
    for (int t = 0; t < records; ++t) {
        if (t == 9 || t == 10 || t == 33)
            w.marker("m" + std::to_string(t));
        std::vector<double> values;
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const auto& kind = kinds[f];
            values.push_back(t % 5 < 3 ? kind[static_cast<std::size_t>(t % 5)] : kind[2] + t % 3);
        }
        w.record(values);
    }
    std::vector<std::vector<double>> copies[2];
    for (const bool anyProcessor : {false, true}) {
        const AnyProcessorOnly plain(anyProcessor);
        const ReadResult result = readMlg(w.bytes());
        ASSERT_TRUE(result.ok()) << result.error;
        for (std::size_t p = 0; p < fields.size(); ++p)
            for (const auto& [first, count] : {std::pair{0, records}, {1, 8}, {2, 15}, {8, 3}, {11, 23}, {60, 1}})
                copies[anyProcessor].push_back(column(*result.log, static_cast<long long>(p), first, count));
    }
    ASSERT_EQ(copies[0].size(), copies[1].size());
    for (std::size_t c = 0; c < copies[0].size(); ++c) {
        ASSERT_EQ(copies[0][c].size(), copies[1][c].size());
        EXPECT_EQ(std::memcmp(copies[0][c].data(), copies[1][c].data(), copies[0][c].size() * sizeof(double)), 0)
            << "field " << c / 6 << ", range " << c % 6;
    }
    // A few of them by hand, so that both copies being wrong alike shows.
    const std::vector<double>& u8 = copies[0][0];
    EXPECT_EQ(u8[1], (255 - 40) * 0.5);
    EXPECT_EQ(copies[0][6 * 4][1], 4294967295.0);
    EXPECT_EQ(copies[0][6 * 1][0], (-128 + 3) * -2.0);
    EXPECT_FALSE(std::signbit(copies[0][6 * 11][2]));  // -0 plus a transform of 0 is +0
    EXPECT_TRUE(std::isnan(copies[0][6 * 11][1]));     // infinity is no number
    EXPECT_TRUE(std::isnan(copies[0][6 * 12][0]));     // nor is an infinite scale's product
}

// ------------------------------------------------------------ shown texts

TEST(MlgShownValues, DigitsStylesAndWords)
{
    MlgWriter w(2, {{kF32, "AFR", "", 0, 1, 0, 2},       {kU16, "MAP", "kPa", 0, 0.1f, 0, 1},
                    {kF32, "Any", "", 0, 1, 0, -1},      {kU16, "Status", "", 1, 1, 0, 0},
                    {kS08, "Signed hex", "", 1, 1, 0, 0}, {kU08, "Fan", "", 4, 1, 0, 0},
                    {kU08, "AC", "", 5, 1, 0, 0},         {kU08, "Pin", "", 6, 1, 0, 0},
                    {kU08, "Idle", "", 7, 1, 0, 0},       {kBits8, "Flags", "", 2, 1, 0, 0},
                    {kU32, "When", "", 3, 1, 0, 0},       {kS64, "Count", "", 0, 1, 0, 0},
                    {kU16, "Bits style", "", 2, 2, 0, 3}});
    w.record({14.7, 1013, 0.5, 31, -1, 0, 1, 0, 2, 5, 1700000000, -5, 6});
    w.record({-0.001, 0, 0.1, 0, 0x7F, 1, 0, 1, 0, 255, 0, 0, 0});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    const LogChannels& log = *result.log;
    const std::vector<std::string> first = {"14.70", "101.3", "0.5", "0x1F", "0xFF", "Off", "Yes",
                                            "Low",   "Active", "5",  "1700000000", "-5", "12"};
    const std::vector<std::string> second = {"0.00", "0.0", "", "0x0", "0x7F", "On", "No", "High", "Inactive",
                                             "255",  "0",   "0"};
    for (std::size_t p = 0; p < first.size(); ++p)
        EXPECT_EQ(shown(log, static_cast<long long>(p), 0), first[p]) << log.ParamNames()[p];
    for (std::size_t p = 0; p < second.size(); ++p) {
        if (!second[p].empty()) {
            EXPECT_EQ(shown(log, static_cast<long long>(p), 1), second[p]) << log.ParamNames()[p];
        }
    }
    // Digits below 0: the shortest text that reads back as the same number.
    EXPECT_EQ(dlv::parseNumber(shown(log, 2, 1)), column(log, 2)[1]);
    // A take outside the log has no value; a channel beyond the fields shows nothing.
    EXPECT_EQ(shown(log, 0, -1), "<none>");
    EXPECT_EQ(shown(log, 0, 2), "<none>");
    EXPECT_EQ(shown(log, 13, 0), "");
    EXPECT_EQ(shown(log, -1, 0), "");
}

TEST(MlgShownValues, WidestShownValueCoversEveryTextAndStaysModest)
{
    MlgWriter w(2, {{kF32, "f", "", 0, 1, 0, 2}, {kS32, "i", "", 0, 1, 0, 0}, {kU16, "h", "", 1, 1, 0, 0},
                    {kU08, "w", "", 7, 1, 0, 0}, {kS64, "big", "", 0, 1, 0, 0}});
    w.record({-99999, -2147483648.0, 65535, 0, -9.2e18});
    w.record({12.5, 7, 1, 1, 3});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    const LogChannels& log = *result.log;
    for (int t = 0; t < log.takeCount(); ++t) {
        for (long long p = 0; p < log.channelCount(); ++p)
            EXPECT_LE(shown(log, p, t).size(), log.maxShownValueBytes(t)) << p;
        EXPECT_LE(log.maxShownValueBytes(t), 40u);
    }
    EXPECT_EQ(log.maxShownValueBytes(-1), 0u);
    EXPECT_EQ(log.maxShownValueBytes(log.takeCount()), 0u);

    // A log of floats with two decimals is laid out for short numbers.
    MlgWriter floats(2, {{kF32, "AFR", "", 0, 1, 0, 2}});
    floats.record({14.7});
    const ReadResult narrow = readMlg(floats.bytes());
    ASSERT_TRUE(narrow.ok());
    EXPECT_GE(narrow.log->maxShownValueBytes(0), shown(*narrow.log, 0, 0).size());
    EXPECT_LE(narrow.log->maxShownValueBytes(0), 12u);
}

// ------------------------------------------------------------ blocks

TEST(MlgBlocks, MarkersBetweenRecordsStandBeforeTheNextRecord)
{
    MlgWriter w = twoFieldLog();
    w.marker("start").record({0, 800}).marker("Lap 1  ").marker(std::string("pit\0junk", 8));
    w.record({0.1, 900}).record({0.2, 1000}).marker("end");
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_TRUE(result.warnings.empty());
    const LogChannels& log = *result.log;
    ASSERT_EQ(log.markers().size(), 4u);
    const std::vector<std::pair<int, std::string>> want = {{0, "start"}, {1, "Lap 1"}, {1, "pit"}, {3, "end"}};
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(log.markers()[i].take, want[i].first);
        EXPECT_EQ(log.markers()[i].text, want[i].second);
    }
    EXPECT_EQ(column(log, 1), (std::vector<double>{800, 900, 1000}));
    EXPECT_EQ(column(log, 1, 1, 2), (std::vector<double>{900, 1000}));
    EXPECT_EQ(shown(log, 1, 2), "1000");
    EXPECT_EQ(log.details().summary, "MLG 2, 2 channels, 3 records, 4 markers");
    // Takes asked for outside the log have no number; the bytes there are not read.
    const std::vector<double> wide = column(log, 1, -2, 7);
    for (const std::size_t i : {0u, 1u, 5u, 6u})
        EXPECT_TRUE(std::isnan(wide[i])) << i;
    EXPECT_EQ(std::vector<double>(wide.begin() + 2, wide.begin() + 5), (std::vector<double>{800, 900, 1000}));
}

TEST(MlgBlocks, ChannelsByRangeEqualValueByValueAcrossRunsAndCores)
{
    MlgWriter w(2, {{kF32, "Time", "s", 0, 1, 0, 3}, {kU16, "RPM", "rpm", 0, 1, 0, 0}, {kS16, "Trim", "%", 0, 0.5f, 0, 1}});
    const int records = 40000;
    for (int t = 0; t < records; ++t) {
        if (t % 7001 == 3)
            w.marker("m" + std::to_string(t));
        w.record({t * 0.125, static_cast<double>(t % 6000), static_cast<double>(t % 200 - 100)});
    }
    const ReadResult result = dlv::readLogBytes(w.bytes(), LogFormat::Auto, "big.mlg");
    ASSERT_TRUE(result.ok()) << result.error;
    const LogChannels& log = *result.log;
    ASSERT_EQ(log.takeCount(), records);
    EXPECT_EQ(log.markers().size(), 6u);
    // Three channels (and one beyond) at once, over the whole log: parts on every core.
    const std::vector<long long> params = {2, 0, 3, 1};
    std::vector<std::vector<double>> got(params.size(), std::vector<double>(records));
    std::vector<double*> outs;
    for (auto& c : got)
        outs.push_back(c.data());
    log.parseInto(params, 0, records, outs);
    for (int t = 0; t < records; ++t) {
        ASSERT_EQ(got[1][t], t * 0.125) << t;
        ASSERT_EQ(got[3][t], t % 6000) << t;
        ASSERT_EQ(got[0][t], (t % 200 - 100) * 0.5) << t;
        ASSERT_TRUE(std::isnan(got[2][t]));
    }
    // Ranges that begin and end inside runs give the same numbers.
    for (const auto& [first, count] : {std::pair{0, 1}, {3, 1}, {7000, 9000}, {7003, 1}, {39999, 1}, {12345, 20000}})
        EXPECT_EQ(column(log, 1, first, count),
                  std::vector<double>(got[3].begin() + first, got[3].begin() + first + count))
            << first;
    for (const int t : {0, 3, 7003, 7004, 21005, 39999})
        EXPECT_EQ(shown(log, 1, t), std::to_string(t % 6000));
}

TEST(MlgBlocks, ChecksumMismatchesAreCountedAndTheRecordsKept)
{
    MlgWriter w = twoFieldLog();
    const std::string fields = MlgWriter::encode(kF32, 1.0) + MlgWriter::encode(kU16, 1234);
    w.record({0, 800}).recordBytes(fields, 1).record({2, 900}).recordBytes(fields, -3).record({4, 1000});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    const ReadWarning* warning = warningOf(result, ReadWarning::Kind::ChecksumMismatch);
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->count, 2u);
    EXPECT_NE(warning->message.find("take 1"), std::string::npos) << warning->message;
    EXPECT_EQ(column(*result.log, 1), (std::vector<double>{800, 1234, 900, 1234, 1000}));
    EXPECT_EQ(moreOf(result.log->details(), "Checksum mismatches"), "2 (the first at take 1)");

    MlgWriter one = twoFieldLog();
    one.record({0, 800}).recordBytes(fields, 255);
    const ReadResult single = readMlg(one.bytes());
    ASSERT_TRUE(single.ok());
    ASSERT_EQ(single.warnings.size(), 1u);
    EXPECT_EQ(single.warnings[0].message, "1 record's checksum does not match (take 1); it is kept");
}

TEST(MlgBlocks, AFileCutShortKeepsEveryWholeRecordAndSaysWhatWasLeftOver)
{
    MlgWriter w = twoFieldLog();
    w.record({0, 800}).record({1, 900}).record({2, 1000});
    const std::string whole = w.bytes();
    const std::size_t block = 4 + 6 + 1;
    for (const std::size_t cut : {std::size_t{1}, std::size_t{7}, block - 1}) {
        const ReadResult result = readMlg(whole.substr(0, whole.size() - cut));
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.log->takeCount(), 2);
        const ReadWarning* warning = warningOf(result, ReadWarning::Kind::CutShort);
        ASSERT_NE(warning, nullptr) << cut;
        EXPECT_EQ(warning->count, block - cut);
        EXPECT_NE(warning->message.find(dlv::groupedCount(block - cut) + " byte"), std::string::npos)
            << warning->message;
    }
    // A marker block cut short, and a file that ends right after its descriptors.
    MlgWriter marked = twoFieldLog();
    marked.record({0, 800}).marker("half");
    const std::string bytes = marked.bytes();
    const ReadResult result = readMlg(bytes.substr(0, bytes.size() - 20));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.log->takeCount(), 1);
    EXPECT_TRUE(result.log->markers().empty());
    EXPECT_EQ(warningOf(result, ReadWarning::Kind::CutShort)->count, 34u);
    const ReadResult empty = readMlg(twoFieldLog().bytes());
    ASSERT_TRUE(empty.ok()) << empty.error;
    EXPECT_EQ(empty.log->takeCount(), 0);
    EXPECT_TRUE(empty.warnings.empty());
    EXPECT_EQ(shown(*empty.log, 0, 0), "<none>");
}

TEST(MlgBlocks, AnUnknownBlockTypeEndsTheReadablePartAndSaysWhere)
{
    MlgWriter w = twoFieldLog();
    w.record({0, 800}).record({1, 900}).raw(std::string("\x07") + std::string(30, 'x')).record({2, 1000});
    const std::size_t stoppedAt = w.rightDataOffset() + 2 * (4 + 6 + 1);
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.log->takeCount(), 2);
    const ReadWarning* warning = warningOf(result, ReadWarning::Kind::StoppedEarly);
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->count, stoppedAt);
    EXPECT_NE(warning->message.find("byte " + dlv::groupedCount(stoppedAt)), std::string::npos) << warning->message;
    EXPECT_NE(warning->message.find("type 7"), std::string::npos) << warning->message;
}

// ------------------------------------------------------------ refusals

TEST(MlgRefusals, ARecordLengthThatDisagreesWithTheFieldsIsRefused)
{
    MlgWriter w = twoFieldLog();
    w.recordLength = 7;
    w.record({0, 800});
    const ReadResult result = readMlg(w.bytes());
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, "Cannot read 'x.mlg': its fields take 6 bytes a record, but its header says 7");
}

TEST(MlgRefusals, HostileHeadersGiveAMessageNamingTheFile)
{
    struct Case {
        const char* what;
        std::function<void(MlgWriter&)> change;
        std::size_t keep;  // bytes kept of the file; 0: all
        const char* says;
    };
    const std::vector<Case> cases = {
        {"data past the end", [](MlgWriter& w) { w.dataOffset = 1u << 30; }, 0, "its data begins at byte 1,073,741,824, past its end"},
        {"info past the end", [](MlgWriter& w) { w.infoOffset = 0xFFFFFFF0u; }, 0, "its info block begins at byte 4,294,967,280, past its end"},
        {"65,535 fields", [](MlgWriter& w) { w.fieldCount = 65535; }, 0, "declares 65,535 fields, but it ends inside their descriptors"},
        {"record length 0", [](MlgWriter& w) { w.recordLength = 0; }, 0, "its record length is 0"},
        {"data in the descriptors", [](MlgWriter& w) { w.dataOffset = 40; }, 0, "its data begins at byte 40, inside its header and field descriptors"},
        {"info in the header", [](MlgWriter& w) { w.infoOffset = 10; }, 0, "its info block begins at byte 10, inside its header"},
        {"info in the data", [](MlgWriter& w) { w.infoOffset = static_cast<std::uint32_t>(w.rightDataOffset() + 3); }, 0, "inside its data"},
        {"version 3", [](MlgWriter& w) { w.version = 3; }, 0, "it is MLG version 3; versions 1 and 2 are read"},
        {"version 0", [](MlgWriter& w) { w.version = 0; }, 0, "MLG version 0"},
        {"header cut", [](MlgWriter&) {}, 15, "it ends inside its header, after 15 of its 24 bytes"},
        {"magic alone", [](MlgWriter&) {}, 6, "it ends inside its header, after 6 bytes"},
        {"descriptors cut", [](MlgWriter&) {}, 24 + 89 + 40, "declares 2 fields, but it ends inside their descriptors"},
    };
    for (const Case& c : cases) {
        MlgWriter w = twoFieldLog();
        w.info("\"sig\"\n");
        w.record({0, 800}).record({1, 900});
        c.change(w);
        std::string bytes = w.bytes();
        if (c.keep)
            bytes.resize(c.keep);
        const ReadResult result = readMlg(bytes);
        EXPECT_FALSE(result.ok()) << c.what;
        EXPECT_EQ(result.error.rfind("Cannot read 'x.mlg': ", 0), 0u) << c.what << ": " << result.error;
        EXPECT_NE(result.error.find(c.says), std::string::npos) << c.what << ": " << result.error;
    }
    MlgWriter badType(2, {{kU16, "RPM"}, {9, "Odd"}});
    const ReadResult result = readMlg(badType.bytes());
    EXPECT_EQ(result.error, "Cannot read 'x.mlg': field 1 ('Odd') has type 9, which is no MLG field type");
}

TEST(MlgRefusals, TheFileNameIsQuotedAsEveryReaderQuotesIt)
{
    MlgWriter w = twoFieldLog();
    w.recordLength = 0;
    const ReadResult result = readMlg(w.bytes(), "odd\n\x1b[31m.mlg");
    EXPECT_EQ(result.error, "Cannot read 'odd\\n\\x1b[31m.mlg': its record length is 0");
}

TEST(MlgRefusals, ReadFromAFileTheMessageNamesItsPath)
{
    TempLogs logs;
    MlgWriter w = twoFieldLog();
    w.record({0, 800});
    const std::string good = logs.write("drive.mlg", w.bytes());
    const ReadResult read = dlv::readLog(good);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.log->format(), LogFormat::Mlg);
    EXPECT_EQ(column(*read.log, 1), std::vector<double>{800});
    w.fieldCount = 65535;
    const std::string bad = logs.write("bad.mlg", w.bytes());
    const ReadResult refused = dlv::readLog(bad);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.error.rfind("Cannot read '" + bad + "': ", 0), 0u) << refused.error;
}

// ------------------------------------------------------------ detection and details

TEST(MlgDetection, TheMagicBytesTellAnMlgFile)
{
    const std::string bytes = twoFieldLog().bytes();
    EXPECT_TRUE(dlv::looksLikeMlg(bytes));
    EXPECT_TRUE(dlv::looksLikeMlg(std::string("MLVLG\0", 6)));
    EXPECT_FALSE(dlv::looksLikeMlg("MLVLG"));
    EXPECT_FALSE(dlv::looksLikeMlg("MLVLGX\x00\x02"));
    EXPECT_FALSE(dlv::looksLikeMlg("title\nTime,RPM\n0,800\n"));
    EXPECT_EQ(dlv::detectLogFormat(bytes), LogFormat::Mlg);
    EXPECT_NE(dlv::detectLogFormat("MLVLG log\nTime,RPM\n0,800\n"), LogFormat::Mlg);
    // Named as MLG, a text log is refused rather than read as garbage.
    const ReadResult text = dlv::readLogBytes("title\nTime,RPM\n0,800\n", LogFormat::Mlg, "t.csv");
    EXPECT_FALSE(text.ok());
    EXPECT_EQ(text.error, "Cannot read 't.csv': it does not begin with \"MLVLG\" as MLG logs do");
}

TEST(MlgDetails, SummaryCountsWithGrammarAndGroupedDigits)
{
    MlgWriter one(1, {{kU08, "x"}});
    one.record({1});
    EXPECT_EQ(readMlg(one.bytes()).log->details().summary, "MLG 1, 1 channel, 1 record, 0 markers");
    MlgWriter many = twoFieldLog();
    for (int t = 0; t < 1200; ++t)
        many.record({t * 0.1, 800});
    many.marker("only");
    EXPECT_EQ(readMlg(many.bytes()).log->details().summary, "MLG 2, 2 channels, 1,200 records, 1 marker");
}

TEST(MlgDetails, InfoBlockTimeStampAndRecordLength)
{
    MlgWriter w = twoFieldLog();
    w.timeStamp(1700000000);
    w.info("\"rusEFI master.2024.01.01.f407-discovery.1234\"\r\n"
           "\"Capture Date: Tue Nov 14 22:13:20 UTC 2023\"\r\n"
           "# logged at 50 Hz\r\n\r\n");
    w.record({0, 800});
    const ReadResult result = readMlg(w.bytes());
    ASSERT_TRUE(result.ok()) << result.error;
    const dlv::LogDetails& d = result.log->details();
    EXPECT_EQ(d.format, LogFormat::Mlg);
    EXPECT_EQ(d.formatName, "MLG 2");
    EXPECT_EQ(d.signature, "rusEFI master.2024.01.01.f407-discovery.1234");
    EXPECT_EQ(d.captureDate, "Tue Nov 14 22:13:20 UTC 2023");
    EXPECT_EQ(moreOf(d, "Info"), "# logged at 50 Hz");
    EXPECT_EQ(moreOf(d, "Time stamp"), "2023-11-14 22:13:20 UTC");
    EXPECT_EQ(moreOf(d, "Record length"), "6 bytes");
    EXPECT_EQ(moreOf(d, "Checksum mismatches"), "none");
}

TEST(MlgDetails, TheTimeChannelByNameOrUnit)
{
    auto timeOf = [](std::vector<MlgFieldSpec> fields) {
        MlgWriter w(2, std::move(fields));
        const ReadResult result = readMlg(w.bytes());
        EXPECT_TRUE(result.ok()) << result.error;
        return result.log->timeChannel();
    };
    auto is = [](std::optional<dlv::TimeChannel> time, long long param, double perUnit) {
        return time && time->param == param && time->secondsPerUnit == perUnit;
    };
    EXPECT_TRUE(is(timeOf({{kU16, "RPM"}, {kF32, "TIME"}}), 1, 1.0));
    EXPECT_TRUE(is(timeOf({{kU16, "RPM", "s"}, {kF32, "time", "ms"}}), 1, 0.001));  // the name first
    EXPECT_TRUE(is(timeOf({{kU16, "RPM"}, {kU32, "Clock", "msec"}}), 1, 0.001));
    EXPECT_TRUE(is(timeOf({{kU32, "Uptime_ms", "sec"}}), 0, 0.001));
    EXPECT_TRUE(is(timeOf({{kU32, "Uptime", "Sec"}}), 0, 1.0));
    EXPECT_FALSE(timeOf({{kU16, "RPM", "rpm"}, {kU16, "Times", "items"}}));
}

// ------------------------------------------------------------ the fuzz target's checks

TEST(MlgFuzzChecks, TheReferenceNoticesALogOfOtherBytes)
{
    MlgWriter w = twoFieldLog();
    w.record({0, 800}).marker("m").record({1, 900});
    const std::string bytes = w.bytes();
    MlgWriter other = twoFieldLog();
    other.record({0, 800}).marker("m").record({1, 901});
    MlgWriter unmarked = twoFieldLog();
    unmarked.record({0, 800}).record({1, 900});
    auto read = [](const std::string& b) { return dlv::readLogBytes(b, LogFormat::Mlg, "fuzz.mlg"); };
    EXPECT_EQ(dlv::fuzzcheck::checkMlgAgainst(bytes, read(bytes)), "");
    EXPECT_NE(dlv::fuzzcheck::checkMlgAgainst(bytes, read(other.bytes())), "");
    EXPECT_NE(dlv::fuzzcheck::checkMlgAgainst(bytes, read(unmarked.bytes())), "");
    EXPECT_NE(dlv::fuzzcheck::checkMlgAgainst(bytes, read(bytes.substr(0, bytes.size() - 1))), "");
    EXPECT_NE(dlv::fuzzcheck::checkMlgAgainst(bytes, read("MLVLG")), "");
}

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The corpus each fuzzing run starts from, and what fuzzing once found.
TEST(MlgFuzzChecks, KeptInputsPassTheCheck)
{
    const std::filesystem::path root(DLV_SOURCE_DIR);
    int corpus = 0;
    for (const auto& dir : {root / "fuzz" / "corpus" / "mlg", root / "tests" / "fuzz_regressions" / "mlg"}) {
        if (!std::filesystem::is_directory(dir))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            EXPECT_EQ(dlv::fuzzcheck::checkMlg(fileBytes(entry.path())), "") << entry.path();
            corpus += dir.parent_path().filename() == "corpus" ? 1 : 0;
        }
    }
    EXPECT_GE(corpus, 8);
}

}  // namespace
