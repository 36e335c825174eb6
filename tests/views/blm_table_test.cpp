#include "views/blm_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datalog/take_store.h"

namespace {

struct Sample {
    std::string rpm;
    std::string map;
    std::string blm;
};

constexpr int kFieldsPerTake = 250;

// A take line whose RPM, MAP and BLM fields hold the given texts; every other
// field holds a number, so that a misread parameter index shows up.
std::string takeLine(const Sample& s)
{
    static const std::vector<std::string> filler = [] {
        std::vector<std::string> fields;
        for (int p = 0; p < kFieldsPerTake; ++p)
            fields.push_back(std::to_string(1000 + p));
        return fields;
    }();
    std::string line;
    line.reserve(kFieldsPerTake * 5);
    for (int p = 0; p < kFieldsPerTake; ++p) {
        if (p > 0)
            line += ',';
        if (p == dlv::kRpmParam)
            line += s.rpm;
        else if (p == dlv::kMapParam)
            line += s.map;
        else if (p == dlv::kBlmParam)
            line += s.blm;
        else
            line += filler[static_cast<std::size_t>(p)];
    }
    return line;
}

std::shared_ptr<const dlv::TakeStore> makeLog(const std::vector<Sample>& samples)
{
    std::string bytes = "blm test log\r\n";
    for (int p = 0; p < kFieldsPerTake; ++p)
        bytes += "P" + std::to_string(p) + ",";
    bytes += "\r\n";
    for (const Sample& s : samples)
        bytes += takeLine(s) + "\r\n";
    dlv::ReadResult result = dlv::readDataLogBytes(bytes, "blm test");
    EXPECT_TRUE(result.ok()) << result.error;
    return result.store;
}

dlv::BlmTable tableOf(const std::vector<Sample>& samples)
{
    const auto store = makeLog(samples);
    return store ? dlv::computeBlmTable(*store) : dlv::BlmTable{};
}

std::string cellText(const std::vector<Sample>& samples, int row, int col)
{
    return dlv::blmTableTexts(tableOf(samples))[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

std::int64_t totalHits(const dlv::BlmTable& table)
{
    std::int64_t hits = 0;
    for (const auto& row : table.cells)
        for (const dlv::BlmCell& cell : row)
            hits += cell.hits;
    return hits;
}

// Grid rows (1..8) holding a hit in MAP column 1.
std::vector<int> rowsHit(std::string rpm)
{
    const dlv::BlmTable table = tableOf({{std::move(rpm), "20", "128"}});
    std::vector<int> rows;
    for (int r = 1; r <= dlv::kBlmRpmBands; ++r)
        if (table.at(r, 1).hits > 0)
            rows.push_back(r);
    EXPECT_EQ(totalHits(table), static_cast<std::int64_t>(rows.size()));
    return rows;
}

// Grid column of MAP value text, 0 when the take lands nowhere.
int columnHit(std::string map)
{
    const dlv::BlmTable table = tableOf({{"1000", std::move(map), "128"}});
    for (int c = 1; c <= dlv::kBlmMapColumns; ++c)
        if (table.at(3, c).hits > 0)
            return c;
    EXPECT_EQ(totalHits(table), 0);
    return 0;
}

using Rows = std::vector<int>;

TEST(BlmTableLabels, GridHasCornerCaptionsAndRpmLabels)
{
    const dlv::BlmGridTexts texts = dlv::blmTableTexts(dlv::BlmTable{});
    EXPECT_EQ(texts[0][0], "RPM/MAP");
    const char* captions[] = {"20", "30", "40", "50", "60", "70", "80", "90", "100"};
    for (int c = 1; c <= 9; ++c)
        EXPECT_EQ(texts[0][static_cast<std::size_t>(c)], captions[c - 1]) << c;
    const char* labels[] = {"400", "800", "1200", "1600", "2000", "2400", "2800", "3200"};
    for (int r = 1; r <= 8; ++r)
        EXPECT_EQ(texts[static_cast<std::size_t>(r)][0], labels[r - 1]) << r;
    for (int r = 1; r <= 8; ++r)
        for (int c = 1; c <= 9; ++c)
            EXPECT_EQ(texts[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)], "") << r << "," << c;
}

TEST(BlmTableLabels, HitTableSharesLabelsAndShowsZeroForEmptyCells)
{
    const dlv::BlmGridTexts values = dlv::blmTableTexts(dlv::BlmTable{});
    const dlv::BlmGridTexts hits = dlv::blmHitTexts(tableOf({{"1000", "40", "7"}, {"1100", "40", "9"}}));
    EXPECT_EQ(hits[0], values[0]);
    for (int r = 1; r <= 8; ++r)
        EXPECT_EQ(hits[static_cast<std::size_t>(r)][0], values[static_cast<std::size_t>(r)][0]);
    EXPECT_EQ(hits[3][3], "2");
    EXPECT_EQ(hits[1][1], "0");
    EXPECT_EQ(hits[8][9], "0");
}

TEST(BlmTableRpmBands, RpmOnSharedBoundCountsInBothRows)
{
    EXPECT_EQ(rowsHit("400"), (Rows{1, 2}));
    EXPECT_EQ(rowsHit("800"), (Rows{2, 3}));
    EXPECT_EQ(rowsHit("2800"), (Rows{7, 8}));
    EXPECT_EQ(rowsHit("1200.0"), (Rows{3, 4}));
}

TEST(BlmTableRpmBands, RpmInsideBandCountsInOneRow)
{
    EXPECT_EQ(rowsHit("1"), (Rows{1}));
    EXPECT_EQ(rowsHit("399.999"), (Rows{1}));
    EXPECT_EQ(rowsHit("400.001"), (Rows{2}));
    EXPECT_EQ(rowsHit("3199"), (Rows{8}));
}

TEST(BlmTableRpmBands, TableEndsCountOnlyInTheirOwnRow)
{
    EXPECT_EQ(rowsHit("0"), (Rows{1}));
    EXPECT_EQ(rowsHit("-0"), (Rows{1}));
    EXPECT_EQ(rowsHit("3200"), (Rows{8}));
}

TEST(BlmTableRpmBands, RpmOutsideTableIsSkipped)
{
    EXPECT_EQ(rowsHit("-0.001"), Rows{});
    EXPECT_EQ(rowsHit("-400"), Rows{});
    EXPECT_EQ(rowsHit("3200.001"), Rows{});
    EXPECT_EQ(rowsHit("3600"), Rows{});
    EXPECT_EQ(rowsHit("1e300"), Rows{});
}

TEST(BlmTableRpmBands, RpmWithSurroundingSpacesIsANumber)
{
    EXPECT_EQ(rowsHit("  1000 "), (Rows{3}));
}

TEST(BlmTableMapColumns, HalvesRoundToEvenColumn)
{
    EXPECT_EQ(columnHit("15"), 1);
    EXPECT_EQ(columnHit("25"), 1);
    EXPECT_EQ(columnHit("35"), 3);
    EXPECT_EQ(columnHit("45"), 3);
    EXPECT_EQ(columnHit("55"), 5);
    EXPECT_EQ(columnHit("105"), 9);
}

TEST(BlmTableMapColumns, WholeCaptionValuesLandInTheirColumn)
{
    EXPECT_EQ(columnHit("20"), 1);
    EXPECT_EQ(columnHit("30"), 2);
    EXPECT_EQ(columnHit("100"), 9);
    EXPECT_EQ(columnHit("34.9"), 2);
    EXPECT_EQ(columnHit("35.1"), 3);
    EXPECT_EQ(columnHit(" 60 "), 5);
}

TEST(BlmTableMapColumns, MapOutsideTableSkipsTake)
{
    EXPECT_EQ(columnHit("14.9"), 0);
    EXPECT_EQ(columnHit("10"), 0);
    EXPECT_EQ(columnHit("0"), 0);
    EXPECT_EQ(columnHit("-20"), 0);
    EXPECT_EQ(columnHit("105.1"), 0);
    EXPECT_EQ(columnHit("110"), 0);
    EXPECT_EQ(columnHit("1e300"), 0);
    EXPECT_EQ(columnHit("-1e300"), 0);
}

TEST(BlmTableSkips, NonNumericRpmOrMapSkipsTake)
{
    const dlv::BlmTable table = tableOf({
        {"", "40", "100"},
        {"abc", "40", "100"},
        {"1,000", "40", "100"},  // the comma splits the field: RPM "1" but MAP moves
        {"1000", "", "100"},
        {"1000", "4O", "100"},
        {"1000", "0x28", "100"},
        {"1000", "40", "128"},
    });
    EXPECT_EQ(totalHits(table), 1);
    EXPECT_EQ(table.at(3, 3).hits, 1);
    EXPECT_EQ(dlv::blmCellText(table.at(3, 3)), "128");
}

TEST(BlmTableSkips, EmptyOrBadBlmIsLeftOutOfAverage)
{
    const dlv::BlmTable table = tableOf({
        {"1000", "40", ""},
        {"1000", "40", "   "},
        {"1000", "40", "n/a"},
        {"1000", "40", "nan"},
        {"1000", "40", "1e999"},
        {"1000", "40", "120"},
        {"1000", "40", "130"},
    });
    EXPECT_EQ(table.at(3, 3).hits, 2);
    EXPECT_EQ(dlv::blmCellText(table.at(3, 3)), "125");
    EXPECT_EQ(totalHits(table), 2);
}

TEST(BlmTableSkips, CellWithOnlyBadBlmStaysEmpty)
{
    EXPECT_EQ(cellText({{"1000", "40", ""}, {"1000", "40", "x"}}, 3, 3), "");
}

TEST(BlmTableSkips, ShortLineIsSkippedWithoutError)
{
    std::string bytes = "t\nA,B,C,\n1,2,3\n" + takeLine({"1000", "40", "140"}) + "\n";
    const dlv::ReadResult read = dlv::readDataLogBytes(bytes);
    ASSERT_TRUE(read.ok()) << read.error;
    const dlv::BlmTable table = dlv::computeBlmTable(*read.store);
    EXPECT_EQ(totalHits(table), 1);
    EXPECT_EQ(dlv::blmCellText(table.at(3, 3)), "140");
}

TEST(BlmTableAverage, HalfAveragesRoundToEven)
{
    EXPECT_EQ(cellText({{"1000", "40", "128"}, {"1000", "40", "129"}}, 3, 3), "128");
    EXPECT_EQ(cellText({{"1000", "40", "129"}, {"1000", "40", "130"}}, 3, 3), "130");
    EXPECT_EQ(cellText({{"1000", "40", "-2"}, {"1000", "40", "-3"}}, 3, 3), "-2");
}

TEST(BlmTableAverage, NonHalfAverageRoundsToNearest)
{
    EXPECT_EQ(cellText({{"1000", "40", "127"}, {"1000", "40", "128"}, {"1000", "40", "131"}}, 3, 3), "129");
    EXPECT_EQ(cellText({{"1000", "40", "127.4"}}, 3, 3), "127");
    EXPECT_EQ(cellText({{"1000", "40", "127.6"}}, 3, 3), "128");
}

TEST(BlmTableAverage, NegativeAverageNearZeroShowsPlainZero)
{
    EXPECT_EQ(cellText({{"1000", "40", "-0.4"}}, 3, 3), "0");
    EXPECT_EQ(cellText({{"1000", "40", "-3"}}, 3, 3), "-3");
}

TEST(BlmTableAverage, MinMaxAndHitsFollowTheCollectedValues)
{
    const dlv::BlmTable table = tableOf({
        {"1000", "40", "131"},
        {"1000", "40", "x"},
        {"1000", "40", "-5.5"},
        {"1000", "40", "128"},
    });
    const dlv::BlmCell& cell = table.at(3, 3);
    EXPECT_EQ(cell.hits, 3);
    EXPECT_DOUBLE_EQ(cell.min, -5.5);
    EXPECT_DOUBLE_EQ(cell.max, 131.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(cell.sum), 253.5);
    ASSERT_TRUE(dlv::blmCellAverage(cell).has_value());
    EXPECT_DOUBLE_EQ(*dlv::blmCellAverage(cell), 84.0);
    EXPECT_FALSE(dlv::blmCellAverage(table.at(3, 4)).has_value());
}

TEST(BlmTableAverage, HugeValuesPrintAsWholeNumbersWithoutOverflow)
{
    EXPECT_EQ(cellText({{"1000", "40", "3000000000"}, {"1000", "40", "3000000000"}}, 3, 3), "3000000000");
    EXPECT_EQ(cellText({{"1000", "40", "1e20"}}, 3, 3), "100000000000000000000");
    EXPECT_EQ(cellText({{"1000", "40", "-1e20"}}, 3, 3), "-100000000000000000000");
    // Two values near the double maximum: their sum would overflow a double.
    const std::string big = cellText({{"1000", "40", "1.5e308"}, {"1000", "40", "1.5e308"}}, 3, 3);
    EXPECT_EQ(big, cellText({{"1000", "40", "1.5e308"}}, 3, 3));
    EXPECT_EQ(big.size(), 309u);
    EXPECT_EQ(big.find_first_not_of("0123456789"), std::string::npos);
}

TEST(BlmTableTakes, FirstAndLastTakeAreCounted)
{
    std::vector<Sample> samples{{"1000", "40", "100"}};
    for (int i = 0; i < 5; ++i)
        samples.push_back({"x", "40", "0"});
    samples.push_back({"1000", "40", "110"});
    const auto store = makeLog(samples);
    ASSERT_TRUE(store);
    const dlv::BlmTable table = dlv::computeBlmTable(*store);
    EXPECT_EQ(table.at(3, 3).hits, 2);
    EXPECT_EQ(dlv::blmCellText(table.at(3, 3)), "105");
    EXPECT_EQ(dlv::blmCellTakes(*store, 3, 3), (std::vector<int>{0, 6}));
}

TEST(BlmTableTakes, ManyTakesInOneCellAreAllAveraged)
{
    // More takes than a 16-bit counter holds; empty filler fields keep the
    // log small.
    constexpr int kTakes = 70000;
    const std::string empty(dlv::kRpmParam, ',');
    auto line = [&](std::string_view blm) {
        std::string text = empty + "1900";
        text.append(static_cast<std::size_t>(dlv::kBlmParam - dlv::kRpmParam), ',');
        text.append(blm);
        text.append(static_cast<std::size_t>(dlv::kMapParam - dlv::kBlmParam), ',');
        return text + "80\n";
    };
    const std::string low = line("100");
    const std::string high = line("131");
    std::string bytes = "title\nnames\n";
    bytes.reserve(bytes.size() + (kTakes + 1) * low.size());
    for (int i = 0; i < kTakes; ++i)
        bytes += i % 2 == 0 ? low : high;
    bytes += high;  // mean 115.5002..., just above the half
    const dlv::ReadResult read = dlv::readDataLogBytes(bytes);
    ASSERT_TRUE(read.ok()) << read.error;
    const dlv::BlmTable table = dlv::computeBlmTable(*read.store);
    EXPECT_EQ(table.at(5, 7).hits, kTakes + 1);
    EXPECT_EQ(table.at(6, 7).hits, 0);
    EXPECT_EQ(totalHits(table), kTakes + 1);
    EXPECT_EQ(dlv::blmCellText(table.at(5, 7)), "116");
    EXPECT_EQ(dlv::blmHitTexts(table)[5][7], "70001");
}

TEST(BlmTableTakes, CellTakesMatchHitsIncludingSharedBounds)
{
    const auto store = makeLog({
        {"800", "50", "1"},   // rows 2 and 3
        {"900", "50", ""},    // no BLM: not a feeder
        {"700", "50", "2"},   // row 2
        {"1000", "50", "3"},  // row 3
        {"800", "60", "4"},   // other column
    });
    ASSERT_TRUE(store);
    const dlv::BlmTable table = dlv::computeBlmTable(*store);
    EXPECT_EQ(dlv::blmCellTakes(*store, 2, 4), (std::vector<int>{0, 2}));
    EXPECT_EQ(dlv::blmCellTakes(*store, 3, 4), (std::vector<int>{0, 3}));
    EXPECT_EQ(dlv::blmCellTakes(*store, 3, 5), (std::vector<int>{4}));
    for (int r = 1; r <= 8; ++r)
        for (int c = 1; c <= 9; ++c)
            EXPECT_EQ(static_cast<std::int64_t>(dlv::blmCellTakes(*store, r, c).size()), table.at(r, c).hits)
                << r << "," << c;
}

TEST(BlmTableTakes, CellOutsideDataAreaHasNoTakes)
{
    const auto store = makeLog({{"0", "20", "1"}, {"3200", "100", "1"}});
    ASSERT_TRUE(store);
    EXPECT_TRUE(dlv::blmCellTakes(*store, 0, 1).empty());
    EXPECT_TRUE(dlv::blmCellTakes(*store, 1, 0).empty());
    EXPECT_TRUE(dlv::blmCellTakes(*store, 9, 9).empty());
    EXPECT_TRUE(dlv::blmCellTakes(*store, 8, 10).empty());
    EXPECT_EQ(dlv::blmCellTakes(*store, 1, 1), (std::vector<int>{0}));
    EXPECT_EQ(dlv::blmCellTakes(*store, 8, 9), (std::vector<int>{1}));
}

TEST(BlmTableTakes, LogWithoutTakesGivesEmptyTable)
{
    const dlv::ReadResult read = dlv::readDataLogBytes("title\nA,B\n");
    ASSERT_TRUE(read.ok()) << read.error;
    const dlv::BlmTable table = dlv::computeBlmTable(*read.store);
    EXPECT_EQ(totalHits(table), 0);
    EXPECT_TRUE(dlv::blmCellTakes(*read.store, 1, 1).empty());
}

}  // namespace
