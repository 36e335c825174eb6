// datalog-viewer --tables run as a separate process, as a script would.
#include "support/temp_logs.h"
#include "support/viewer_process.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct TablesRun {
    int exitCode;
    QByteArray out;
    QString err;
};

// A decimal comma where the machine has it; the output keeps the point.
TablesRun runTables(const QStringList& arguments)
{
    const dlvtest::ViewerRun run = dlvtest::runViewer(QStringList{"--tables"} + arguments, QStringLiteral("de_DE.UTF-8"));
    return {run.exitCode, run.outBytes, run.err};
}

TEST(TablesCli, BundledSampleGivesTablesForScripts)
{
    dlvtest::TempLogs files;
    const std::string workspace = files.write("w.json", R"({
      "channels": [{"name": "Lean", "expr": "BLM > 128"}],
      "tables": [{"name": "BLM", "x": "MAP", "xAxis": [20, 60, 100], "y": "RPM", "yAxis": [800, 2400],
                  "z": "BLM", "stat": "mean"},
                 {"name": "Lean takes", "x": "Lean", "xAxis": [0, 1], "z": "BLM", "stat": "count"}]})");
    const TablesRun run = runTables({QString::fromStdString(workspace), QStringLiteral(DLV_SOURCE_DIR "/examples/sample.csv")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QList<QByteArray> lines = run.out.split('\n');
    ASSERT_EQ(lines.size(), 4 + 1 + 4 + 1);  // two tables and the end after the last line feed
    EXPECT_EQ(lines[0], "# BLM");
    EXPECT_EQ(lines[1], "\t20\t60\t100");
    EXPECT_TRUE(lines[2].startsWith("800\t"));
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "# Lean takes");
    EXPECT_FALSE(run.out.contains(','));  // the point, whatever the locale
    const QList<QByteArray> counts = lines[7].split('\t');
    ASSERT_EQ(counts.size(), 3);
    EXPECT_EQ(counts[1].toInt() + counts[2].toInt(), 1500);  // every take of the sample has a BLM value
}

TEST(TablesCli, FailuresPrintNothingOnStandardOutput)
{
    dlvtest::TempLogs files;
    const QString workspace = QString::fromStdString(files.write("w.json", R"({"tables": []})"));
    const TablesRun missing = runTables({workspace, QString::fromStdString(files.path("gone.csv"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("gone.csv")) << missing.err.toStdString();
    const TablesRun bad = runTables({QString::fromStdString(files.write("b.json", R"({"tables": [], "x": 1})")),
                                     QStringLiteral(DLV_SOURCE_DIR "/examples/sample.csv")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("unknown key \"x\"")) << bad.err.toStdString();
    EXPECT_EQ(runTables({workspace}).exitCode, 2);
}

}  // namespace
