// The numeric column layer: whole columns, the block pass, the cache, and the
// sum every average is made of.
#include "datalog/columns.h"
#include "datalog/number.h"
#include "datalog/ordered_sum.h"
#include "datalog/take_store.h"
#include "support/any_processor.h"
#include "views/curve.h"

#include "../../fuzz/fuzz_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using dlv::Column;
using dlv::ColumnPtr;

std::shared_ptr<const dlv::TakeStore> readLog(const std::string& bytes)
{
    dlv::ReadResult result = dlv::readDataLogBytes(bytes, "log");
    EXPECT_TRUE(result.ok()) << result.error;
    return result.store;
}

// A log of `fields` named parameters whose takes hold the texts given in
// order, `fields` to a line (the last line may be shorter).
std::shared_ptr<const dlv::TakeStore> logOfTexts(int fields, const std::vector<std::string>& texts)
{
    std::string log = "title\n";
    for (int f = 0; f < fields; ++f)
        log += (f ? ",N" : "N") + std::to_string(f);
    log += '\n';
    for (std::size_t i = 0; i < texts.size(); ++i)
        log += texts[i] + ((i + 1) % static_cast<std::size_t>(fields) == 0 || i + 1 == texts.size() ? "\n" : ",");
    return readLog(log);
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// What every way of reading must give: parseNumber of the field, NaN for none.
::testing::AssertionResult columnsFollowTheNumberRule(const dlv::TakeStore& store, const std::vector<long long>& params,
                                                      const std::vector<Column>& columns)
{
    for (std::size_t k = 0; k < params.size(); ++k)
        for (int t = 0; t < store.takeCount(); ++t) {
            const std::string_view text = params[k] < 0 ? std::string_view{} : store.field(params[k], t);
            const std::optional<double> want = dlv::parseNumber(text);
            const double got = columns[k][static_cast<std::size_t>(t)];
            if (want ? !sameBits(got, *want) : !std::isnan(got))
                return ::testing::AssertionFailure() << "parameter " << params[k] << " of take " << t << " '" << text
                                                     << "' read as " << got;
        }
    return ::testing::AssertionSuccess();
}

// Every text of up to four characters over the characters that matter to the
// number rule: the short-number shortcut must agree with parseNumber on all.
std::vector<std::string> shortTexts()
{
    const std::string alphabet = "019.-+ e";
    std::vector<std::string> texts{""};
    for (std::size_t begin = 0, length = 1; length <= 4; ++length) {
        const std::size_t end = texts.size();
        for (std::size_t i = begin; i < end; ++i)
            for (const char c : alphabet)
                texts.push_back(texts[i] + c);
        begin = end;
    }
    // Eight-byte and longer plain numbers, and ones that are not.
    for (const char* text : {"12345678", "1234567.", ".1234567", "-1234567", "-.123456", "123456789", "-12345678",
                             "1.2.3", "99999999", "0.000001", "00000000", "-0", "7", "1,5"})
        texts.push_back(text);
    // Every number of up to three digits with a point at each place, with
    // and without a sign ("22.6", "-.05", "999."): read from a table of
    // quotients, which must hold parseNumber's very bits.
    for (int v = 0; v < 1000; v += v < 120 ? 1 : 7)
        for (const std::string& digits : {std::to_string(v), std::string(v < 10 ? "00" : v < 100 ? "0" : "") +
                                                                std::to_string(v)})
            for (std::size_t at = 0; at <= digits.size(); ++at)
                for (const char* sign : {"", "-"})
                    texts.push_back(sign + digits.substr(0, at) + "." + digits.substr(at));
    // Whole numbers of every length beside bytes just outside the digits
    // ('/' and ':') and bytes of 128 and above, at every place.
    for (const char* digits : {"7", "42", "907", "1234", "12345", "123456", "1234567", "12345678"})
        for (const char odd : {'/', ':', '\x80', '\xb9', '\xff'}) {
            const std::string whole = digits;
            texts.push_back(whole);
            for (std::size_t at = 0; at <= whole.size() && whole.size() < 8; ++at)
                texts.push_back(whole.substr(0, at) + odd + whole.substr(at));
            texts.push_back(whole.substr(0, whole.size() - 1) + odd);
        }
    return texts;
}

}  // namespace

// ------------------------------------------------------------ parsing

