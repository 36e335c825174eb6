// The report streamed a chunk at a time against the report of the log read
// whole: the same text and the same warnings, whatever the chunk size cuts.
#include "views/report.h"

#include "datalog/take_store.h"
#include "support/any_processor.h"
#include "support/odd_logs.h"
#include "support/temp_logs.h"
#include "views/curve.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// Chunk sizes that put a cut at every place of a small log, and a few larger.
std::vector<std::size_t> chunkSizes()
{
    std::vector<std::size_t> sizes;
    for (std::size_t n = 1; n <= 64; ++n)
        sizes.push_back(n);
    for (const std::size_t n : {97, 256, 1000, 4096, 1 << 20})
        sizes.push_back(n);
    return sizes;
}

std::size_t longestLine(const std::string& bytes)
{
    std::size_t longest = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i)
        if (i == bytes.size() || bytes[i] == '\n' || bytes[i] == '\r') {
            longest = std::max(longest, i - start + 2);  // a CR LF pair as well
            start = i + 1;
        }
    return longest;
}

std::string fileBytes(const std::string& path)
{
    if (!std::filesystem::is_regular_file(path))
        return {};
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Streamed and whole give the same report for every chunk size, and every
// chunk that holds the longest line streams.
template <class Stream>
void expectSameReports(const std::string& bytes, const dlv::ReadResult& whole, const Stream& stream)
{
    const std::size_t longest = longestLine(bytes);
    for (const bool hits : {false, true}) {
        for (const std::size_t chunk : chunkSizes()) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + (hits ? ", hits" : ""));
            const std::optional<dlv::StreamedReport> streamed = stream(hits, chunk);
            if (!whole.ok()) {
                EXPECT_FALSE(streamed.has_value()) << "an unreadable log was streamed";
                continue;
            }
            if (chunk >= longest) {
                EXPECT_TRUE(streamed.has_value());
            }
            if (!streamed)
                continue;
            EXPECT_EQ(streamed->text, dlv::reportText(*whole.store, ",", hits));
            EXPECT_EQ(dlvtest::warningsText(streamed->warnings), dlvtest::warningsText(whole.warnings));
        }
    }
}

void expectSameReportsOfBytes(const std::string& bytes)
{
    SCOPED_TRACE("log '" + bytes.substr(0, 80) + "'");
    expectSameReports(bytes, dlv::readDataLogBytes(bytes, "log"), [&](bool hits, std::size_t chunk) {
        return dlv::streamedReportOfBytes(bytes, ",", hits, chunk);
    });
}

// A log of many takes with the BLM fields in place, some lines ragged and
// some values of every kind.
std::string mixedLog(int takes, unsigned seed)
{
    std::mt19937 random(seed);
    constexpr int kFields = 260;
    std::string log = "title\n";
    for (int f = 0; f < kFields; ++f)
        log += (f ? ",P" : "P") + std::to_string(f);
    log += '\n';
    static const char* const odd[] = {"", " ", "x", "1e3", " 7 ", "-0", "+4", "1.5e-3", "\x01", "0.125"};
    const dlvtest::RandomTakes shape{
        kFields, 7, kFields + 20, 13, odd,
        [](std::mt19937& r) {
            const std::string whole = std::to_string(static_cast<int>(r() % 4000) - 500);
            return whole + "." + std::to_string(r() % 100);
        },
        [](std::mt19937& r) { return std::string(r() % 5 == 0 ? "\r\n" : "\n"); }};
    return log + dlvtest::randomTakes(takes, random, shape);
}

}  // namespace

TEST(ReportStream, EveryChunkSizeGivesTheWholeReportOnOddLogs)
{
    for (const std::string& log : dlvtest::edgeLogs())
        expectSameReportsOfBytes(log);
}

TEST(ReportStream, ManyChunksOfAWideLogGiveTheWholeReport)
{
    const std::string log = mixedLog(60, 7);
    const dlv::ReadResult whole = dlv::readDataLogBytes(log, "log");
    ASSERT_TRUE(whole.ok());
    const std::string wholeText = dlv::reportText(*whole.store, ".", true);
    // With either copy of the parse and the indexer (newer processors, any).
    for (const bool wide : {true, false}) {
        const dlvtest::AnyProcessorOnly anyProcessor(!wide);
        for (const std::size_t chunk : {std::size_t{2500}, std::size_t{4099}, std::size_t{9000}, std::size_t{40000}}) {
            SCOPED_TRACE(std::to_string(chunk) + (wide ? "" : ", any processor"));
            const std::optional<dlv::StreamedReport> streamed = dlv::streamedReportOfBytes(log, ".", true, chunk);
            ASSERT_TRUE(streamed.has_value());
            EXPECT_EQ(streamed->text, wholeText);
            EXPECT_EQ(dlvtest::warningsText(streamed->warnings), dlvtest::warningsText(whole.warnings));
        }
    }
}

