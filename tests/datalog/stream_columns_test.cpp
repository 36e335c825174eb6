// Streamed logs against the log read whole: chunks indexed by their lines
// alone hold the same takes and fields, and columns streamed from a file are
// the columns of the whole reading.
#include "datalog/columns.h"
#include "datalog/take_store.h"
#include "support/any_processor.h"
#include "support/odd_logs.h"
#include "support/temp_logs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// A log whose lines end in every way the reader knows, many of them inside
// the 64-byte blocks the index scans, with ragged takes, empty lines and
// control bytes.
std::string raggedLog(int takes, unsigned seed)
{
    std::mt19937 random(seed);
    static const char* const ends[] = {"\n", "\r\n", "\r", "\n\r", "\r\r\n", "\n\n"};
    static const char* const odd[] = {"", " ", "x", "1e3", " 7 ", "-0", "\x01", "0.125", "\t5"};
    const dlvtest::RandomTakes shape{
        12, 5, 30, 9, odd,
        [](std::mt19937& r) { return std::to_string(static_cast<int>(r() % 20000) - 900); },
        [](std::mt19937& r) {
            const std::size_t kinds = r() % 3 == 0 ? std::size(ends) : 1;
            return std::string(ends[r() % kinds]);
        }};
    return "title\nA,B,C,D,E,F,G,H,I,J,K,L\n" + dlvtest::randomTakes(takes, random, shape);
}

// What a store tells of each take: its text, its field count, and every
// field (one before the first and one past the last too), raw and trimmed.
std::vector<std::string> takesOf(const dlv::TakeStore& store)
{
    std::vector<std::string> out;
    for (int t = 0; t < store.takeCount(); ++t) {
        std::string take = std::string(store.DataLines(t)) + "|" + std::to_string(store.fieldCount(t));
        for (long long p = -1; p <= store.fieldCount(t); ++p)
            take += "|" + std::string(store.field(p, t)) + "/" + std::string(*store.Get_Param_data(p, t));
        out.push_back(std::move(take));
    }
    return out;
}

// The takes and warnings of bytes streamed in chunks indexed as kind says.
struct Streamed {
    std::vector<std::string> takes;
    std::string warnings;
    bool ok = false;
};

Streamed streamed(const std::string& bytes, std::size_t chunk, dlv::ChunkIndex kind)
{
    Streamed out;
    const auto warnings = dlv::streamDataLogBytes(
        bytes, chunk,
        [&](const dlv::TakeStore& store, int firstTake) {
            EXPECT_EQ(firstTake, static_cast<int>(out.takes.size()));
            EXPECT_EQ(store.indexesFields(), kind == dlv::ChunkIndex::Fields);
            for (std::string& take : takesOf(store))
                out.takes.push_back(std::move(take));
        },
        kind);
    out.ok = warnings.has_value();
    if (warnings)
        out.warnings = dlvtest::warningsText(*warnings);
    return out;
}

void expectSameTakes(const std::string& bytes, const std::vector<std::size_t>& chunks)
{
    SCOPED_TRACE("log '" + bytes.substr(0, 60) + "'");
    const dlv::ReadResult whole = dlv::readDataLogBytes(bytes, "log");
    if (!whole.ok())
        return;
    const std::vector<std::string> wholeTakes = takesOf(*whole.store);
    for (const std::size_t chunk : chunks) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        const Streamed lines = streamed(bytes, chunk, dlv::ChunkIndex::Lines);
        const Streamed fields = streamed(bytes, chunk, dlv::ChunkIndex::Fields);
        EXPECT_EQ(lines.ok, fields.ok);
        if (!lines.ok)
            continue;
        EXPECT_EQ(lines.takes, wholeTakes);
        EXPECT_EQ(fields.takes, wholeTakes);
        EXPECT_EQ(lines.warnings, dlvtest::warningsText(whole.warnings));
    }
}

// Columns are equal when every value has the same bits (NaN where no number).
void expectSameColumn(const dlv::Column& a, const dlv::Column& b)
{
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

}  // namespace