TEST(ParseColumns, EveryFieldFollowsTheNumberRuleWhetherWalkedOrPicked)
{
    const std::vector<std::string> texts = shortTexts();
    // Comma-free texts only: a comma would shift the fields.
    std::vector<std::string> fields;
    for (const std::string& text : texts)
        if (text.find(',') == std::string::npos)
            fields.push_back(text);
    for (const int width : {1, 7, 64}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const auto store = logOfTexts(width, fields);
        ASSERT_TRUE(store);
        std::vector<long long> every(static_cast<std::size_t>(width + 2));
        std::iota(every.begin(), every.end(), 0LL);  // walked: every field and two past the names
        EXPECT_TRUE(columnsFollowTheNumberRule(*store, every, dlv::parseColumns(*store, every)));
        const std::vector<long long> few{width - 1, width / 2};  // picked from the comma index when wide
        EXPECT_TRUE(columnsFollowTheNumberRule(*store, few, dlv::parseColumns(*store, few)));
        for (const long long alone : {0, 1, width - 1, width + 1}) {  // a curve's column: always picked
            const std::vector<long long> one{alone};
            EXPECT_TRUE(columnsFollowTheNumberRule(*store, one, dlv::parseColumns(*store, one))) << "field " << alone;
        }
    }
}

TEST(ParseColumns, FieldsAtTheEndOfLinesAndBeyondThem)
{
    // Short numbers at the very end of a line and of the file: nothing past
    // the line may be read into them.
    const auto store = readLog("t\nA,B,C\n1,22,3\n4,5\n,,\n7,8,9.5");
    ASSERT_TRUE(store);
    const std::vector<long long> params{2, 0, 1, 5, -3, 2};
    const std::vector<Column> columns = dlv::parseColumns(*store, params);
    ASSERT_EQ(columns.size(), params.size());
    EXPECT_EQ(columns[0][0], 3.0);
    EXPECT_TRUE(std::isnan(columns[0][1]));  // take 1 has no field 2
    EXPECT_TRUE(std::isnan(columns[0][2]));  // an empty field
    EXPECT_EQ(columns[0][3], 9.5);
    EXPECT_EQ(columns[2][0], 22.0);
    for (const double v : columns[3])
        EXPECT_TRUE(std::isnan(v));  // beyond every line
    for (const double v : columns[4])
        EXPECT_TRUE(std::isnan(v));  // negative
    EXPECT_TRUE(std::equal(columns[0].begin(), columns[0].end(), columns[5].begin(), sameBits));  // asked twice
    EXPECT_TRUE(columnsFollowTheNumberRule(*store, params, columns));
    for (std::size_t k = 0; k < params.size(); ++k) {
        const std::vector<Column> alone = dlv::parseColumns(*store, std::span<const long long>(&params[k], 1));
        EXPECT_TRUE(std::equal(columns[k].begin(), columns[k].end(), alone.front().begin(), sameBits)) << params[k];
    }
}

TEST(ParseColumns, LogWithoutTakesOrWithoutParameters)
{
    const auto empty = readLog("t\nA,B\n");
    ASSERT_TRUE(empty);
    const std::vector<long long> params{0, 1};
    const std::vector<Column> columns = dlv::parseColumns(*empty, params);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_TRUE(columns[0].empty());
    int blocks = 0;
    dlv::forEachColumnBlock(*empty, params, [&](const dlv::ColumnBlock&) { ++blocks; });
    EXPECT_EQ(blocks, 0);

    const auto store = readLog("t\nA\n1\n2\n");
    ASSERT_TRUE(store);
    EXPECT_TRUE(dlv::parseColumns(*store, {}).empty());
}

// ------------------------------------------------------------ the block pass

TEST(ColumnBlocks, CoverEveryTakeOnceInTakeOrderWhateverTheBlockSize)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 3 * 5000; ++i)
        texts.push_back(i % 11 == 0 ? "x" : std::to_string(i % 977) + "." + std::to_string(i % 7));
    const auto store = logOfTexts(3, texts);
    ASSERT_TRUE(store);
    const std::vector<long long> params{2, 0};
    const std::vector<Column> whole = dlv::parseColumns(*store, params);
    for (const std::size_t blockBytes : {std::size_t{1}, std::size_t{8 * 2 * 7}, std::size_t{1} << 20}) {
        SCOPED_TRACE("block bytes " + std::to_string(blockBytes));
        int next = 0;
        int blocks = 0;
        dlv::forEachColumnBlock(
            *store, params,
            [&](const dlv::ColumnBlock& block) {
                ASSERT_EQ(block.firstTake(), next);
                ASSERT_GE(block.takeCount(), 1);
                for (std::size_t k = 0; k < params.size(); ++k)
                    for (int i = 0; i < block.takeCount(); ++i)
                        ASSERT_TRUE(sameBits(block.column(k)[static_cast<std::size_t>(i)],
                                             whole[k][static_cast<std::size_t>(block.firstTake() + i)]));
                next += block.takeCount();
                ++blocks;
            },
            blockBytes);
        EXPECT_EQ(next, store->takeCount());
        if (blockBytes == 1) {
            EXPECT_EQ(blocks, store->takeCount());  // at least one take a block
        }
    }
}