// The chunks, put one after the other by their first take, are the log's
// takes, and the extremes found over them are at the same takes.
TEST(ReportStream, ChunksNumberTheirTakesAfterThoseBefore)
{
    const std::string log = mixedLog(40, 3);
    const dlv::ReadResult whole = dlv::readDataLogBytes(log, "log");
    ASSERT_TRUE(whole.ok());
    const dlv::CurveSummary wholeSummary = dlv::summarizeSeries(dlv::extractParamSeries(*whole.store, 5));
    std::vector<std::string> takes;
    dlv::SummaryAccumulator summary;
    int chunks = 0;
    const auto warnings = dlv::streamDataLogBytes(log, 3000, [&](const dlv::TakeStore& chunk, int firstTake) {
        EXPECT_EQ(firstTake, static_cast<int>(takes.size()));
        EXPECT_EQ(chunk.ParamNames(), whole.store->ParamNames());
        for (int t = 0; t < chunk.takeCount(); ++t)
            takes.emplace_back(chunk.DataLines(t));
        summary.add(firstTake, dlv::extractParamSeries(chunk, 5).values());
        ++chunks;
    });
    ASSERT_TRUE(warnings.has_value());
    EXPECT_GT(chunks, 10);
    ASSERT_EQ(static_cast<int>(takes.size()), whole.store->takeCount());
    for (int t = 0; t < whole.store->takeCount(); ++t)
        EXPECT_EQ(takes[static_cast<std::size_t>(t)], whole.store->DataLines(t)) << "take " << t;
    EXPECT_EQ(summary.summary().maxTake, wholeSummary.maxTake);
    EXPECT_EQ(summary.summary().minTake, wholeSummary.minTake);
    EXPECT_EQ(summary.summary().count, wholeSummary.count);
}

TEST(ReportStream, FilesGiveTheReportOfTheWholeReading)
{
    dlvtest::TempLogs logs;
    std::vector<std::string> paths = {DLV_SOURCE_DIR "/examples/sample.csv"};
    int n = 0;
    for (const std::string& log : dlvtest::edgeLogs())
        paths.push_back(logs.write("edge" + std::to_string(n++) + ".csv", log));
    paths.push_back(logs.path("missing.csv"));
    paths.push_back(logs.dir().string());
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        expectSameReports(fileBytes(path), dlv::readDataLog(path), [&](bool hits, std::size_t chunk) {
            return dlv::streamedReport(path, ",", hits, chunk);
        });
    }
}

TEST(ReportStream, AFileThatChangesWhileStreamedIsLeftToTheWholeReading)
{
    dlvtest::TempLogs logs;
    std::string log = "t\nA,B\n";
    for (int t = 0; t < 200; ++t)
        log += std::to_string(t) + "," + std::to_string(2 * t) + "\n";
    const std::string path = logs.write("grow.csv", log);
    for (const bool append : {true, false}) {
        int chunks = 0;
        const auto warnings = dlv::streamDataLog(path, 256, [&](const dlv::TakeStore&, int) {
            if (chunks++ != 1)
                return;
            if (append)
                std::ofstream(path, std::ios::binary | std::ios::app) << "200,400\n";
            else
                std::ofstream(path, std::ios::binary) << "u" + log.substr(1);  // cut and written again
        });
        // The next chunk is read while one is consumed: a change may be
        // noticed as soon as the chunk after the change.
        EXPECT_GE(chunks, 2);
        EXPECT_FALSE(warnings.has_value()) << (append ? "appended" : "rewritten");
    }
}

TEST(ReportStream, ALineLongerThanAChunkIsLeftToTheWholeReading)
{
    const std::string log = "t\nA,B\n1,2\n" + std::string(300, '7') + ",8\n3,4\n";
    EXPECT_FALSE(dlv::streamedReportOfBytes(log, ",", false, 200).has_value());
    EXPECT_TRUE(dlv::streamedReportOfBytes(log, ",", false, 400).has_value());
}
