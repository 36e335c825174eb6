// Big logs are read and indexed in parts at once; these tests make sure the
// parts join without a trace: no line lost or doubled at a cut, line ends
// split across a cut, long lines in either part, and a worker's exception
// reaching the caller.
#include "datalog/parallel.h"
#include "datalog/take_store.h"

#include "../../fuzz/fuzz_checks.h"
#include "../support/temp_logs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kNames = 40;

// About 24 MB: lines of 40 fields with every kind of line end in turn, a
// value with spaces now and then, a line of 70 KB every 4,001 lines (its
// offsets no longer fit 16 bits) and a short line every 7.
std::string bigLog()
{
    std::string log = "big log\r\n";
    for (int p = 0; p < kNames; ++p)
        log += "P" + std::to_string(p) + ",";
    log += "\r\n";
    const char* ends[] = {"\n", "\r\n", "\r"};
    for (int t = 0; log.size() < (24u << 20); ++t) {
        const int fields = t % 4001 == 17 ? 9000 : t % 7 == 3 ? 5 : kNames;
        for (int p = 0; p < fields; ++p) {
            if (p)
                log += ',';
            if ((t + p) % 97 == 0)
                log += "  " + std::to_string(p) + " ";
            else
                log += std::to_string((t * 31 + p * 7) % 100003);
        }
        log += ends[t % 3];
    }
    return log;
}

// The lines of bytes after the names line, cut the plainest way.
std::vector<std::string_view> dataLines(std::string_view bytes)
{
    std::vector<std::string_view> lines = dlv::fuzzcheck::naiveLines(bytes);
    lines.erase(lines.begin(), lines.begin() + 2);
    return lines;
}

// Every line, every field and every width of the store against the plain cut.
void expectSameAsPlainReading(const dlv::TakeStore& store, std::string_view bytes)
{
    const std::vector<std::string_view> lines = dataLines(bytes);
    ASSERT_EQ(store.takeCount(), static_cast<int>(lines.size()));
    const std::size_t shown = store.ParamNames().size();  // fields 0 .. P
    for (int t = 0; t < store.takeCount(); ++t) {
        const std::string_view line = lines[static_cast<std::size_t>(t)];
        ASSERT_EQ(store.DataLines(t), line) << "take " << t;
        std::size_t p = 0;
        std::size_t start = 0;
        std::size_t widest = 0;
        while (true) {
            const std::size_t comma = std::min(line.find(',', start), line.size());
            const std::string_view field = line.substr(start, comma - start);
            ASSERT_EQ(store.field(static_cast<long long>(p), t), field) << "take " << t << " field " << p;
            if (p < shown)
                widest = std::max(widest, dlv::fuzzcheck::naiveTrim(field).size());
            if (comma == line.size())
                break;
            start = comma + 1;
            ++p;
        }
        ASSERT_EQ(store.fieldCount(t), static_cast<int>(p + 1)) << "take " << t;
        ASSERT_EQ(store.maxShownValueBytes(t), std::min<std::size_t>(widest, dlv::TakeStore::kShownValueBytesLimit)) << "take " << t;
    }
}

TEST(ParallelRead, BigLogInMemoryIsIndexedAsOneWhole)
{
    const std::string log = bigLog();
    const dlv::ReadResult result = dlv::readDataLogBytes(log);
    ASSERT_TRUE(result.ok()) << result.error;
    expectSameAsPlainReading(*result.store, log);
}

TEST(ParallelRead, BigLogFromAFileIsReadWithoutGapOrOverlap)
{
    const std::string log = bigLog();
    const dlvtest::TempLogs logs;
    const dlv::ReadResult result = dlv::readDataLog(logs.write("big.csv", log));
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.store->fileBytes(), log.size());
    expectSameAsPlainReading(*result.store, log);
}

TEST(ParallelRead, CutsThatFallInsideLineEndsOrLongLinesLoseNoTake)
{
    // Whatever the cut points, a CR LF pair, a lone CR or a line of 1 MB
    // right where a part would begin is still one line end or one line.
    for (const std::string end : {"\r\n", "\r", "\n"}) {
        std::string log = "t" + end + "A,B" + end;
        const std::string line = "1,22,333,4444,55555,666666" + end;
        while (log.size() < (9u << 20))
            log += line;
        log += std::string(1u << 20, '7') + ",8" + end;
        while (log.size() < (18u << 20))
            log += line;
        const dlv::ReadResult result = dlv::readDataLogBytes(log);
        ASSERT_TRUE(result.ok()) << result.error;
        expectSameAsPlainReading(*result.store, log);
    }
}

TEST(RunParts, EveryPartRunsOnceAndAnExceptionReachesTheCaller)
{
    std::vector<std::atomic<int>> runs(6);
    dlv::runParts(runs.size(), [&](std::size_t k) { ++runs[k]; });
    for (const auto& n : runs)
        EXPECT_EQ(n.load(), 1);

    std::atomic<int> finished{0};
    EXPECT_THROW(dlv::runParts(4,
                               [&](std::size_t k) {
                                   if (k == 2)
                                       throw std::runtime_error("part 2");
                                   ++finished;
                               }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 3);  // the other parts still ran to their end

    // Parts that run together may wait for each other; all are told the
    // same count, and an error of one ends the call once all have ended.
    std::atomic<int> met{0};
    std::atomic<std::size_t> told{0};
    dlv::runTogether(3, [&](std::size_t, std::size_t parts, std::barrier<>& meet) {
        told = parts;
        for (int round = 0; round < 50; ++round) {
            ++met;
            meet.arrive_and_wait();
        }
    });
    EXPECT_GE(told.load(), 1u);
    EXPECT_EQ(met.load(), 50 * static_cast<int>(told.load()));
    EXPECT_THROW(dlv::runTogether(2,
                                  [&](std::size_t k, std::size_t, std::barrier<>& meet) {
                                      if (k == 0) {
                                          meet.arrive_and_drop();
                                          throw std::runtime_error("part 0");
                                      }
                                      meet.arrive_and_wait();
                                  }),
                 std::runtime_error);

    std::vector<int> seen(1000, 0);
    dlv::parallelFor(seen.size(), 10, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            ++seen[i];
    });
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 1000);
}

}  // namespace