TEST(ColumnBlocks, AnErrorInTheConsumerEndsThePass)
{
    const auto store = logOfTexts(1, std::vector<std::string>(100, "1"));
    ASSERT_TRUE(store);
    int blocks = 0;
    const std::vector<long long> params{0};
    EXPECT_THROW(dlv::forEachColumnBlock(
                     *store, params,
                     [&](const dlv::ColumnBlock&) {
                         if (++blocks == 3)
                             throw std::runtime_error("stop");
                     },
                     8 * 10),
                 std::runtime_error);
    EXPECT_EQ(blocks, 3);
}

TEST(ColumnBlocks, SummariesAddedBlockByBlockEqualThoseOfTheWholeSeriesToTheBit)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 20000; ++i)
        texts.push_back(i % 5 == 0 ? "" : "0." + std::to_string((i * 7919) % 1000));
    const auto store = logOfTexts(1, texts);
    ASSERT_TRUE(store);
    const std::vector<long long> params{0};
    const dlv::ParamSeries series = dlv::extractParamSeries(*store, 0);
    const dlv::CurveSummary want = dlv::summarizeSeries(series);
    dlv::SummaryAccumulator accumulator;
    dlv::forEachColumnBlock(
        *store, params, [&](const dlv::ColumnBlock& block) { accumulator.add(block.firstTake(), block.column(0)); },
        8 * 333);
    const dlv::CurveSummary got = accumulator.summary();
    EXPECT_EQ(got.count, want.count);
    EXPECT_EQ(got.maxTake, want.maxTake);
    EXPECT_EQ(got.minTake, want.minTake);
    EXPECT_TRUE(sameBits(got.average, want.average));
}

// ------------------------------------------------------------ the pass split by parameters

namespace {

// 3,000 takes of 40 names whose lines hold from none to 44 fields, numbers
// and not.
std::string raggedLog()
{
    std::string log = "title\n";
    for (int f = 0; f < 40; ++f)
        log += (f ? ",P" : "P") + std::to_string(f);
    log += '\n';
    for (int t = 0; t < 3000; ++t) {
        const int fields = t % 97 == 0 ? 1 + t % 7 : t % 89 == 0 ? 44 : 40;
        for (int f = 0; f < fields; ++f) {
            if (f > 0)
                log += ',';
            const int v = (t * 31 + f * 17) % 1013;
            log += v % 23 == 0 ? "x" : v % 5 == 0 ? std::to_string(v - 500) + "." + std::to_string(f % 10)
                                                   : std::to_string(v);
        }
        log += '\n';
    }
    return log;
}

const std::vector<std::vector<long long>>& paramSets()
{
    static const std::vector<std::vector<long long>> sets = [] {
        std::vector<long long> every(42);
        std::iota(every.begin(), every.end(), 0LL);  // every name and two beyond
        std::vector<long long> late(23);
        std::iota(late.begin(), late.end(), 17LL);  // a run that starts mid-line
        return std::vector<std::vector<long long>>{every, late, {-1, 5, 39, 5, 2, 43}, {0}, {41}};
    }();
    return sets;
}

}  // namespace

TEST(ParseColumns, ParametersBeyondTheFieldsOfEveryTakeHoldNoNumberWhereverTheyStand)
{
    // The ragged log's longest takes have 44 fields: 44 and 300 are in none,
    // 43 in a few. Walked with the fields before them (as the report asks
    // for the BLM fields of a narrow log), in rows and in columns, and
    // picked; in chunks indexed by their lines alone as well.
    std::vector<long long> walked(44);
    std::iota(walked.begin(), walked.end(), 0LL);
    // The report's own shape too: every field once in order, then those
    // beyond, whose rows' slots the walk fills as it goes.
    std::vector<long long> inOrder = walked;
    inOrder.insert(inOrder.end(), {300, 44});
    walked.insert(walked.end(), {300, 44, 2});
    const std::vector<std::vector<long long>> sets{walked, inOrder, {300, 44, 43, 5}, {44}, {-1, 300}};
    const auto check = [&](const dlv::TakeStore& store) {
        for (const std::vector<long long>& params : sets) {
            SCOPED_TRACE(std::to_string(params.size()) + " parameters from " + std::to_string(params.front()));
            const std::vector<Column> columns = dlv::parseColumns(store, params);
            EXPECT_TRUE(columnsFollowTheNumberRule(store, params, columns));
            EXPECT_EQ(dlv::fuzzcheck::checkParamRows(store, params, columns, 0, store.takeCount(), 8 * 47 * 5), "");
        }
    };
    const auto store = readLog(raggedLog());
    ASSERT_TRUE(store);
    ASSERT_EQ(store->mostFields(), 44);
    check(*store);
    int chunks = 0;
    (void)dlv::streamDataLogBytes(
        raggedLog(), 8192,
        [&](const dlv::TakeStore& chunk, int) {
            ++chunks;
            check(chunk);
        },
        dlv::ChunkIndex::Lines);
    EXPECT_GT(chunks, 10);
}

