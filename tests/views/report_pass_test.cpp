// The report's single pass over every parameter against the views it stands
// for: each parameter's curve summary and the BLM table.
#include "views/report.h"

#include "datalog/number.h"
#include "datalog/take_store.h"
#include "views/blm_table.h"
#include "views/curve.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::shared_ptr<const dlv::TakeStore> readLog(const std::string& bytes)
{
    dlv::ReadResult result = dlv::readDataLogBytes(bytes, "log");
    EXPECT_TRUE(result.ok()) << result.error;
    return result.store;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The report's parameter lines, built the slow way: one curve per parameter.
std::vector<std::string> summaryLinesOneByOne(const dlv::TakeStore& store)
{
    std::vector<std::string> out;
    const auto& names = store.ParamNames();
    for (std::size_t p = 0; p < names.size(); ++p) {
        const dlv::CurveLabels labels =
            dlv::curveLabels(dlv::summarizeSeries(dlv::extractParamSeries(store, static_cast<long long>(p))), ",");
        out.push_back(dlv::displayText(names[p]) + "\t" + labels.max + "\t" + labels.avg + "\t" + labels.min);
    }
    return out;
}

// A log of many takes with the BLM fields in place, ragged lines, gaps and
// values of every kind.
std::string mixedLog(int takes, int fields, unsigned seed)
{
    std::mt19937 random(seed);
    std::string log = "title\n";
    for (int f = 0; f < fields; ++f)
        log += (f ? ",P" : "P") + std::to_string(f);
    log += '\n';
    const char* odd[] = {"", " ", "x", "1e3", " 7 ", "-0", "+4", "1.5e-3", "12345678901", "0.125"};
    for (int t = 0; t < takes; ++t) {
        const int width = random() % 17 == 0 ? static_cast<int>(random() % fields) : fields;
        for (int f = 0; f < width; ++f) {
            if (f)
                log += ',';
            if (f == dlv::kRpmParam)
                log += std::to_string(random() % 3400);
            else if (f == dlv::kMapParam)
                log += std::to_string(10 + random() % 100);
            else if (random() % 13 == 0)
                log += odd[random() % std::size(odd)];
            else
                log += std::to_string(static_cast<int>(random() % 4000) - 500) + "." + std::to_string(random() % 100);
        }
        log += '\n';
    }
    return log;
}

}  // namespace

TEST(ReportPass, AverageAtAHalfIsTheDoubleSumsAverage)
{
    // 0.0, 0.1, ..., 1.8 and 750 average to 38.355 in doubles: 38.36.
    std::string log = "title\nA,B\n";
    for (int i = 0; i <= 18; ++i)
        log += std::to_string(i) + "," + std::to_string(i / 10) + "." + std::to_string(i % 10) + "\n";
    log += "19,750\n";
    const auto store = readLog(log);
    ASSERT_TRUE(store);
    const std::vector<std::string> report = lines(dlv::reportText(*store, "."));
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report[report.size() - 2], "B\t750.00\t38.36\t0.00");
    EXPECT_EQ(dlv::curveLabels(dlv::summarizeSeries(dlv::extractParamSeries(*store, 1)), ".").avg, "38.36");
}

TEST(ReportPass, OnePassGivesWhatEachParametersCurveAndTheBlmTableGive)
{
    for (const auto& [takes, fields] : {std::pair{3000, 250}, std::pair{20000, 9}, std::pair{1, 250}}) {
        SCOPED_TRACE(std::to_string(takes) + " takes of " + std::to_string(fields) + " fields");
        const auto store = readLog(mixedLog(takes, fields, static_cast<unsigned>(takes)));
        ASSERT_TRUE(store);
        const std::vector<std::string> report = lines(dlv::reportText(*store, ",", true));
        const std::vector<std::string> oneByOne = summaryLinesOneByOne(*store);
        ASSERT_EQ(report.size(), 2 + 9 + 1 + 9 + 2 + oneByOne.size());
        const std::vector<std::string> tail(report.end() - static_cast<std::ptrdiff_t>(oneByOne.size()), report.end());
        EXPECT_EQ(tail, oneByOne);

        const dlv::BlmTable table = dlv::computeBlmTable(*store);
        const dlv::BlmGridTexts averages = dlv::blmTableTexts(table);
        const dlv::BlmGridTexts hits = dlv::blmHitTexts(table);
        for (int r = 0; r < dlv::kBlmGridRows; ++r) {
            std::string wantAverages;
            std::string wantHits;
            for (int c = 0; c < dlv::kBlmGridColumns; ++c) {
                wantAverages += (c ? "\t" : "") + averages[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
                wantHits += (c ? "\t" : "") + hits[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            }
            EXPECT_EQ(report[static_cast<std::size_t>(2 + r)], wantAverages);
            EXPECT_EQ(report[static_cast<std::size_t>(12 + r)], wantHits);
        }
    }
}

TEST(ReportPass, BlmCellAverageIsTheDoubleSumInTakeOrder)
{
    // 1e16, 1 and -1e16 + 384 in one cell: in doubles in take order the 1 is
    // lost (1e16 + 1 == 1e16), so the sum is 384 and the average 128; a wider
    // sum would keep it and give 128.33.
    std::string log = "title\n";
    for (int f = 0; f < 250; ++f)
        log += (f ? ",P" : "P") + std::to_string(f);
    log += '\n';
    for (const char* blm : {"1e16", "1", "-9999999999999616"}) {
        std::string line;
        for (int f = 0; f < 250; ++f)
            line += std::string(f ? "," : "") +
                    (f == dlv::kRpmParam ? "1000" : f == dlv::kMapParam ? "40" : f == dlv::kBlmParam ? blm : "0");
        log += line + '\n';
    }
    const auto store = readLog(log);
    ASSERT_TRUE(store);
    const dlv::BlmTable table = dlv::computeBlmTable(*store);
    ASSERT_EQ(table.at(3, 3).hits, 3);
    EXPECT_EQ(table.at(3, 3).sum.mean(3), 128.0);
    EXPECT_EQ(dlv::blmCellText(table.at(3, 3)), "128");
}
