// The reader and the number rule at their limits: counts past 2^31 and 2^32,
// lines over 4 GiB, files the system cannot size, names that would steer a
// terminal, and the warnings about odd logs.
#include "datalog/byte_buffer.h"
#include "datalog/display_text.h"
#include "datalog/line_index.h"
#include "datalog/number.h"
#include "datalog/parallel.h"
#include "datalog/take_store.h"
#include "support/repeated_bytes.h"
#include "support/temp_logs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <string>

using dlv::LineIndex;
using dlv::ReadResult;
using dlv::ReadWarning;
using dlvtest::RepeatedBytes;

namespace {

constexpr std::uint64_t k4G = std::uint64_t{1} << 32;

// The store over a repeated-bytes text, handed over without a copy.
ReadResult readRepeated(RepeatedBytes& text)
{
    const std::size_t size = text.size();
    std::size_t mappingBytes = 0;
    char* mapping = text.release(mappingBytes);
    return dlv::readDataLogBuffer(dlv::ByteBuffer::adopt(mapping, mappingBytes, size), size, "huge.csv");
}

const ReadWarning* findWarning(const ReadResult& result, ReadWarning::Kind kind)
{
    for (const ReadWarning& warning : result.warnings)
        if (warning.kind == kind)
            return &warning;
    return nullptr;
}

}  // namespace

// ------------------------------------------------------------ the line index

TEST(LineIndex, StartsAndAnchorBasesAcross4GiBStepsStayExact)
{
    LineIndex index;
    const std::uint64_t starts[] = {0, (std::uint64_t{1} << 31) - 1, std::uint64_t{1} << 31, k4G - 1, k4G, k4G + 1,
                                    3 * k4G + 7,  // one line of more than 8 GiB: two steps at once
                                    3 * k4G + 7, 5 * k4G};
    for (std::size_t i = 0; i < std::size(starts); ++i)
        index.push(starts[i], starts[i] / 8, static_cast<std::uint16_t>(i));
    ASSERT_EQ(index.size(), std::size(starts));
    for (std::size_t i = 0; i < std::size(starts); ++i) {
        EXPECT_EQ(index.start(i), starts[i]) << i;
        EXPECT_EQ(index.anchorBase(i), starts[i] / 8) << i;
        EXPECT_EQ(index.facts(i), i);
        // A line's length is the difference of two starts: 64-bit, never wrapped.
        if (i > 0) {
            EXPECT_EQ(index.start(i) - index.start(i - 1), starts[i] - starts[i - 1]) << i;
        }
    }
    EXPECT_EQ(index.lineAt(k4G), 4u);
    EXPECT_EQ(index.lineAt(3 * k4G + 8), 7u);
    EXPECT_EQ(index.lineAt(k4G - 2), 2u);
}

TEST(LineIndex, MergingPartsKeepsHighPartsAndShiftsAnchorBases)
{
    LineIndex first;
    LineIndex second;
    first.push(10, 1, 0);
    first.push(k4G - 4, 100, 0);
    first.push(k4G + 20, 200, 0);  // the part's end, dropped in the merge
    second.push(k4G + 20, 300, 0);
    second.push(2 * k4G + 1, k4G + 350, 0);
    second.push(2 * k4G + 9, k4G + 360, 0);
    LineIndex merged;
    merged.append(first, 2, 0);
    merged.append(second, 3, 100);
    ASSERT_EQ(merged.size(), 5u);
    EXPECT_EQ(merged.start(1), k4G - 4);
    EXPECT_EQ(merged.start(2), k4G + 20);
    EXPECT_EQ(merged.start(3), 2 * k4G + 1);
    EXPECT_EQ(merged.anchorBase(2), 200u);
    EXPECT_EQ(merged.anchorBase(3), k4G + 250);
    EXPECT_EQ(merged.anchorBase(4), k4G + 260);
}