TEST(ParamRuns, HandEachParameterItsTakesOnceInOrderOnOneThread)
{
    const auto store = readLog(raggedLog());
    ASSERT_TRUE(store);
    const int takes = store->takeCount();
    for (const std::vector<long long>& params : paramSets()) {
        const std::vector<Column> whole = dlv::parseColumns(*store, params);
        for (const std::size_t blockBytes : {std::size_t{1}, std::size_t{8 * 3 * 7}, dlv::kParamRunBlockBytes}) {
            SCOPED_TRACE(std::to_string(params.size()) + " parameters from " + std::to_string(params.front()) +
                         ", block bytes " + std::to_string(blockBytes));
            EXPECT_EQ(dlv::fuzzcheck::checkParamRuns(*store, params, whole, 0, takes, blockBytes), "");
            EXPECT_EQ(dlv::fuzzcheck::checkParamRuns(*store, params, whole, 1001, 1234, blockBytes), "");
            EXPECT_EQ(dlv::fuzzcheck::checkParamRuns(*store, params, whole, 7, 0, blockBytes), "");
        }
    }
}

TEST(ParamRuns, WalkChunksIndexedByTheirLinesAlikeFromAnyField)
{
    // Such chunks have no comma index: every run is walked, the later ones
    // skipping the fields before theirs.
    const std::string log = raggedLog();
    int chunks = 0;
    const auto warnings = dlv::streamDataLogBytes(
        log, 4096,
        [&](const dlv::TakeStore& chunk, int) {
            ++chunks;
            for (const std::vector<long long>& params : paramSets()) {
                const std::vector<Column> whole = dlv::parseColumns(chunk, params);
                EXPECT_EQ(dlv::fuzzcheck::checkParamRuns(chunk, params, whole, 0, chunk.takeCount(), 8 * 5 * 11), "");
            }
        },
        dlv::ChunkIndex::Lines);
    EXPECT_TRUE(warnings.has_value());
    EXPECT_GT(chunks, 10);
}

TEST(ParseColumns, TheCopyForAnyProcessorGivesTheSameBitsAsTheOneForNewerOnes)
{
    std::vector<std::string> fields;
    for (const std::string& text : shortTexts())
        if (text.find(',') == std::string::npos)
            fields.push_back(text);
    const std::vector<std::shared_ptr<const dlv::TakeStore>> stores{logOfTexts(64, fields), readLog(raggedLog())};
    for (const auto& store : stores) {
        ASSERT_TRUE(store);
        std::vector<std::vector<long long>> sets = paramSets();
        std::vector<long long> every(70);
        std::iota(every.begin(), every.end(), 0LL);
        sets.push_back(every);        // walked
        sets.push_back({40, 3});      // picked
        sets.push_back({63});         // picked alone
        for (const std::vector<long long>& params : sets) {
            SCOPED_TRACE(std::to_string(params.size()) + " parameters from " + std::to_string(params.front()));
            const std::vector<Column> wide = dlv::parseColumns(*store, params);
            std::vector<Column> any;
            {
                const dlvtest::AnyProcessorOnly anyProcessor;
                EXPECT_FALSE(dlv::useWideInstructions());
                any = dlv::parseColumns(*store, params);
            }
            ASSERT_EQ(wide.size(), any.size());
            for (std::size_t k = 0; k < wide.size(); ++k)
                EXPECT_TRUE(std::equal(wide[k].begin(), wide[k].end(), any[k].begin(), any[k].end(), sameBits))
                    << "parameter " << params[k];
        }
    }
}

TEST(ParseColumns, ACurvesColumnOfShortLinesFollowsTheNumberRuleInEitherCopy)
{
    // One field alone of short lines is found a block of takes at a time
    // and its numbers parsed four at once: random texts, mostly numbers
    // and near misses, NUL bytes among them, over more takes than a part
    // of a parallel parse and not a whole number of blocks.
    std::mt19937 random(20261208);
    const std::string alphabet("0123456789.-+ e\0\x80", 17);
    const auto text = [&] {
        std::string t;
        const auto length = random() % 11;
        for (std::uint32_t i = 0; i < length; ++i)
            t += random() % 4 ? alphabet[random() % 10] : alphabet[random() % alphabet.size()];
        return t;
    };
    for (const int width : {1, 3}) {
        std::vector<std::string> fields;
        for (int i = 0; i < 40003 * width - 1; ++i)  // the last line one field short
            fields.push_back(text());
        const auto store = logOfTexts(width, fields);
        ASSERT_TRUE(store);
        for (long long p = 0; p <= width; ++p) {
            SCOPED_TRACE("width " + std::to_string(width) + ", field " + std::to_string(p));
            const std::vector<long long> one{p};
            EXPECT_TRUE(columnsFollowTheNumberRule(*store, one, dlv::parseColumns(*store, one)));
            const dlvtest::AnyProcessorOnly anyProcessor;
            EXPECT_TRUE(columnsFollowTheNumberRule(*store, one, dlv::parseColumns(*store, one)));
        }
    }
}

