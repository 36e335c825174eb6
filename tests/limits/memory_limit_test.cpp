// The program under a real limit of its address space or beyond the
// machine's memory: refusals with a message, never an abort, and nothing left
// behind. AddressSanitizer cannot run under such limits, so these tests have
// an executable of their own that the plain build runs (label "limits").
#include "datalog/parallel.h"
#include "datalog/take_store.h"
#include "support/address_space.h"
#include "support/child_process.h"
#include "support/read_outcome.h"
#include "support/temp_logs.h"

#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <cerrno>
#include <cstring>
#include <string>

using dlv::readDataLog;
using dlvtest::addressSpaceInUse;
using dlvtest::ChildOutcome;
using dlvtest::outcomeOf;
using dlvtest::runInChild;

namespace {

// A file of the given size that takes no disk space: a title, a names line and
// then zeros.
std::string sparseLog(const dlvtest::TempLogs& logs, const std::string& name, off_t size)
{
    const std::string path = logs.write(name, "t\nA\n");
    if (::truncate(path.c_str(), size) != 0)
        ADD_FAILURE() << "cannot size " << path << ": " << std::strerror(errno);
    return path;
}

}  // namespace

TEST(MemoryLimit, LogLargerThanTheAllowedAddressSpaceIsAClearError)
{
#ifdef DLV_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
    dlvtest::TempLogs logs;
    const std::string big = sparseLog(logs, "big.csv", off_t{1} << 30);
    const std::string small = logs.write("small.csv", "t\nA\n1\n2\n");
    const ChildOutcome outcome = runInChild([&] {
        const rlimit limit{addressSpaceInUse() + (std::size_t{256} << 20), RLIM_INFINITY};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            return std::string("no limit");
        // The failed read leaves nothing behind: a small log reads afterwards.
        return outcomeOf(readDataLog(big)) + "|" + outcomeOf(readDataLog(small));
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.status;
    EXPECT_EQ(outcome.text, "Cannot read '" + big + "': not enough memory for a log of 1024 MB|ok 2");
#endif
}

TEST(MemoryLimit, IndexLargerThanTheAllowedAddressSpaceIsAClearError)
{
#ifdef DLV_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
    // 32 MB of empty takes: the bytes fit, the index of 32 million takes
    // (about 200 MB) does not.
    dlvtest::TempLogs logs;
    const std::string path = logs.write("lines.csv", "t\nA\n" + std::string(32u << 20, '\n'));
    const ChildOutcome outcome = runInChild([&] {
        const rlimit limit{addressSpaceInUse() + (std::size_t{192} << 20), RLIM_INFINITY};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            return std::string("no limit");
        return outcomeOf(readDataLog(path));
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.status;
    // The message names what did not fit: the index, not the file.
    EXPECT_EQ(outcome.text,
              "Cannot read '" + path + "': not enough memory for the index of its lines (the log itself, 33 MB, fitted)");
#endif
}

TEST(MemoryLimit, WhetherALogFitsGrowsWithTheLimitAndNeverTurnsBack)
{
#ifdef DLV_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limits allow";
#else
    // 20 MB of short takes: read and indexed in parts on several threads
    // when there is room, with an index bigger than the log.
    dlvtest::TempLogs logs;
    std::string log = "t\nA,B\n";
    while (log.size() < (20u << 20))
        log += "1,2\n";
    const std::string path = logs.write("short_takes.csv", log);
    // One letter per limit, from tight to generous: r refused for memory, o
    // read. Limits count from what the process has mapped, some of which
    // earlier tests may have left free for reuse; the lowest leaves no room
    // even for the log's bytes, which are always mapped anew.
    std::string outcomes;
    for (std::size_t megabytes = 8; megabytes <= 200; megabytes += 4) {
        const ChildOutcome outcome = runInChild([&] {
            const rlimit limit{addressSpaceInUse() + (megabytes << 20), RLIM_INFINITY};
            if (::setrlimit(RLIMIT_AS, &limit) != 0)
                return std::string("no limit");
            return outcomeOf(readDataLog(path));
        });
        ASSERT_TRUE(outcome.exited) << megabytes << " MB: signal " << outcome.status;
        if (outcome.text.rfind("ok ", 0) == 0)
            outcomes += 'o';
        else if (outcome.text.find("not enough memory") != std::string::npos)
            outcomes += 'r';
        else
            ADD_FAILURE() << megabytes << " MB: " << outcome.text;
    }
    EXPECT_EQ(outcomes.front(), 'r') << outcomes;
    EXPECT_EQ(outcomes.back(), 'o') << outcomes;
    EXPECT_EQ(outcomes.find("or"), std::string::npos) << outcomes;
#endif
}

TEST(MemoryLimit, LogLargerThanTheMachinesMemoryIsRefusedBeforeReading)
{
    const auto physical = static_cast<off_t>(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    dlvtest::TempLogs logs;
    const std::string path = sparseLog(logs, "huge.csv", physical + (off_t{1} << 20));
    // Refused before any byte is read; should that ever change, the timer
    // ends the child long before it could fill the machine's memory.
    const ChildOutcome outcome = runInChild([&] {
        const itimerval timer{{0, 0}, {1, 0}};
        ::setitimer(ITIMER_REAL, &timer, nullptr);
        return outcomeOf(readDataLog(path));
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.status;
    EXPECT_EQ(outcome.text.rfind("Cannot read '" + path + "': not enough memory for a log of ", 0), 0u) << outcome.text;
}

// ------------------------------------------------------------ fuzzing

TEST(MemoryLimit, TheReportRunningOutOfMemoryAnywhereEndsWithAMessageNeverAnAbort)
{
#ifdef DLV_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer cannot start under an address-space limit";
#else
    // A million names and one take: reading fits in less memory than the
    // report of a million parameters, so some limits fail in each.
    dlvtest::TempLogs logs;
    std::string log = "t\n";
    for (int p = 0; p < 1000000; ++p)
        log += "P" + std::to_string(p) + ",";
    const QString path = QString::fromStdString(logs.write("million.csv", log + "\n1\n"));
    for (int megabytes = 110; megabytes <= 210; megabytes += 20) {
        QProcess process;
        process.setChildProcessModifier([megabytes] {
            const rlimit limit{static_cast<rlim_t>(megabytes) << 20, static_cast<rlim_t>(megabytes) << 20};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        process.start(QStringLiteral(DLV_VIEWER_EXE), {"--report", path});
        process.waitForFinished(60000);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << megabytes << " MB: " << err.toStdString();
        if (err.contains("error while loading shared libraries"))
            continue;  // too little even to start
        EXPECT_TRUE(process.exitCode() == 0 || process.exitCode() == 1) << megabytes << " MB";
        if (process.exitCode() == 1) {
            EXPECT_TRUE(err.contains("not enough memory")) << megabytes << " MB: " << err.toStdString();
        }
    }
#endif
}

TEST(MemoryLimit, PartsThatMeetRunOnTheThreadsThatCouldStart)
{
#ifdef DLV_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
    // No room for a thread's stack: the parts asked for are cut among those
    // that started (here the caller alone), which still meet at the barrier
    // for every round and end.
    const ChildOutcome outcome = runInChild([] {
        const rlimit limit{addressSpaceInUse() + (std::size_t{2} << 20), RLIM_INFINITY};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            return std::string("no limit");
        std::atomic<int> met{0};
        std::size_t told = 0;
        dlv::runTogether(4, [&](std::size_t, std::size_t parts, std::barrier<>& meet) {
            told = parts;
            for (int round = 0; round < 10; ++round) {
                ++met;
                meet.arrive_and_wait();
            }
        });
        return std::to_string(told) + " " + std::to_string(met.load());
    });
    ASSERT_TRUE(outcome.exited) << "signal " << outcome.status;
    EXPECT_EQ(outcome.text, "1 10");
#endif
}
