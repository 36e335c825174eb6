// The headless report, run as a separate process exactly as a user would.
#include "support/temp_logs.h"
#include "support/viewer_process.h"

#include "datalog/take_store.h"
#include "views/report.h"

#include <QProcess>

#include <QStringList>

#include <gtest/gtest.h>

namespace {

using dlvtest::runViewer;
using dlvtest::ViewerRun;

}  // namespace

TEST(Report, PrintsRunTimeBlmTableAndParameterSummaries)
{
    dlvtest::TempLogs logs;
    std::string log = "title\n";
    for (int f = 0; f < 250; ++f)
        log += (f ? ",P" : "P") + std::to_string(f);
    log += "\n";
    for (int t = 0; t < 3; ++t)
        log += dlvtest::takeLine(250, {{0, std::to_string(t * 45)}, {224, "400"}, {236, std::to_string(127 + t)},
                                       {247, "25"}}) + "\n";
    const ViewerRun run = runViewer({"--report", QString::fromStdString(logs.write("r.csv", log))});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n');
    ASSERT_GE(lines.size(), 1 + 1 + 9 + 1 + 1 + 251);
    EXPECT_EQ(lines[0], "Runtime: 1.5 minutes (3 takes)");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "RPM/MAP\t20\t30\t40\t50\t60\t70\t80\t90\t100");
    // RPM 400 lies on the bound of rows 400 and 800; MAP 25 goes to column 20.
    EXPECT_EQ(lines[3], "400\t128\t\t\t\t\t\t\t\t");
    EXPECT_EQ(lines[4], "800\t128\t\t\t\t\t\t\t\t");
    EXPECT_EQ(lines[10], "3200\t\t\t\t\t\t\t\t\t");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "Parameter\tMax\tAvg\tMin");
    EXPECT_EQ(lines[13], "P0\t90.00\t45.00\t0.00");
    EXPECT_EQ(lines[13 + 236], "P236\t129.00\t128.00\t127.00");
    EXPECT_EQ(lines[13 + 250], "\t\t\t");  // the row of the empty name: no field there
    EXPECT_EQ(lines.last(), "");           // every line ends with a line feed
}

TEST(Report, HitsFlagAddsTheHitCountTable)
{
    dlvtest::TempLogs logs;
    std::string log = "t\nA\n";
    for (int t = 0; t < 4; ++t)
        log += dlvtest::takeLine(250, {{224, "1000"}, {236, "128"}, {247, "60"}}) + "\n";
    const ViewerRun run = runViewer({"--report", "--hits", QString::fromStdString(logs.write("h.csv", log))});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n');
    EXPECT_EQ(lines[12], "RPM/MAP\t20\t30\t40\t50\t60\t70\t80\t90\t100");
    EXPECT_EQ(lines[15], "1200\t0\t0\t0\t0\t4\t0\t0\t0\t0");
    EXPECT_EQ(lines[22], "Parameter\tMax\tAvg\tMin");
}