TEST(ParseColumns, ACurvesColumnAcrossLineLengthsAndEndsInEitherCopy)
{
    // Lines of every length around 64 bytes, where short lines are cut from
    // one mask of their commas, with up to 70 fields, ended by LF, CR LF or
    // a lone CR, the last one by nothing: each field alone, and one past
    // the longest line, as the number rule reads it.
    std::mt19937 random(64);
    std::string log = "title\nA,B,C,D,E,F,G,H\n";
    const char* const ends[] = {"\n", "\r\n", "\r"};
    for (int t = 0; t < 3000; ++t) {
        const auto wanted = 1 + random() % 80;
        std::string line;
        while (line.size() < wanted) {
            if (!line.empty())
                line += ',';
            line += random() % 5 ? std::to_string(static_cast<int>(random() % 2000) - 500) : std::string(random() % 3, '7');
            if (random() % 3 == 0)
                line += ".5";
        }
        log += line + (t + 1 < 3000 ? ends[random() % 3] : "");
    }
    const auto store = readLog(log);
    ASSERT_TRUE(store);
    for (long long p = 0; p <= 70; ++p) {
        SCOPED_TRACE("field " + std::to_string(p));
        const std::vector<long long> one{p};
        EXPECT_TRUE(columnsFollowTheNumberRule(*store, one, dlv::parseColumns(*store, one)));
        const dlvtest::AnyProcessorOnly anyProcessor;
        EXPECT_TRUE(columnsFollowTheNumberRule(*store, one, dlv::parseColumns(*store, one)));
    }
}

TEST(ParamRows, HandEachTakesRowOnceInOrderOnOneThreadWithTheSummariesOfAdd)
{
    const auto store = readLog(raggedLog());
    ASSERT_TRUE(store);
    const int takes = store->takeCount();
    std::vector<std::vector<long long>> sets = paramSets();
    sets.push_back({3, 4, 5, 6, 7, 8, 9});  // a run of whole columns: four lanes, then three in lanes with a spare
    sets.push_back({3, 4, 5, 6, 7, 8});     // and two with two spares
    std::vector<long long> many(70);         // more than are cut by takes: cut by parameters
    std::iota(many.begin(), many.end(), 0LL);
    sets.push_back(many);
    for (const bool anyProcessor : {false, true}) {
        const dlvtest::AnyProcessorOnly only(anyProcessor);
        for (const std::vector<long long>& params : sets) {
            const std::vector<Column> whole = dlv::parseColumns(*store, params);
            for (const std::size_t blockBytes : {std::size_t{1}, std::size_t{8 * 3 * 7}, dlv::kParamRunBlockBytes}) {
                SCOPED_TRACE(std::to_string(params.size()) + " parameters from " + std::to_string(params.front()) +
                             ", block bytes " + std::to_string(blockBytes) + (anyProcessor ? ", any processor" : ""));
                EXPECT_EQ(dlv::fuzzcheck::checkParamRows(*store, params, whole, 0, takes, blockBytes), "");
                EXPECT_EQ(dlv::fuzzcheck::checkParamRows(*store, params, whole, 1001, 1234, blockBytes), "");
                EXPECT_EQ(dlv::fuzzcheck::checkParamRows(*store, params, whole, 7, 0, blockBytes), "");
            }
        }
    }
}

TEST(ParamRows, SplitTheSlotsWhereTheWalksCostAlike)
{
    // Ten named fields, asked for with three far beyond every line (as the
    // report asks for the BLM fields of a narrow log): the core with the
    // far ones gets more of the near ones too, never a share of nothing.
    std::string log = "t\nA,B,C,D,E,F,G,H,I,J\n";
    for (int t = 0; t < 20000; ++t)
        log += "1,2,3,4,5,6,7,8,9,10\n";
    const auto store = readLog(log);
    ASSERT_TRUE(store);
    std::vector<long long> params(10);
    std::iota(params.begin(), params.end(), 0LL);
    params.insert(params.end(), {224, 236, 247});
    std::vector<std::size_t> firstSlots;
    std::mutex mutex;
    dlv::forEachParamRows(*store, params, 0, store->takeCount(), [&](std::size_t firstSlot, const dlv::RowBlock&) {
        const std::lock_guard lock(mutex);
        if (std::find(firstSlots.begin(), firstSlots.end(), firstSlot) == firstSlots.end())
            firstSlots.push_back(firstSlot);
    });
    std::sort(firstSlots.begin(), firstSlots.end());
    ASSERT_FALSE(firstSlots.empty());
    EXPECT_EQ(firstSlots.front(), 0u);
    EXPECT_LE(firstSlots.back(), 9u) << "the last core holds a named field";
    if (std::thread::hardware_concurrency() >= 2) {
        EXPECT_GE(firstSlots.size(), 2u);
    }
}

