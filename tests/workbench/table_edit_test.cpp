#include "workbench/default_table.h"
#include "workbench/format.h"
#include "workbench/table_edit.h"
#include "workbench/table_tint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace dlv {
namespace {

using V = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string_view placed(std::string_view text, const TextError& error)
{
    return text.substr(error.place.offset, error.place.length);
}

// ---------------------------------------------------------------- axes

TEST(AxisText, ReadsRowsFromSpreadsheetsMapEditorsAndTyping)
{
    EXPECT_EQ(parseAxisText("20\t30\t40\n", "x axis").values, (V{20, 30, 40}));
    EXPECT_EQ(parseAxisText("20, 30,40", "x axis").values, (V{20, 30, 40}));
    EXPECT_EQ(parseAxisText("  20   30 40  ", "x axis").values, (V{20, 30, 40}));
    EXPECT_EQ(parseAxisText("20;30;40", "x axis").values, (V{20, 30, 40}));
    // A column copied from a spreadsheet: one value per line, CR LF ends.
    EXPECT_EQ(parseAxisText("400\r\n800\r\n1200\r\n", "y axis").values, (V{400, 800, 1200}));
    // A header row copied with the corner cell empty, trailing empty cells.
    EXPECT_EQ(parseAxisText("\t-2.5\t.5\t1e3\t\t", "x axis").values, (V{-2.5, 0.5, 1000}));
    EXPECT_EQ(parseAxisText("7", "x axis").values, (V{7}));
}

TEST(AxisText, ErrorsNameTheAxisTheValueAndMarkIt)
{
    const std::string text = "20, 30, 3O, 50";
    const ParsedAxis bad = parseAxisText(text, "x axis");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error->message, "x axis: value 3, \"3O\", is not a number");
    EXPECT_EQ(placed(text, *bad.error), "3O");

    const std::string down = "400\t800\t800\t1600";
    const ParsedAxis notUp = parseAxisText(down, "y axis");
    ASSERT_FALSE(notUp.ok());
    EXPECT_EQ(notUp.error->message, "y axis: value 3, 800, is not above 800 before it; breakpoints must increase");
    EXPECT_EQ(notUp.error->place, (TextPlace{8, 3}));

    const ParsedAxis hole = parseAxisText("1\t\t3", "x axis");
    ASSERT_FALSE(hole.ok());
    EXPECT_EQ(hole.error->message, "x axis: value 2 is empty");

    EXPECT_EQ(parseAxisText(" \n\t", "x axis").error->message,
              "x axis: no breakpoints; type or paste at least one number");
    // A decimal comma is not the log's number rule: it cuts the value.
    EXPECT_EQ(parseAxisText("1,5 2,5", "x axis").error->message, "x axis: value 2, \"5 2\", is not a number");
}

TEST(AxisText, WritesShortestDecimalsThatReadBack)
{
    EXPECT_EQ(axisText(V{20, 2.5, 0.1, -10, 1e6}), "20, 2.5, 0.1, -10, 1000000");
    for (const double v : {0.1, 1.0 / 3, 12345.678, 1e-7})
        EXPECT_EQ(parseAxisText(axisText(V{v}), "x").values.at(0), v);
}

// ---------------------------------------------------------------- maps