TEST(Report, UnreadableLogExitsOneWithTheReason)
{
    dlvtest::TempLogs logs;
    const ViewerRun missing = runViewer({"--report", QString::fromStdString(logs.path("gone.csv"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("does not exist")) << missing.err.toStdString();
    const ViewerRun shortLog = runViewer({"--report", QString::fromStdString(logs.write("s.csv", "title only"))});
    EXPECT_EQ(shortLog.exitCode, 1);
    EXPECT_TRUE(shortLog.err.contains("fewer than two lines"));
}

TEST(Report, BundledSampleReportsEveryParameter)
{
    const ViewerRun run = runViewer({"--report", QStringLiteral(DLV_SOURCE_DIR "/examples/sample.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n');
    EXPECT_TRUE(lines[0].startsWith("Runtime: ") && lines[0].endsWith(" minutes (1500 takes)")) << lines[0].toStdString();
    EXPECT_EQ(lines.size(), 13 + 257 + 1);  // 256 names and the empty one
}

// ------------------------------------------------------------ hostile input and failures

TEST(Report, ControlBytesOfAFileNameAreEscapedInTheMessage)
{
    dlvtest::TempLogs logs;
    const std::string name = logs.path("no\nsuch\x1b[31mred.csv");
    const ViewerRun run = runViewer({"--report", QString::fromLocal8Bit(name.c_str())});
    EXPECT_EQ(run.exitCode, 1);
    const std::string err = run.err.toStdString();
    EXPECT_EQ(err.find('\x1b'), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
    EXPECT_NE(err.find("no\\nsuch\\x1b[31mred.csv"), std::string::npos) << err;
}

TEST(Report, WarningsGoToStandardErrorAndTheExitCodeStaysZero)
{
    dlvtest::TempLogs logs;
    const ViewerRun run = runViewer({"--report", QString::fromStdString(logs.write("w.csv", "t\nA,B\n1\n2,3,4\n5,6\n"))});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("1 take has fewer fields than the names line")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("1 take has more fields than the names line")) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("Runtime: "));
}

// What the window says beside the BLM table and above the grid, the report
// says on standard error; standard output stays the report alone.
TEST(Report, TheBlmTabsNoteAndALineOfUnitsAreToldOnStandardError)
{
    dlvtest::TempLogs logs;
    const std::string named = logs.write("named.csv", "t\nTIME,RPM,MAP,BLM\n0,800,30,128\n1,900,40,130\n");
    const ViewerRun run = runViewer({"--report", QString::fromStdString(named)});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.toStdString(),
              "datalog-viewer: note: '" + named +
                  "': No take of this log has fields 224, 236 and 247, which this table reads as RPM, BLM and MAP. "
                  "The \"Tables\" tab shows the same table from the log's channels named RPM, MAP and BLM.\n");
    const dlv::ReadResult whole = dlv::readDataLog(named);
    ASSERT_TRUE(whole.ok());
    EXPECT_EQ(run.outBytes.toStdString(), dlv::reportText(*whole.store, "."));

    // Other channels: the table was never meant to come from this log.
    const ViewerRun other = runViewer({"--report", QString::fromStdString(logs.write("other.csv", "t\nTIME,A\n0,1\n"))});
    ASSERT_EQ(other.exitCode, 0);
    EXPECT_EQ(other.err, "");

    const ViewerRun units =
        runViewer({"--report", QString::fromStdString(logs.write("units.csv", "t\nTIME,A\ns,rpm\n0,1\n1,2\n"))});
    ASSERT_EQ(units.exitCode, 0);
    EXPECT_TRUE(units.err.contains("take 0 (line 3) holds no numbers: is it a line of units?")) << units.err.toStdString();
}

TEST(Report, AFullDiskIsNamedInsteadOfExitingSilently)
{
    dlvtest::TempLogs logs;
    QProcess process;
    process.setStandardOutputFile("/dev/full");
    process.start(QStringLiteral(DLV_VIEWER_EXE),
                  {"--report", QStringLiteral(DLV_SOURCE_DIR "/examples/sample.csv")});
    process.waitForFinished(60000);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).startsWith("datalog-viewer: cannot write the report: "));
}

// The program streams a log larger than a chunk, and reads a log whose take
// is longer than a chunk whole: either way what it prints is the whole log's
// report and warnings.
TEST(Report, LogsLargerThanAChunkGiveTheReportOfTheWholeLog)
{
    dlvtest::TempLogs logs;
    std::string many = "t\nTIME,RPM,MAP,A,B\n";
    for (int t = 0; many.size() < 2 * dlv::kReportChunkBytes + 12345; ++t) {
        many += std::to_string(t) + "," + std::to_string(t % 3300) + "," + std::to_string(20 + t % 80);
        many += t % 1000 == 7 ? ",x\n" : ",1.5," + std::to_string(t % 97) + (t == 1234567 ? "\x01\r\n" : "\n");
    }
    std::string longTake = "t\nTIME,A\n1,2\n" + std::string(dlv::kReportChunkBytes + 10, '3') + ",4\n5,6\n";
    for (const auto& [name, log] : {std::pair{"many.csv", many}, std::pair{"long.csv", longTake}}) {
        SCOPED_TRACE(name);
        const std::string path = logs.write(name, log);
        const dlv::ReadResult whole = dlv::readDataLog(path);
        ASSERT_TRUE(whole.ok());
        if (log.size() > dlv::kReportChunkBytes * 2) {
            EXPECT_EQ(whole.warnings.size(), 2U);  // a control byte and short takes, counted over chunks
        }
        std::string warnings;
        for (const dlv::ReadWarning& w : whole.warnings)
            warnings += "datalog-viewer: warning: '" + path + "': " + w.message + "\n";
        const ViewerRun run = runViewer({"--report", "--hits", QString::fromStdString(path)});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.outBytes.toStdString(), dlv::reportText(*whole.store, ".", true));
        EXPECT_EQ(run.err.toStdString(), warnings);
    }
}