TEST(ParamRuns, AnErrorInTheConsumerTravelsOn)
{
    const auto store = readLog(raggedLog());
    ASSERT_TRUE(store);
    const std::vector<long long>& every = paramSets().front();
    std::atomic<int> calls = 0;
    EXPECT_THROW(dlv::forEachParamRun(
                     *store, every, 0, store->takeCount(),
                     [&](std::size_t, const dlv::ColumnBlock&) {
                         if (++calls == 2)
                             throw std::runtime_error("stop");
                     },
                     8 * 100),
                 std::runtime_error);
}

TEST(ParamRows, AnErrorInTheConsumerTravelsOnWhicheverWayTheyAreCut)
{
    const auto store = readLog(raggedLog());
    ASSERT_TRUE(store);
    std::vector<long long> many(70);
    std::iota(many.begin(), many.end(), 0LL);
    for (const std::vector<long long>& params : {paramSets().front(), many}) {
        SCOPED_TRACE(std::to_string(params.size()) + " parameters");
        // Thrown on one core after its first block, and later on every core:
        // no core may wait for ever for one that has left.
        for (const int throwAt : {2, 5}) {
            std::atomic<int> calls = 0;
            EXPECT_THROW(dlv::forEachParamRows(
                             *store, params, 0, store->takeCount(),
                             [&](std::size_t, const dlv::RowBlock&) {
                                 if (++calls >= throwAt)
                                     throw std::runtime_error("stop");
                             },
                             8 * 100),
                         std::runtime_error);
        }
    }
}

// ------------------------------------------------------------ the cache

TEST(ColumnCacheTest, HandsOutTheParsedColumnsAndKeepsThem)
{
    const auto store = readLog("t\nA,B,C\n1,2,3\n4,x,6\n");
    ASSERT_TRUE(store);
    dlv::ColumnCache cache(store);
    const std::vector<long long> params{1, 0, 1};
    const std::vector<ColumnPtr> columns = cache.columns(params);
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_EQ(columns[0], columns[2]);  // the same parameter twice: one column
    EXPECT_EQ((*columns[1]), (Column{1.0, 4.0}));
    EXPECT_EQ((*columns[0])[0], 2.0);
    EXPECT_TRUE(std::isnan((*columns[0])[1]));
    EXPECT_EQ(cache.column(0), columns[1]);  // cached: not parsed again
    EXPECT_EQ(cache.cachedBytes(), 2 * 2 * sizeof(double));
    EXPECT_EQ(&cache.store(), store.get());
}

TEST(ColumnCacheTest, DropsTheLeastRecentlyUsedColumnsBeyondItsBudget)
{
    const auto store = logOfTexts(4, std::vector<std::string>(4 * 100, "5"));
    ASSERT_TRUE(store);
    const std::size_t column = 100 * sizeof(double);
    dlv::ColumnCache cache(store, 2 * column);
    EXPECT_EQ(cache.budgetBytes(), 2 * column);
    const ColumnPtr a = cache.column(0);
    const ColumnPtr b = cache.column(1);
    EXPECT_EQ(cache.column(0), a);  // 0 is now the most recent, 1 the least
    const ColumnPtr c = cache.column(2);
    EXPECT_EQ(cache.cachedBytes(), 2 * column);
    EXPECT_EQ(cache.column(0), a);
    EXPECT_EQ(cache.column(2), c);
    const ColumnPtr b2 = cache.column(1);  // 1 was dropped: parsed anew, and 0 goes now
    EXPECT_NE(b2, b);
    EXPECT_EQ(*b2, *b);  // the column handed out before is still whole
    EXPECT_EQ(cache.cachedBytes(), 2 * column);
    EXPECT_EQ(cache.column(2), c);
    EXPECT_NE(cache.column(0), a);

    // A request larger than the budget keeps only the most recent column.
    const std::vector<long long> all{0, 1, 2, 3};
    const std::vector<ColumnPtr> columns = cache.columns(all);
    EXPECT_EQ(columns.size(), 4u);
    for (const ColumnPtr& p : columns)
        EXPECT_EQ(p->size(), 100u);
    EXPECT_LE(cache.cachedBytes(), 2 * column);
}

TEST(ColumnCacheTest, DefaultBudgetFollowsTheFileSize)
{
    const auto store = logOfTexts(2, std::vector<std::string>(2 * 1000, "123.5"));
    ASSERT_TRUE(store);
    const std::size_t budget = dlv::ColumnCache::defaultBudget(*store);
    EXPECT_GE(budget, store->fileBytes() / 2);
    EXPECT_GE(budget, 64 * 1000 * sizeof(double));  // room for many columns of a small log
    EXPECT_LE(budget, std::size_t{4} << 30);

    // A tall log: a column costs twice the file; the cache does not make
    // room for 64 of them.
    const auto taller = logOfTexts(2, std::vector<std::string>(2 * 2000000, "1"));
    ASSERT_TRUE(taller);
    EXPECT_LT(dlv::ColumnCache::defaultBudget(*taller), 64 * 2000000 * sizeof(double));
    EXPECT_LE(dlv::ColumnCache::defaultBudget(*taller),
              std::max(taller->fileBytes() / 2, dlv::ColumnCache::kSmallLogBudget));
}

