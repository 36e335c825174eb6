// datalog-viewer --compare run as a separate process, as a script would: two
// logs, pools split by "--", --format, and the mistakes that exit 2.
#include "support/temp_logs.h"
#include "support/viewer_process.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

const char* const kWorkspace =
    R"({"tables": [{"name": "BLM", "x": "MAP", "xAxis": [20, 40], "z": "BLM", "stat": "mean"}]})";

class CompareCli : public ::testing::Test {
protected:
    QString file(const std::string& name, const std::string& bytes)
    {
        return QString::fromStdString(m_files.write(name, bytes));
    }
    QString log(const std::string& name, const std::string& takes)
    {
        return file(name, "title\nRPM,MAP,BLM\n" + takes);
    }
    dlvtest::TempLogs m_files;
};

TEST_F(CompareCli, PrintsBMinusAThenThePercentWhateverTheLocale)
{
    const QString workspace = file("w.json", kWorkspace);
    const QString a = log("a.csv", "800,20,120\n800,40,130\n");
    const QString b = log("b.csv", "800,20,126\n800,40,117\n");
    const dlvtest::ViewerRun run =
        dlvtest::runViewer({"--compare", workspace, a, b}, QStringLiteral("de_DE.UTF-8"));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "# BLM (B - A)\n\t20\t40\n\t6.00\t-13.00\n\n"
                                     "# BLM (B - A, %)\n\t20\t40\n\t5.00\t-10.00\n\n");
    // The other way round: A and B change places, and so does the sign.
    const dlvtest::ViewerRun back = dlvtest::runViewer({"--compare", workspace, b, a});
    EXPECT_TRUE(back.out.startsWith("# BLM (B - A)\n\t20\t40\n\t-6.00\t13.00\n")) << back.out.toStdString();
}

TEST_F(CompareCli, PoolsTheLogsOnEachSideOfTheSeparator)
{
    const QString workspace = file("w.json", kWorkspace);
    const QString a1 = log("a1.csv", "800,20,120\n");
    const QString a2 = log("a2.csv", "800,20,124\n800,40,100\n");
    const QString b1 = log("b1.csv", "800,20,130\n800,40,110\n");
    const QString b2 = log("b2.csv", "800,40,120\n");
    // A: 122 at 20, 100 at 40; B: 130 at 20, 115 at 40.
    const dlvtest::ViewerRun run = dlvtest::runViewer({"--compare", workspace, a1, a2, "--", b1, b2});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "# BLM (B - A)\n\t20\t40\n\t8.00\t15.00\n\n"
                                     "# BLM (B - A, %)\n\t20\t40\n\t6.56\t15.00\n\n");
    // One log a side with the separator is the plain form; options may follow.
    const dlvtest::ViewerRun plain = dlvtest::runViewer({"--compare", workspace, a1, b1});
    const dlvtest::ViewerRun split = dlvtest::runViewer({"--compare", workspace, "--format", "datalog", a1, "--", b1});
    EXPECT_EQ(split.exitCode, 0) << split.err.toStdString();
    EXPECT_EQ(split.outBytes, plain.outBytes);
}

TEST_F(CompareCli, ReadsTheLogsAsFormatSays)
{
    const QString workspace = file("w.json", kWorkspace);
    const QString a = log("a.csv", "800,20,120\n");
    const QString b = log("b.csv", "800,20,126\n");
    const dlvtest::ViewerRun asMlg = dlvtest::runViewer({"--compare", workspace, "--format", "mlg", a, b});
    EXPECT_EQ(asMlg.exitCode, 1);
    EXPECT_TRUE(asMlg.out.isEmpty());
    EXPECT_TRUE(asMlg.err.contains("a.csv")) << asMlg.err.toStdString();
}

TEST_F(CompareCli, FailuresExitAsTablesDoes)
{
    const QString workspace = file("w.json", kWorkspace);
    const QString a = log("a.csv", "800,20,120\n");
    const dlvtest::ViewerRun missing =
        dlvtest::runViewer({"--compare", workspace, a, QString::fromStdString(m_files.path("gone.csv"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("gone.csv")) << missing.err.toStdString();

    const dlvtest::ViewerRun bad = dlvtest::runViewer({"--compare", file("b.json", R"({"tables": 1})"), a, a});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("b.json")) << bad.err.toStdString();

    for (const QStringList& wrong : {QStringList{"--compare", workspace, a}, QStringList{"--compare", workspace, a, a, a},
                                     QStringList{"--compare", workspace, "--", a}, QStringList{"--compare", workspace, a, "--"},
                                     QStringList{"--compare", workspace, a, a, "--tables", workspace},
                                     QStringList{"--compare", workspace, a, a, "--hits"},
                                     QStringList{"--compare", workspace, a, a, "--export-csv"}}) {
        const dlvtest::ViewerRun run = dlvtest::runViewer(wrong);
        EXPECT_EQ(run.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("--compare")) << run.err.toStdString();
    }
    EXPECT_TRUE(dlvtest::runViewer({"--help"}).out.contains("--compare WORKSPACE A.csv B.csv"));
}

}  // namespace