TEST(StreamedChunks, ChunksIndexedByTheirLinesHoldTheTakesAndFieldsOfTheWholeLog)
{
    std::vector<std::size_t> small;
    for (std::size_t n = 1; n <= 48; ++n)
        small.push_back(n);
    for (const std::string& log : dlvtest::edgeLogs())
        expectSameTakes(log, small);
    // Long enough for the block scan, cut anywhere within its blocks; by
    // both copies of the indexer, for newer processors and for any.
    for (const bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "newer processors" : "any processor");
        const dlvtest::AnyProcessorOnly anyProcessor(!wide);
        for (const unsigned seed : {1u, 2u, 3u})
            expectSameTakes(raggedLog(400, seed), {150, 151, 1000, 4099, 1 << 20});
    }
}

TEST(StreamedChunks, ChunksOfManyLinesAfterChunksOfFewHoldTheirOwnTakesOnly)
{
    // Chunks of megabytes are indexed in parts, in memory the chunk before
    // left: here chunks of short lines, then of lines too long for an index
    // group's steps, then of short ones again, then the last, smaller one.
    std::string log = "title\nA,B,C,D\n";
    const auto add = [&log](std::size_t bytes, std::size_t lineBytes, int seed) {
        for (const std::size_t end = log.size() + bytes; log.size() < end; ++seed) {
            std::string line = std::to_string(seed % 1000) + "," + std::to_string(seed % 7) + ",";
            line += std::string(lineBytes > line.size() + 4 ? lineBytes - line.size() - 4 : 1, '5');
            line += seed % 5 == 0 ? "\n" : ",9\n";
            log += line;
        }
    };
    add(std::size_t{5} << 20, 12, 0);
    add(std::size_t{3} << 20, 70000, 1);
    add(std::size_t{5} << 20, 9, 2);
    add(std::size_t{1} << 20, 30, 3);
    const dlv::ReadResult whole = dlv::readDataLogBytes(log, "log");
    ASSERT_TRUE(whole.ok());
    for (const dlv::ChunkIndex kind : {dlv::ChunkIndex::Lines, dlv::ChunkIndex::Fields}) {
        SCOPED_TRACE(kind == dlv::ChunkIndex::Lines ? "lines" : "fields");
        std::vector<int> chunkTakes;
        std::size_t mismatches = 0;
        const auto warnings = dlv::streamDataLogBytes(
            log, std::size_t{5} << 19,
            [&](const dlv::TakeStore& store, int firstTake) {
                chunkTakes.push_back(store.takeCount());
                for (int t = 0; t < store.takeCount(); ++t) {
                    const int w = firstTake + t;
                    if (w > whole.store->lastTake() || store.DataLines(t) != whole.store->DataLines(w) ||
                        store.fieldCount(t) != whole.store->fieldCount(w) ||
                        store.field(1, t) != whole.store->field(1, w) || store.field(3, t) != whole.store->field(3, w))
                        ++mismatches;
                }
            },
            kind);
        ASSERT_TRUE(warnings.has_value());
        EXPECT_EQ(mismatches, 0u);
        EXPECT_GT(chunkTakes.size(), 4u);
        EXPECT_EQ(std::accumulate(chunkTakes.begin(), chunkTakes.end(), 0), whole.store->takeCount());
    }
}

class StreamColumns : public ::testing::Test {
protected:
    dlvtest::TempLogs m_dir;
};