TEST(LineIndex, LinesFarApartAndCloseTogetherKeepTheirPositionsInPartsAndMerged)
{
    // Short lines, lines of a few KiB (their groups kept whole, some of them
    // from partway through) and many anchors, over several groups; then the
    // same cut into two parts at a place inside a group and merged.
    struct Line {
        std::uint64_t start, base;
        std::uint16_t facts;
    };
    std::vector<Line> lines;
    std::uint64_t start = 5;
    std::uint64_t base = 3;
    for (std::uint16_t i = 0; i < 1000; ++i) {
        lines.push_back({start, base, i});
        const bool far = (i / 150) % 2 == 1 && i % 7 == 3;
        start += far ? 9000 + i : 40 + i % 5;
        base += i % 97 == 0 ? 70000 : i % 3;
    }
    const auto check = [&lines](const LineIndex& index, const char* what) {
        ASSERT_EQ(index.size(), lines.size()) << what;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(index.start(i), lines[i].start) << what << " line " << i;
            ASSERT_EQ(index.anchorBase(i), lines[i].base) << what << " line " << i;
            ASSERT_EQ(index.facts(i), lines[i].facts) << what << " line " << i;
            ASSERT_EQ(index.lineAt(lines[i].start + 1), i) << what << " line " << i;
        }
    };
    LineIndex whole;
    for (const Line& line : lines)
        whole.push(line.start, line.base, line.facts);
    check(whole, "in one");
    EXPECT_GE(whole.capacityBytes(), LineIndex::bytesFor(lines.size()));

    const std::size_t cut = 3 * LineIndex::kGroup + 17;
    const std::uint64_t shift = 11;
    LineIndex first;
    LineIndex second;
    for (std::size_t i = 0; i <= cut; ++i)  // with the part's end, dropped in the merge
        first.push(lines[i].start, lines[i].base, lines[i].facts);
    for (std::size_t i = cut; i < lines.size(); ++i)
        second.push(lines[i].start, lines[i].base + shift, lines[i].facts);
    LineIndex merged;
    merged.append(first, cut, 0);
    merged.append(second, second.size(), shift);
    check(merged, "merged");
}

// ------------------------------------------------------------ billions of bytes

TEST(HugeField, NumberOfMoreThan2To31DigitsReadsRight)
{
    // 1. and 2^31 + 99 zeros and 1: the digit count passes 2^31 on the way
    // (where 32-bit counts wrapped into the quick path and out of its table).
    // The same count without the point is far too large for a double: the
    // size decision at these counts is checked in NumberRange above.
    RepeatedBytes point({{"1."}, {"", '0', (std::uint64_t{1} << 31) + 99}, {"1"}});
    ASSERT_TRUE(point.ok());
    EXPECT_EQ(dlv::parseNumber(point.view()), 1.0);
}

namespace {

// A log whose take 1 is a line of more than 4 GiB: "5," then zeros, then
// ",6,7,8,9,10,11,12,13": its anchor (comma 7) lies beyond 4 GiB too.
void expectLineOver4GiBRight(const std::string& end)
{
    const std::uint64_t zeros = k4G + 1000;
    RepeatedBytes text({{"t" + end + "A,B" + end + "2,2" + end + "5,"},
                        {"", '0', zeros},
                        {",6,7,8,9,10,11,12,13" + end + "1,0.5" + end}});
    ASSERT_TRUE(text.ok());
    const ReadResult result = readRepeated(text);
    ASSERT_TRUE(result.ok()) << result.error;
    const dlv::TakeStore& store = *result.store;
    ASSERT_EQ(store.takeCount(), 3);
    EXPECT_EQ(store.DataLines(1).size(), 2 + zeros + 20);
    EXPECT_EQ(store.fieldCount(1), 10);
    EXPECT_EQ(store.field(0, 1), "5");
    EXPECT_EQ(store.field(1, 1).size(), zeros);
    EXPECT_EQ(store.field(2, 1), "6");
    EXPECT_EQ(store.field(8, 1), "12");
    EXPECT_EQ(store.field(9, 1), "13");
    EXPECT_EQ(store.field(10, 1), "");
    EXPECT_EQ(store.fieldHint(9, 1), store.field(8, 1).data() - 1);
    EXPECT_EQ(store.Get_Param_data(0, 2), "1");
    EXPECT_EQ(store.Get_Param_data(1, 2), "0.5");
    EXPECT_EQ(store.fieldCount(2), 2);
    EXPECT_EQ(store.maxShownValueBytes(1), dlv::TakeStore::kShownValueBytesLimit);
}

}  // namespace

TEST(HugeLine, LineOver4GiBEndedByLfKeepsEveryField) { expectLineOver4GiBRight("\n"); }

TEST(HugeLine, LineOver4GiBEndedByCrAloneIsReadNotRefused) { expectLineOver4GiBRight("\r"); }

// ------------------------------------------------------------ numbers in a log

