// What the views make of a log that is not of the own format, over a small
// in-memory log of the interface: the report, the run time from a time
// channel, the grid's names with units, and the export to the own format
// read back.
#include "datalog/log_formats.h"
#include "views/blm_table.h"
#include "views/general_grid.h"
#include "views/log_document.h"
#include "views/log_export.h"
#include "views/markers.h"
#include "views/report.h"
#include "views/run_time.h"

#include "support/memory_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using dlvtest::drive;
using dlvtest::kNone;

TEST(OtherFormats, ReportHasRunTimeFromTheTimeChannelTheNoteAndEveryChannel)
{
    const auto log = drive();
    const std::string report = dlv::reportText(*log, ".", true);
    // 95 s - 5 s = 90 s: 1.5 minutes, over 4 takes.
    EXPECT_EQ(report.substr(0, report.find('\n')), "Runtime: 1.5 minutes (4 takes)");
    EXPECT_NE(report.find(std::string(dlv::otherFormatBlmNote())), std::string::npos);
    EXPECT_EQ(report.find("RPM/MAP"), std::string::npos) << "no BLM table for another format";
    EXPECT_NE(report.find("\nParameter\tMax\tAvg\tMin\nTime [ms]\t95000.00\t50000.00\t5000.00\n"
                          "RPM [rpm]\t1200.00\t1000.00\t800.00\nFan\t1.00\t0.50\t0.00\n\t\t\t\n"),
              std::string::npos)
        << report;
}

TEST(OtherFormats, RunTimeWithoutATimeChannelOrTakes)
{
    const std::vector<double> time{kNone, 10, 20, 130, kNone};
    EXPECT_EQ(dlv::channelRunTimeCaption(dlv::TimeChannel{0, 1.0}, time, 6, "."), "2 minutes (5 takes)");
    EXPECT_EQ(dlv::channelRunTimeCaption(dlv::TimeChannel{0, 0.001}, time, 6, ","), "0 minutes (5 takes)");
    EXPECT_EQ(dlv::channelRunTimeCaption(std::nullopt, {}, 6, "."), "? minutes (5 takes)");
    EXPECT_EQ(dlv::channelRunTimeCaption(dlv::TimeChannel{}, std::vector<double>{kNone}, 2, "."),
              "? minutes (1 takes)");
    EXPECT_EQ(dlv::channelRunTimeCaption(dlv::TimeChannel{}, {}, 1, "."), "0 minutes (0 takes)");
}

TEST(OtherFormats, GridAndDocumentShowUnitsAndBuiltTexts)
{
    const auto log = drive();
    const dlv::GeneralGridLayout grid(log);
    std::string scratch;
    EXPECT_EQ(grid.parameterRows(), 4);
    EXPECT_EQ(grid.columnCount(), 5);
    EXPECT_EQ(grid.cell(0, 0, scratch), "Time [ms]");
    EXPECT_EQ(grid.cell(1, 0, scratch), "RPM [rpm]");
    EXPECT_EQ(grid.cell(3, 0, scratch), "");
    EXPECT_EQ(grid.cell(1, 1, scratch), "800");
    EXPECT_EQ(grid.cell(1, 2, scratch), "");
    EXPECT_EQ(grid.cell(2, 2, scratch), "On");
    EXPECT_EQ(grid.cell(1, 9, scratch), "");
    EXPECT_EQ(grid.maxCellBytes(0), std::string("RPM [rpm]").size());

    dlv::LogDocument document("drive.mlg", std::shared_ptr<const dlv::LogChannels>(log));
    EXPECT_FALSE(document.isDatalog());
    EXPECT_EQ(document.blmTable().at(1, 1).hits, 0) << "no BLM table outside the own format";
    const auto curve = document.curve(1);
    EXPECT_EQ(curve.summary.count, 3);
    EXPECT_EQ(curve.summary.maxValue, 1200);
}

TEST(OtherFormats, ExportWritesTheOwnFormatAndReadsBackTheShownNumbers)
{
    const auto log = drive();
    std::string text;
    ASSERT_TRUE(dlv::exportLog(*log, dlv::exportTitle("drive.mlg", *log, "Datalog Viewer 0.5"),
                               [&](std::string_view piece) {
                                   text += piece;
                                   return true;
                               }));
    EXPECT_EQ(text, "drive.mlg, MLG 2, exported by Datalog Viewer 0.5\nTime,RPM,Fan\n"
                    "5000,800,0\n35000,,1\n65000,1000,1\n95000,1200,0\n");
    const dlv::ReadResult back = dlv::readLogBytes(text, dlv::LogFormat::Auto);
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_TRUE(back.warnings.empty());
    const auto again = dlv::logOf(back);
    EXPECT_EQ(again->format(), dlv::LogFormat::Datalog);
    dlv::ColumnCache columns(again);
    for (long long p = 0; p < 3; ++p) {
        const auto column = columns.column(p);
        std::vector<double> expected(4);
        std::vector<double*> outs{expected.data()};
        const std::vector<long long> one{p};
        log->parseInto(one, 0, 4, outs);
        for (std::size_t t = 0; t < 4; ++t)
            EXPECT_TRUE((std::isnan(expected[t]) && std::isnan((*column)[t])) || expected[t] == (*column)[t]);
    }

    int calls = 0;
    EXPECT_FALSE(dlv::exportLog(*log, "t", [&](std::string_view) { return ++calls < 2; }))
        << "a failed write stops the export";
    EXPECT_FALSE(dlv::exportLog(*log, "t", [](std::string_view) { return true; }, [](int) { return false; }))
        << "so does a cancel";
}