TEST_F(StreamColumns, GivesTheColumnsOfTheWholeReadingForAnySetOfParameters)
{
    const std::string bytes = raggedLog(3000, 9);
    const std::string path = m_dir.write("log.csv", bytes);
    const dlv::ReadResult whole = dlv::readDataLogBytes(bytes, "log");
    ASSERT_TRUE(whole.ok());
    const std::vector<std::vector<long long>> sets = {
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},  // walked
        {7},                                     // picked
        {11, 2, 2, 25, -1},                      // repeated, beyond the names, negative
        {},
    };
    for (const std::vector<long long>& params : sets) {
        for (const std::size_t chunk : {std::size_t{200}, std::size_t{5000}, std::size_t{1} << 20}) {
            SCOPED_TRACE(std::to_string(params.size()) + " parameters, chunk " + std::to_string(chunk));
            int asked = 0;
            const std::optional<dlv::StreamedColumns> streamed = dlv::streamColumns(
                path,
                [&](const std::vector<std::string>& names) {
                    ++asked;
                    EXPECT_EQ(names, whole.store->ParamNames());
                    return params;
                },
                chunk);
            ASSERT_TRUE(streamed.has_value());
            EXPECT_EQ(asked, 1);
            EXPECT_EQ(streamed->shape.takeCount, whole.store->takeCount());
            EXPECT_EQ(streamed->shape.names, whole.store->ParamNames());
            EXPECT_EQ(streamed->shape.fileBytes, bytes.size());
            EXPECT_EQ(streamed->params, params);
            EXPECT_EQ(dlvtest::warningsText(streamed->warnings), dlvtest::warningsText(whole.warnings));
            const std::vector<dlv::Column> expected = dlv::parseColumns(*whole.store, params);
            ASSERT_EQ(streamed->columns.size(), params.size());
            for (std::size_t k = 0; k < params.size(); ++k)
                expectSameColumn(streamed->columns[k], expected[k]);
        }
    }
}

TEST_F(StreamColumns, LeavesToTheWholeReadingWhatStreamingCannotAnswer)
{
    const auto keepFirst = [](const std::vector<std::string>&) { return std::vector<long long>{0}; };
    EXPECT_FALSE(dlv::streamColumns(m_dir.dir(), keepFirst).has_value()) << "a directory";
    EXPECT_FALSE(dlv::streamColumns(m_dir.path("missing.csv"), keepFirst).has_value());
    const std::string fifo = m_dir.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(dlv::streamColumns(fifo, keepFirst).has_value()) << "a FIFO, not opened";
    const std::string longLine = m_dir.write("long.csv", "t\nA,B\n1,2\n" + std::string(5000, '7') + ",3\n4,5\n");
    EXPECT_FALSE(dlv::streamColumns(longLine, keepFirst, 1000).has_value()) << "a line longer than a chunk";
    EXPECT_TRUE(dlv::streamColumns(longLine, keepFirst, 6000).has_value());
    // What paramsOf throws ends the streaming and travels on.
    EXPECT_THROW((void)dlv::streamColumns(longLine,
                                          [](const std::vector<std::string>&) -> std::vector<long long> {
                                              throw std::bad_alloc();
                                          }),
                 std::bad_alloc);
}

TEST(ColumnCacheOfAShape, ParsesOnlyWhatItDoesNotHold)
{
    std::vector<std::vector<long long>> loads;
    const dlv::LogShape shape{{"A", "B", "C", ""}, 3, 100};
    dlv::ColumnCache cache(shape, [&](std::span<const long long> params, std::vector<dlv::Column>) {
        loads.emplace_back(params.begin(), params.end());
        std::vector<dlv::Column> columns;
        for (const long long p : params)
            columns.push_back(dlv::Column(3, static_cast<double>(p) * 10));
        return columns;
    });
    EXPECT_FALSE(cache.hasStore());
    EXPECT_EQ(cache.takeCount(), 3);
    EXPECT_EQ(cache.paramNames(), shape.names);

    cache.insert(1, dlv::Column{1.5, 2.5, 3.5});
    cache.insert(1, dlv::Column{9, 9, 9});  // a column held stays
    const std::vector<long long> asked{2, 1, 0, 2};
    const std::vector<dlv::ColumnPtr> columns = cache.columns(asked);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0], (std::vector<long long>{2, 0}));
    EXPECT_EQ(*columns[1], (dlv::Column{1.5, 2.5, 3.5}));
    EXPECT_EQ(*columns[0], dlv::Column(3, 20.0));
    EXPECT_EQ(columns[3], columns[0]);
    EXPECT_EQ(cache.cachedBytes(), 3 * 3 * sizeof(double));
    (void)cache.column(0);
    EXPECT_EQ(loads.size(), 1u) << "held columns are not parsed again";
}