TEST(NumberRangeInALog, TooLargeIsNotANumberAndTooSmallIsZero)
{
    const std::string zeros(400, '0');
    const ReadResult result = dlv::readDataLogBytes("t\nA,B\n1" + zeros + "e-1,0." + zeros + "1\n5,5\n");
    ASSERT_TRUE(result.ok());
    EXPECT_FALSE(dlv::parseNumber(*result.store->Get_Param_data(0, 0)).has_value());
    EXPECT_EQ(dlv::parseNumber(*result.store->Get_Param_data(1, 0)), 0.0);
}

// ------------------------------------------------------------ files and names

TEST(Files, FilesThatCannotBeSizedAreReadAsStreams)
{
    // /proc files say they hold 0 bytes; this one has many lines.
    const ReadResult result = dlv::readDataLog("/proc/self/status");
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_GT(result.store->takeCount(), 5);
    EXPECT_GT(result.store->fileBytes(), 100u);
}

TEST(Messages, ControlBytesOfANameAreEscaped)
{
    const std::string name = "no\nsuch\x1b[31mred\t\\.csv";
    EXPECT_EQ(dlv::quotedText(name), "no\\nsuch\\x1b[31mred\\t\\\\.csv");
    EXPECT_EQ(dlv::quotedText("m\xE9sure\x7F"), "m\xC3\xA9sure\\x7f");
    dlvtest::TempLogs logs;
    const std::string error = dlv::readDataLog(logs.path(name)).error;
    EXPECT_EQ(error.find_first_of("\n\x1b\t"), std::string::npos) << error;
    EXPECT_NE(error.find("no\\nsuch\\x1b[31mred"), std::string::npos) << error;
}

TEST(Messages, CountsAreGroupedByThousands)
{
    EXPECT_EQ(dlv::groupedCount(0), "0");
    EXPECT_EQ(dlv::groupedCount(999), "999");
    EXPECT_EQ(dlv::groupedCount(3412), "3,412");
    EXPECT_EQ(dlv::groupedCount(1000000), "1,000,000");
    EXPECT_EQ(dlv::groupedCount(std::numeric_limits<std::uint64_t>::max()), "18,446,744,073,709,551,615");
}

// ------------------------------------------------------------ warnings

TEST(Warnings, AnOrdinaryLogHasNone)
{
    EXPECT_TRUE(dlv::readDataLogBytes("t\nA,B\n1,2\n3,4\n").warnings.empty());
    EXPECT_TRUE(dlv::readDataLogBytes("t\x01\nA,B\n1,\t2\n").warnings.empty());  // the title is never used
}

TEST(Warnings, TakesWithFewerOrMoreFieldsAreCounted)
{
    std::string log = "t\nA,B,C\n";
    for (int t = 0; t < 3412; ++t)
        log += "1,2\n";
    log += "1,2,3\n1,2,3,4\n\n";
    const ReadResult result = dlv::readDataLogBytes(log);
    ASSERT_TRUE(result.ok());
    const ReadWarning* fewer = findWarning(result, ReadWarning::Kind::FewerFieldsThanNames);
    ASSERT_NE(fewer, nullptr);
    EXPECT_EQ(fewer->count, 3413u);  // the empty line has one field
    EXPECT_EQ(fewer->message, "3,413 takes have fewer fields than the names line");
    const ReadWarning* more = findWarning(result, ReadWarning::Kind::MoreFieldsThanNames);
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(more->message, "1 take has more fields than the names line");
    EXPECT_EQ(result.warnings.size(), 2u);
}

TEST(Warnings, FieldCountsAddUpOverPartsOfABigLog)
{
    // Big enough to be indexed in parts on every core.
    std::string log = "t\nA,B\n";
    std::uint64_t fewer = 0;
    for (int t = 0; log.size() < (40u << 20); ++t) {
        const bool short_ = t % 7 == 0;
        fewer += short_;
        log += short_ ? "123456789\n" : "123456789,123456789\r\n";
    }
    const ReadResult result = dlv::readDataLogBytes(log);
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0].kind, ReadWarning::Kind::FewerFieldsThanNames);
    EXPECT_EQ(result.warnings[0].count, fewer);
}

