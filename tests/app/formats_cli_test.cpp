// --format on every command and --export-csv, as a script runs them: the
// own format read as before, a named format taken as given, mistakes named,
// and an export that replaces its file only when it is whole.
#include "support/temp_logs.h"
#include "support/viewer_process.h"

#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* const kLog = "title\nTime,RPM,MAP\n0,800,30\n60,900,40\n120,1000,50\n";

TEST(FormatsCommandLine, FormatNamesEveryFormatAndRefusesOthers)
{
    dlvtest::TempLogs dir;
    const QString log = QString::fromStdString(dir.write("a.csv", kLog));
    const dlvtest::ViewerRun plain = dlvtest::runViewer({"--report", log});
    ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    for (const char* format : {"auto", "datalog"}) {
        const dlvtest::ViewerRun same = dlvtest::runViewer({"--report", "--format", format, log});
        EXPECT_EQ(same.exitCode, 0) << format;
        EXPECT_EQ(same.outBytes, plain.outBytes) << "the own format reads as before with --format " << format;
    }
    const dlvtest::ViewerRun bad = dlvtest::runViewer({"--report", "--format", "xls", log});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("--format 'xls'")) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains("auto, datalog, mlg, msl or text"));

    const dlvtest::ViewerRun help = dlvtest::runViewer({"--help"});
    EXPECT_TRUE(help.out.contains("--format")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--export-csv"));
}

TEST(FormatsCommandLine, AFileReadAsAnotherFormatFailsWithItsReader)
{
    dlvtest::TempLogs dir;
    const QString log = QString::fromStdString(dir.write("a.csv", kLog));
    const dlvtest::ViewerRun asMlg = dlvtest::runViewer({"--report", "--format", "mlg", log});
    EXPECT_EQ(asMlg.exitCode, 1) << asMlg.out.toStdString();
    EXPECT_TRUE(asMlg.out.isEmpty());
    EXPECT_TRUE(asMlg.err.contains("a.csv")) << asMlg.err.toStdString();
}

TEST(FormatsCommandLine, ExportCsvWritesTheOwnFormatAndReplacesOnlyWhenWhole)
{
    dlvtest::TempLogs dir;
    const std::string log = dir.write("drive.csv", kLog);
    const std::string out = dir.path("out.csv");
    const dlvtest::ViewerRun done =
        dlvtest::runViewer({"--export-csv", QString::fromStdString(log), QString::fromStdString(out)});
    ASSERT_EQ(done.exitCode, 0) << done.err.toStdString();
    EXPECT_TRUE(done.out.isEmpty());
    EXPECT_EQ(readFile(out), "drive.csv, datalog, exported by Datalog Viewer 0.5\nTime,RPM,MAP\n"
                             "0,800,30\n60,900,40\n120,1000,50\n");
    // The export reads back to the same report.
    const dlvtest::ViewerRun a = dlvtest::runViewer({"--report", QString::fromStdString(log)});
    const dlvtest::ViewerRun b = dlvtest::runViewer({"--report", QString::fromStdString(out)});
    EXPECT_EQ(a.outBytes, b.outBytes);

    // A log that cannot be read leaves the old export as it was.
    const dlvtest::ViewerRun missing = dlvtest::runViewer(
        {"--export-csv", QString::fromStdString(dir.path("none.csv")), QString::fromStdString(out)});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("none.csv")) << missing.err.toStdString();
    EXPECT_EQ(readFile(out).substr(0, 9), "drive.csv");

    // A folder that cannot be written names the file and leaves nothing.
    const std::string locked = (dir.dir() / "locked").string();
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const std::string target = locked + "/x.csv";
    const dlvtest::ViewerRun refused =
        dlvtest::runViewer({"--export-csv", QString::fromStdString(log), QString::fromStdString(target)});
    if (::geteuid() != 0) {
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("x.csv")) << refused.err.toStdString();
        EXPECT_FALSE(std::filesystem::exists(target));
    }
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);

    for (const QStringList& wrong : {QStringList{"--export-csv", QString::fromStdString(log)},
                                     QStringList{"--export-csv", "--report", QString::fromStdString(log), "o.csv"},
                                     QStringList{"--export-csv", "--hits", QString::fromStdString(log), "o.csv"}}) {
        const dlvtest::ViewerRun bad = dlvtest::runViewer(wrong);
        EXPECT_EQ(bad.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_EQ(bad.err.count('\n'), 1);
    }
}

TEST(FormatsCommandLine, TablesAndPlotTakeTheFormatToo)
{
    dlvtest::TempLogs dir;
    const QString log = QString::fromStdString(dir.write("a.csv", kLog));
    const QString workspace = QString::fromStdString(dir.write(
        "w.json", R"({"tables":[{"name":"T","x":"MAP","xAxis":[30,40,50],"z":"RPM","stat":"mean"}]})"));
    const dlvtest::ViewerRun tables = dlvtest::runViewer({"--tables", workspace, "--format", "datalog", log});
    EXPECT_EQ(tables.exitCode, 0) << tables.err.toStdString();
    EXPECT_EQ(tables.out.toStdString(), "# T\n\t30\t40\t50\n\t800.00\t900.00\t1000.00\n\n");
    const dlvtest::ViewerRun asMsl = dlvtest::runViewer({"--tables", workspace, "--format", "msl", log});
    EXPECT_NE(asMsl.exitCode, 0);
    EXPECT_TRUE(asMsl.out.isEmpty());
    const QString picture = QString::fromStdString(dir.path("p.png"));
    const dlvtest::ViewerRun plot =
        dlvtest::runViewer({"--plot", workspace, log, "--output", picture, "--format", "datalog"});
    EXPECT_EQ(plot.exitCode, 0) << plot.err.toStdString();
    EXPECT_TRUE(QFile::exists(picture));
}

}  // namespace
