// The command line as a user types it: help, version, mistakes, and file
// names whose bytes are not UTF-8.
#include "support/temp_logs.h"
#include "support/viewer_process.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

using ViewerResult = dlvtest::ViewerRun;

ViewerResult run(const QStringList& arguments)
{
    return dlvtest::runViewer(arguments);
}

}  // namespace

TEST(CommandLine, HelpListsEveryOptionAndExitsZero)
{
    for (const char* option : {"--help", "-h"}) {
        const ViewerResult help = run({option});
        EXPECT_EQ(help.exitCode, 0) << option;
        for (const char* shown : {"Usage: datalog-viewer", "--help", "--version", "--report", "--hits", "LOG"})
            EXPECT_TRUE(help.out.contains(shown)) << shown << "\n" << help.out.toStdString();
        EXPECT_TRUE(help.err.isEmpty());
    }
}

TEST(CommandLine, VersionPrintsTheProgramNameAndExitsZero)
{
    const ViewerResult version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Datalog Viewer 0.5\n");
}

TEST(CommandLine, MistakesGetAOneLineHintAndExitTwo)
{
    for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"-x", "a.csv"},
                                    QStringList{"--report"}, QStringList{"--hits", "a.csv"}}) {
        const ViewerResult wrong = run(args);
        EXPECT_EQ(wrong.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(wrong.out.isEmpty());
        EXPECT_EQ(wrong.err.count('\n'), 1) << wrong.err.toStdString();
        EXPECT_TRUE(wrong.err.startsWith("datalog-viewer: ")) << wrong.err.toStdString();
        EXPECT_TRUE(wrong.err.contains("--help")) << wrong.err.toStdString();
    }
    EXPECT_TRUE(run({"--bogus"}).err.contains("bogus"));
}

TEST(CommandLine, FileNameBytesThatAreNotUtf8ReachTheReader)
{
    dlvtest::TempLogs logs;
    const std::filesystem::path bad = logs.dir() / std::string("bad\xff\xfe.csv");
    std::ofstream(bad, std::ios::binary) << "title\nTime,RPM\n0,800\n90,800\n120,800\n";
    // Through the shell: QProcess would pass the name through a QString.
    const std::string command = std::string("'") + DLV_VIEWER_EXE + "' --report '" + bad.native() + "' > '" +
                                (logs.dir() / "out.txt").native() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream out(logs.dir() / "out.txt");
    std::string first;
    std::getline(out, first);
    EXPECT_EQ(first, "Runtime: 2 minutes (3 takes)");
}