TEST(Warnings, ATrailingCommaOnTheNamesAndTheTakesIsNoFieldMore)
{
    // A logger that ends every line in a comma: read whole, from the file,
    // and streamed in chunks of a few lines, indexed both ways.
    const std::string path = std::string(DLV_SOURCE_DIR) + "/tests/data/trailing_commas.csv";
    const ReadResult file = dlv::readDataLog(path);
    ASSERT_TRUE(file.ok()) << file.error;
    EXPECT_TRUE(file.warnings.empty()) << file.warnings.front().message;
    EXPECT_EQ(file.store->takeCount(), 3);
    std::string log = "t\nA,B,\n";
    for (int t = 0; t < 40; ++t)
        log += "1,2,\n";
    for (const dlv::ChunkIndex index : {dlv::ChunkIndex::Fields, dlv::ChunkIndex::Lines}) {
        const auto streamed = dlv::streamDataLogBytes(log, 64, [](const dlv::TakeStore&, int) {}, index);
        ASSERT_TRUE(streamed.has_value());
        EXPECT_TRUE(streamed->empty());
    }

    // Every other case still warns: a field after the comma that is not
    // empty, two commas at the end, and takes that end in a comma under a
    // names line that does not.
    const auto more = [](const std::string& bytes) -> std::uint64_t {
        const ReadResult result = dlv::readDataLogBytes(bytes);
        const ReadWarning* warning = findWarning(result, ReadWarning::Kind::MoreFieldsThanNames);
        return warning ? warning->count : 0;
    };
    EXPECT_EQ(more("t\nA,B,\n1,2,\n1,2,3\n1,2,,\n1,2\n"), 2u);
    EXPECT_EQ(more("t\nA,B\n1,2,\n1,2,\n"), 2u);
    EXPECT_EQ(more("t\nA,,\n1,\n"), 1u);  // the names end at the first empty field, not at a final comma
}

TEST(Warnings, NamesLineWithoutCommasSaysWhatItLooksSeparatedBy)
{
    auto kinds = [](const std::string& log) {
        std::vector<ReadWarning::Kind> found;
        for (const ReadWarning& warning : dlv::readDataLogBytes(log).warnings)
            found.push_back(warning.kind);
        return found;
    };
    using K = ReadWarning::Kind;
    EXPECT_EQ(kinds("t\nTime;RPM;MAP\n1;2;3\n"), std::vector<K>{K::NamesSeparatedBySemicolon});
    EXPECT_EQ(kinds("t\nTime\tRPM\tMAP\n1\t2\t3\n"), std::vector<K>{K::NamesSeparatedByTab});
    EXPECT_EQ(kinds("t\nTime\n1\n"), std::vector<K>{K::NoCommaInNames});
    const ReadResult semicolons = dlv::readDataLogBytes("t\nA;B;C\n1\n");
    ASSERT_EQ(semicolons.warnings.size(), 1u);
    EXPECT_EQ(semicolons.warnings[0].message, "the names line looks separated by ';' (2 of them), not by commas");
}

TEST(Warnings, ControlBytesAreCountedWhereverTheyStand)
{
    // In 64-byte blocks and in the tail after the last whole block, and in the names.
    std::string log = "t\nA,B\x01\n";
    log += std::string(100, 'x') + "," + std::string(3, '\0') + "\n";
    log += "1,\x1b[31m\t2\n";
    const ReadResult result = dlv::readDataLogBytes(log);
    const ReadWarning* control = findWarning(result, ReadWarning::Kind::ControlBytes);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->count, 5u);
    EXPECT_EQ(control->message, "5 bytes are NUL or another control character (the first in the names line)");
    const ReadResult zeros = dlv::readDataLogBytes("t\nA\n1\n2" + std::string(1000, '\0'));
    ASSERT_NE(findWarning(zeros, ReadWarning::Kind::ControlBytes), nullptr);
    EXPECT_EQ(findWarning(zeros, ReadWarning::Kind::ControlBytes)->message,
              "1,000 bytes are NUL or another control character (the first in line 4)");
}

// ------------------------------------------------------------ threads

TEST(Parallel, TheNumberOfCoresIsAskedOnce)
{
    // Reading /sys/devices/system/cpu/online once per call made a million-name
    // report take seconds: count the read calls the process makes.
    auto readCalls = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        std::uint64_t value = 0;
        while (io >> key >> value)
            if (key == "syscr:")
                return value;
        return std::uint64_t{0};
    };
    (void)dlv::partCount(1000, 1);
    const std::uint64_t before = readCalls();
    std::size_t sum = 0;
    for (int i = 0; i < 10000; ++i)
        sum += dlv::partCount(1000, 1);
    const std::uint64_t after = readCalls();
    EXPECT_GT(sum, 0u);
    EXPECT_LT(after - before, 100u);
}