TEST(MapText, ReadsABlockInTheTableShapeWithOrWithoutHeaders)
{
    const ParsedMap plain = parseMapText("1\t2\t3\r\n4\t5\t6\r\n", 2, 3);
    ASSERT_TRUE(plain.ok()) << plain.error->message;
    EXPECT_EQ(plain.values, (V{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(plain.at(1, 2), 6);

    // As Copy gives it: header row with the x breakpoints, y in column 0.
    const ParsedMap headed = parseMapText("\t20\t30\t40\n400\t1\t2\t3\n800\t4\t5\t6\n", 2, 3);
    ASSERT_TRUE(headed.ok()) << headed.error->message;
    EXPECT_EQ(headed.values, (V{1, 2, 3, 4, 5, 6}));

    const ParsedMap labelled = parseMapText("400\t1\t2\t3\n800\t4\t5\t6", 2, 3);
    EXPECT_EQ(labelled.values, (V{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(parseMapText("1 2 3\n\n4 5 6\n\n", 2, 3).values, (V{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(parseMapText("1,2,3", 1, 3).values, (V{1, 2, 3}));
}

TEST(MapText, ShapeAndValueErrorsSayWhereAndWhat)
{
    const ParsedMap rows = parseMapText("1\t2\t3\n", 2, 3);
    ASSERT_FALSE(rows.ok());
    EXPECT_EQ(rows.error->message, "Map: 1 row pasted; the table has 2 rows of 3 values");

    const std::string shortRow = "1\t2\t3\n4\t5\n";
    const ParsedMap cols = parseMapText(shortRow, 2, 3);
    ASSERT_FALSE(cols.ok());
    EXPECT_EQ(cols.error->message, "Map row 2: 2 values; the table has 3 columns");
    EXPECT_EQ(placed(shortRow, *cols.error), "4\t5");

    const std::string word = "1\t2\t3\n4\tn/a\t6\n";
    const ParsedMap bad = parseMapText(word, 2, 3);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error->message, "Map row 2, column 2: \"n/a\" is not a number");
    EXPECT_EQ(placed(word, *bad.error), "n/a");
    EXPECT_TRUE(bad.values.empty());

    EXPECT_EQ(parseMapText("1\t\t3\n", 1, 3).error->message, "Map row 1, column 2: empty is not a number");
    EXPECT_EQ(parseMapText("", 8, 9).error->message, "Map: nothing to read; paste 8 rows of 9 values");
}

// ---------------------------------------------------------------- corrections

TEST(Corrections, OldTimesMeanOverTargetWithinTheLimitExceptLockedAndThinCells)
{
    const V old{100, 100, 100, 100, 100, 80};
    const std::vector<CellEvidence> evidence{
        {10, 132.0},  // +3.125 %: corrected
        {10, 160.0},  // +25 %: limited to +10 %
        {10, 64.0},   // -50 %: limited to -10 %
        {2, 150.0},   // below minHits: unchanged
        {10, 140.0},  // locked
        {0, kNaN},    // no takes
    };
    const std::vector<std::uint8_t> locks{0, 0, 0, 0, 1, 0};
    const auto out = suggestCorrections(old, evidence, locks, {128.0, 3, 10.0});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_DOUBLE_EQ(out[0].value, 103.125);
    EXPECT_EQ(out[0].kind, CorrectionKind::Corrected);
    EXPECT_DOUBLE_EQ(out[1].value, 110.0);
    EXPECT_EQ(out[1].kind, CorrectionKind::Limited);
    EXPECT_DOUBLE_EQ(out[2].value, 90.0);
    EXPECT_EQ(out[2].kind, CorrectionKind::Limited);
    EXPECT_EQ(out[3].value, 100.0);
    EXPECT_EQ(out[3].kind, CorrectionKind::Unchanged);
    EXPECT_EQ(out[4].value, 100.0);
    EXPECT_EQ(out[4].kind, CorrectionKind::Locked);
    EXPECT_EQ(out[5].value, 80.0);
    EXPECT_EQ(out[5].kind, CorrectionKind::Unchanged);
}

TEST(Corrections, LimitBoundsHoldForNegativeMapsAndZeroLimit)
{
    const V old{-50};
    const std::vector<CellEvidence> e{{5, 256.0}};
    EXPECT_DOUBLE_EQ(suggestCorrections(old, e, {}, {128.0, 1, 20.0})[0].value, -60.0);
    EXPECT_DOUBLE_EQ(suggestCorrections(old, e, {}, {128.0, 1, 0.0})[0].value, -50.0);
    // No limit worth the name: the full correction.
    EXPECT_DOUBLE_EQ(suggestCorrections(old, e, {}, {128.0, 1, 1000.0})[0].value, -100.0);
}

TEST(Corrections, RefuseWhatCannotBeComputed)
{
    const V old{1, 2};
    const std::vector<CellEvidence> e{{1, 1.0}, {1, 1.0}};
    EXPECT_THROW((void)suggestCorrections(old, e, {}, {0.0, 1, 10.0}), std::invalid_argument);
    EXPECT_THROW((void)suggestCorrections(old, e, {}, {kNaN, 1, 10.0}), std::invalid_argument);
    EXPECT_THROW((void)suggestCorrections(old, e, {}, {128.0, 1, -1.0}), std::invalid_argument);
    EXPECT_THROW((void)suggestCorrections(V{1}, e, {}, {128.0, 1, 10.0}), std::invalid_argument);
    const std::vector<std::uint8_t> oneLock{1};
    EXPECT_THROW((void)suggestCorrections(old, e, oneLock, {128.0, 1, 10.0}), std::invalid_argument);
}

// ---------------------------------------------------------------- text out

TEST(TableText, MapTextsAreTabAndCsvOverTheBreakpoints)
{
    const TextTable map = mapTextTable(V{20, 30}, V{400, 800}, V{85.304, 90, -0.004, 1.005});
    EXPECT_EQ(tabText(map), "\t20\t30\n400\t85.3\t90\n800\t0\t1\n");
    EXPECT_EQ(tabValuesText(map), "85.3\t90\n0\t1\n");
    EXPECT_EQ(csvText(map), ",20,30\n400,85.3,90\n800,0,1\n");
    // A 1-D table: one row with an empty first cell.
    EXPECT_EQ(tabText(mapTextTable(V{1.5, 2.5}, V{}, V{3, 4})), "\t1.5\t2.5\n\t3\t4\n");
    EXPECT_THROW((void)mapTextTable(V{1, 2}, V{1}, V{1}), std::invalid_argument);
    // What Copy gives pastes back as the same map.
    EXPECT_EQ(parseMapText(tabText(map), 2, 2).values, (V{85.3, 90, 0, 1}));
}

TEST(TableText, CellsThatWouldCutALineAreQuotedOrBlanked)
{
    const TextTable t{{"name", "a,b", "say \"hi\""}, {"x\ty", "line\nbreak", ""}};
    EXPECT_EQ(csvText(t), "name,\"a,b\",\"say \"\"hi\"\"\"\nx\ty,\"line\nbreak\",\n");
    EXPECT_EQ(tabText(t), "name\ta,b\tsay \"hi\"\nx y\tline break\t\n");
}

// ---------------------------------------------------------------- tints

TEST(TableTint, DivergesAroundTheTargetAndRunsSequentialOtherwise)
{
    const V values{118, 128, 133, kNaN};
    const TintScale diverging = tintScaleFor(values, 128.0);
    EXPECT_EQ(diverging.halfRange, 10.0);
    EXPECT_EQ(tableTint(128, diverging, false), kBlmWhite);
    EXPECT_EQ(tableTint(118, diverging, false), kBlmRemovingFuel);
    EXPECT_EQ(tableTint(138, diverging, false), kBlmAddingFuel);
    const Rgb halfUp = *tableTint(133, diverging, false);
    EXPECT_GT(halfUp.r, kBlmAddingFuel.r);
    EXPECT_LT(halfUp.r, 255);
    EXPECT_FALSE(tableTint(kNaN, diverging, false).has_value());

    const TintScale sequential = tintScaleFor(values, std::nullopt);
    EXPECT_EQ(sequential.low, 118);
    EXPECT_EQ(sequential.high, 133);
    EXPECT_EQ(tableTint(133, sequential, false), kSequentialFull);
    const Rgb lowest = *tableTint(118, sequential, false);
    EXPECT_NE(lowest, kBlmWhite);  // a value is never mistaken for an empty cell
    EXPECT_GT(lowest.r, 230);
    // A NaN target counts as none.
    EXPECT_FALSE(tintScaleFor(values, kNaN).center.has_value());
}

TEST(TableTint, FadedCellsAreHalfAsFarFromWhiteAndFlatTablesStayPale)
{
    const TintScale scale = tintScaleFor(V{100, 140}, 120.0);
    const Rgb full = *tableTint(140, scale, false);
    const Rgb faded = *tableTint(140, scale, true);
    EXPECT_NEAR(255 - faded.r, (255 - full.r) / 2.0, 1.0);
    EXPECT_NEAR(255 - faded.b, (255 - full.b) / 2.0, 1.0);
    // Every value on the target: no division by zero, all white.
    EXPECT_EQ(tableTint(5, tintScaleFor(V{5, 5}, 5.0), false), kBlmWhite);
    EXPECT_TRUE(tableTint(5, tintScaleFor(V{5, 5}, std::nullopt), false).has_value());
}

// ---------------------------------------------------------------- default table

TEST(DefaultTable, KeepsTheBlmBreakpointsWhenTheyCoverTheLog)
{
    EXPECT_EQ(defaultMapAxis(), (V{20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(defaultRpmAxis(), (V{400, 800, 1200, 1600, 2000, 2400, 2800, 3200}));
    const V rpm = defaultRpmAxis();
    EXPECT_EQ(coveringAxis(300, 3300, rpm), rpm);  // within half a gap
    EXPECT_EQ(coveringAxis(kNaN, kNaN, rpm), rpm);
    // Values at the ends of the doubles: no round step spans them.
    EXPECT_EQ(coveringAxis(-1.7e308, 1.7e308, rpm), rpm);
    EXPECT_EQ(coveringAxis(0, 1.79e308, rpm), rpm);
}

TEST(DefaultTable, WidensToRoundStepsThatCoverTheLog)
{
    const V rpm = defaultRpmAxis();
    EXPECT_EQ(coveringAxis(650, 6400, rpm), (V{0, 1000, 2000, 3000, 4000, 5000, 6000, 7000}));
    const V small = coveringAxis(0.05, 0.93, defaultMapAxis());
    EXPECT_EQ(small, (V{0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1}));
    EXPECT_EQ(coveringAxis(-7.5, 7.5, V{0, 1}), (V{-20, 0, 20}));
    EXPECT_EQ(coveringAxis(42, 42, V{0, 1}), (V{42}));
    const V wide = coveringAxis(0, 1e300, V(200, 0.0));
    EXPECT_LE(wide.size(), kMaxDefaultBreakpoints);
    EXPECT_GE(wide.back(), 1e300);
}

TEST(DefaultTable, FindsParametersByExactNameFirstThenIgnoringCase)
{
    const std::vector<std::string> names{"TIME", " rpm ", "RPM", "Map", ""};
    EXPECT_EQ(findParameterNamed(names, "RPM"), 2);
    EXPECT_EQ(findParameterNamed(names, "MAP"), 3);
    EXPECT_EQ(findParameterNamed(names, "BLM"), std::nullopt);
    EXPECT_EQ(findParameterNamed(names, ""), 4);
    const std::vector<std::string> lower{"time", " rpm "};
    EXPECT_EQ(findParameterNamed(lower, "RPM"), 1);
}

}  // namespace
}  // namespace dlv