TEST(OtherFormats, ExportCellsAndNamesNeverSplitALine)
{
    std::string out;
    dlv::appendExportCell(out, " 12.5 ", 12.5);
    EXPECT_EQ(out, "12.5");
    out.clear();
    dlv::appendExportCell(out, "On", 1.0);
    EXPECT_EQ(out, "1") << "a word goes as its number";
    out.clear();
    dlv::appendExportCell(out, "0x1F", 31.0);
    EXPECT_EQ(out, "31");
    out.clear();
    dlv::appendExportCell(out, "0.1", 0.1);
    EXPECT_EQ(out, "0.1");
    out.clear();
    dlv::appendExportCell(out, "a,b\r\nc", kNone);
    EXPECT_EQ(out, "a b  c");
    out.clear();
    dlv::appendExportCell(out, "", kNone);
    EXPECT_EQ(out, "");
    EXPECT_EQ(dlv::exportNamesLine({"A,B", "", " ", "C\nD", ""}), "A B,Channel 2,Channel 3,C D");
    EXPECT_EQ(dlv::exportNamesLine({""}), "");
}

TEST(OtherFormats, OwnFormatExportKeepsEveryShownField)
{
    const std::string bytes = "title\nTime,RPM,Note\n0, 800 ,x\n1.5,,y z\n";
    const auto log = dlv::logOf(dlv::readLogBytes(bytes, dlv::LogFormat::Auto));
    std::string text;
    ASSERT_TRUE(dlv::exportLog(*log, "t", [&](std::string_view piece) {
        text += piece;
        return true;
    }));
    EXPECT_EQ(text, "t\nTime,RPM,Note\n0,800,x\n1.5,,y z\n");
}

}  // namespace

namespace {

TEST(Markers, UserMarkersKeepTakeOrderAndMergeWithTheLogsOwn)
{
    std::vector<dlv::LogMarker> user;
    EXPECT_TRUE(dlv::addMarker(user, 3, 4, "  second pull "));
    EXPECT_TRUE(dlv::addMarker(user, 1, 4, "first\tpull\n"));
    EXPECT_FALSE(dlv::addMarker(user, 4, 4, "past the end"));
    EXPECT_FALSE(dlv::addMarker(user, -1, 4, "before"));
    ASSERT_EQ(user.size(), 2u);
    EXPECT_EQ(user[0].take, 1);
    EXPECT_EQ(user[0].text, "first pull ") << "control bytes become spaces, the ends are trimmed first";
    EXPECT_EQ(user[1].text, "second pull");
    EXPECT_TRUE(dlv::addMarker(user, 3, 4, "renamed"));
    ASSERT_EQ(user.size(), 2u) << "one marker a take";
    EXPECT_EQ(user[1].text, "renamed");
    EXPECT_TRUE(dlv::addMarker(user, 0, 4, std::string(500, 'x') + "\xc3\xa9"));
    EXPECT_EQ(user[0].text.size(), dlv::kMarkerNoteChars);
    std::string longUtf8;
    for (int i = 0; i < 300; ++i)
        longUtf8 += "\xc3\xa9";
    EXPECT_TRUE(dlv::addMarker(user, 2, 4, longUtf8));
    EXPECT_EQ(user[2].text.size(), 2 * dlv::kMarkerNoteChars) << "cut between characters";

    auto log = drive();
    log->m_markers = {{1, "MARK 1"}, {4, "end"}};
    const auto shown = dlv::shownMarkers(*log, user);
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[0].take, 0);
    EXPECT_EQ(shown[1].take, 1);
    EXPECT_TRUE(shown[1].fromLog) << "the log's own first at a shared take";
    EXPECT_EQ(shown[1].text, "MARK 1");
    EXPECT_FALSE(shown[2].fromLog);
    EXPECT_EQ(shown[5].take, 4);

    EXPECT_TRUE(dlv::removeMarker(user, 3));
    EXPECT_FALSE(dlv::removeMarker(user, 3));
    EXPECT_EQ(user.size(), 3u);
}

}  // namespace