namespace {

// A cache over a million takes of three parameters, so that it keeps a spare
// column ready, and by default a budget for one column only: each column
// asked for drops the one before. fresh[p] is parameter p parsed without a
// cache.
struct SparedCache {
    std::shared_ptr<const dlv::TakeStore> store;
    std::vector<Column> fresh;
    dlv::ColumnCache cache;

    explicit SparedCache(std::size_t budgetBytes = 1)
        : store(log()), fresh(dlv::parseColumns(*store, std::vector<long long>{0, 1, 2})), cache(store, budgetBytes)
    {
        cache.keepSpareColumn();
    }

    // Made once for every test that needs it.
    static std::shared_ptr<const dlv::TakeStore> log()
    {
        static const std::shared_ptr<const dlv::TakeStore> made = [] {
            std::vector<std::string> texts;
            for (int i = 0; i < 3 * 1100000; ++i)
                texts.push_back(i % 7 == 0 ? "x" : std::to_string(i % 1000 - 500));
            return logOfTexts(3, texts);
        }();
        return made;
    }

    [[nodiscard]] ::testing::AssertionResult holds(const Column& column, long long param) const
    {
        const Column& want = fresh[static_cast<std::size_t>(param)];
        if (column.size() != want.size())
            return ::testing::AssertionFailure() << column.size() << " takes";
        for (std::size_t t = 0; t < column.size(); ++t)
            if (!sameBits(column[t], want[t]))
                return ::testing::AssertionFailure() << "take " << t << " holds " << column[t];
        return ::testing::AssertionSuccess();
    }
};

}  // namespace

TEST(ColumnCacheTest, ColumnsParsedIntoTheSpareEqualThoseParsedAfresh)
{
    SparedCache spared;
    for (int round = 0; round < 2; ++round)
        for (const long long param : {2, 0, 1})
            EXPECT_TRUE(spared.holds(*spared.cache.column(param), param)) << "param " << param;
}

TEST(ColumnCacheTest, TheSpareServesTheFirstColumnAndIsNotMadeAgain)
{
    // Room for every column and each one held: nothing is dropped or lent,
    // so nothing becomes the spare, and none is made beside the columns held.
    SparedCache spared(8 * SparedCache::log()->takeCount() * sizeof(double));
    dlv::ColumnCache& cache = spared.cache;
    EXPECT_TRUE(cache.holdsSpare());
    std::map<long long, ColumnPtr> held;
    for (const long long param : {1, 0, 2}) {
        held[param] = cache.column(param);
        EXPECT_TRUE(spared.holds(*held[param], param)) << "param " << param;
        EXPECT_FALSE(cache.holdsSpare()) << "after param " << param;
    }
    for (const auto& [param, column] : held)
        EXPECT_EQ(cache.cachedColumn(param), column) << "param " << param;
}

TEST(ColumnCacheTest, ADroppedColumnBecomesTheSpareOnlyWhenNoOneHoldsIt)
{
    SparedCache spared;
    dlv::ColumnCache& cache = spared.cache;

    // Held by the caller when dropped: its numbers stay as they are.
    const ColumnPtr held = cache.column(0);
    ASSERT_TRUE(cache.column(1));  // drops column 0
    ColumnPtr third = cache.column(2);
    EXPECT_NE(third->data(), held->data());
    EXPECT_TRUE(spared.holds(*held, 0));
    EXPECT_TRUE(spared.holds(*third, 2));

    // Held by no one: the next column parsed takes over its memory.
    const double* dropped = third->data();
    third.reset();
    const ColumnPtr first = cache.column(0);
    const ColumnPtr second = cache.column(1);  // the first is held: memory of its own
    EXPECT_EQ(first->data(), dropped);
    EXPECT_NE(second->data(), dropped);
    EXPECT_TRUE(spared.holds(*first, 0));
    EXPECT_TRUE(spared.holds(*second, 1));
}

TEST(ColumnCacheTest, AColumnNoOneElseHoldsLendsItsMemoryToTheNextOne)
{
    // Room for two columns, yet a column its caller let go of is not kept
    // beside the next one: the next is parsed into its memory rather than
    // into fresh pages. Held, the first keeps its numbers and the cache
    // drops it only for the budget.
    const std::size_t columnBytes = SparedCache::log()->takeCount() * sizeof(double);
    for (const bool holdFirst : {false, true}) {
        SCOPED_TRACE(holdFirst ? "first column held" : "first column let go");
        SparedCache spared(2 * columnBytes);
        dlv::ColumnCache& cache = spared.cache;
        ColumnPtr first = cache.column(0);
        const double* firstMemory = first->data();
        if (!holdFirst)
            first.reset();
        const ColumnPtr second = cache.column(1);
        EXPECT_EQ(second->data() == firstMemory, !holdFirst);
        EXPECT_EQ(cache.cachedColumn(0) != nullptr, holdFirst);
        const ColumnPtr third = cache.column(2);  // the others held or gone: memory of its own
        EXPECT_NE(third->data(), second->data());
        EXPECT_NE(third->data(), firstMemory);
        EXPECT_EQ(cache.cachedBytes(), 2 * columnBytes);
        EXPECT_TRUE(spared.holds(*second, 1));
        EXPECT_TRUE(spared.holds(*third, 2));
        if (holdFirst) {
            EXPECT_TRUE(spared.holds(*first, 0));
        }
        EXPECT_TRUE(spared.holds(*cache.column(0), 0));
    }
}

TEST(ColumnCacheTest, ThreadsAskingAtOnceGetEqualColumns)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 8 * 4000; ++i)
        texts.push_back(std::to_string(i));
    const auto store = logOfTexts(8, texts);
    ASSERT_TRUE(store);
    dlv::ColumnCache cache(store, 3 * 4000 * sizeof(double));
    std::vector<std::vector<ColumnPtr>> got(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 20; ++round)
                got[static_cast<std::size_t>(i)].push_back(cache.column((i + round) % 8));
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < 4; ++i)
        for (int round = 0; round < 20; ++round) {
            const Column& column = *got[static_cast<std::size_t>(i)][static_cast<std::size_t>(round)];
            const int p = (i + round) % 8;
            ASSERT_EQ(column.size(), 4000u);
            EXPECT_EQ(column[17], 17.0 * 8 + p);
        }
    EXPECT_LE(cache.cachedBytes(), 3 * 4000 * sizeof(double));
}

// ------------------------------------------------------------ the sum of an average

TEST(OrderedSumTest, AddsAsDoublesInOrder)
{
    // 0.0, 0.1, ..., 1.8 and 750: the double sum gives 38.355, which shows
    // as 38.36; a wider sum lands just below the half.
    dlv::OrderedSum sum;
    for (int i = 0; i <= 18; ++i)
        sum.add(i / 10.0);
    sum.add(750.0);
    EXPECT_EQ(dlv::formatFixed2(sum.mean(20), "."), "38.36");

    // Order matters and is kept: 1e16 + 1 is 1e16 in doubles.
    dlv::OrderedSum ordered;
    for (const double v : {1e16, 1.0, -1e16})
        ordered.add(v);
    EXPECT_EQ(ordered.mean(3), 0.0);
    EXPECT_FALSE(ordered.overflowed());
}

TEST(OrderedSumTest, AnOverflowedSumStillGivesTheAverage)
{
    dlv::OrderedSum sum;
    sum.add(1.5e308);
    sum.add(1.5e308);
    EXPECT_TRUE(sum.overflowed());
    EXPECT_EQ(sum.mean(2), 1.5e308);

    dlv::OrderedSum mixed;
    for (const double v : {1.7e308, 1.7e308, -1.7e308, -1.7e308, 4.0})
        mixed.add(v);
    EXPECT_DOUBLE_EQ(mixed.mean(5), 0.8);  // the plain sum is NaN by now

    dlv::OrderedSum top;
    for (int i = 0; i < 3; ++i)
        top.add(1.7976931348623157e308);
    EXPECT_EQ(top.mean(3), 1.7976931348623157e308);  // never past the largest double
    dlv::OrderedSum bottom(-1.7976931348623157e308);
    bottom.add(-1.7976931348623157e308);
    EXPECT_EQ(bottom.mean(2), -1.7976931348623157e308);
}

// ------------------------------------------------------------ fuzzing

TEST(ColumnsFuzzCheck, KeptAndOddInputsPass)
{
    using namespace std::string_view_literals;
    for (const std::string_view text :
         {""sv, "\x05\x11-1.5,22,.5,7.,-0\n12345678,1.2345678,--1,1..2, 3 \n9,,x,1e3,+4\n"sv, "\x00\x00"sv,
          "\x3F\xFF" "1,2,3\r\n\r\n,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,9\n"sv, "\x01\x02\xFF\xFE,\x00,.\n"sv})
        EXPECT_EQ(dlv::fuzzcheck::checkColumns(text), "") << text;
    const std::filesystem::path dir = std::filesystem::path(DLV_SOURCE_DIR) / "tests" / "fuzz_regressions" / "columns";
    if (std::filesystem::is_directory(dir))
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            EXPECT_EQ(dlv::fuzzcheck::checkColumns(std::string(std::istreambuf_iterator<char>(in), {})), "")
                << entry.path();
        }
}
