// Logs mapped in place of copied: what a reading holds stays as it was read
// whatever a writer does to the file afterwards, and a file someone has
// open for writing is copied as before.
#include "datalog/file_mapping.h"
#include "datalog/take_store.h"
#include "support/temp_logs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A log of takes "t,t*2" for t = 0 .. takes - 1.
std::string countingLog(int takes)
{
    std::string log = "title\nA,B\n";
    for (int t = 0; t < takes; ++t)
        log += std::to_string(t) + "," + std::to_string(t * 2) + "\n";
    return log;
}

// Whether this system lets the tests' process map a file under a lease.
bool leasesWork(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool mapped = fd >= 0 && dlv::FileMapping::map(fd) != nullptr;
    if (fd >= 0)
        ::close(fd);
    return mapped;
}

::testing::AssertionResult countsUpTo(const dlv::TakeStore& store, int takes)
{
    if (store.takeCount() != takes)
        return ::testing::AssertionFailure() << store.takeCount() << " takes, not " << takes;
    for (int t = 0; t < takes; ++t)
        if (store.DataLines(t) != std::to_string(t) + "," + std::to_string(t * 2))
            return ::testing::AssertionFailure() << "take " << t << " reads '" << store.DataLines(t) << "'";
    return ::testing::AssertionSuccess();
}

TEST(MappedLogs, KeepWhatWasReadWhenTheFileIsCutBackAndRewrittenAfterwards)
{
    dlvtest::TempLogs logs;
    const std::string path = logs.write("log.csv", countingLog(200000));
    if (!leasesWork(path))
        GTEST_SKIP() << "no file leases here: logs are copied";
    const dlv::ReadResult read = dlv::readDataLog(path);
    ASSERT_TRUE(read.ok()) << read.error;
    // A logger starting again: the file cut to nothing, then written anew
    // from another thread; both wait until the reading's bytes are its own.
    std::thread logger([&] {
        ASSERT_EQ(::truncate(path.c_str(), 0), 0);
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const std::string other = "other\nX\n1\n";
        ASSERT_EQ(::write(fd, other.data(), other.size()), static_cast<ssize_t>(other.size()));
        ::close(fd);
    });
    logger.join();
    EXPECT_TRUE(countsUpTo(*read.store, 200000));
    // The next reading sees the new file.
    const dlv::ReadResult again = dlv::readDataLog(path);
    ASSERT_TRUE(again.ok()) << again.error;
    EXPECT_EQ(again.store->takeCount(), 1);
}

// The window reads a log on a worker thread that may be gone by the time a
// logger cuts the file: the break must still be heard, at once, and what
// was read stay readable.
TEST(MappedLogs, ALogReadOnAThreadThatEndedKeepsItsTakesWhenCut)
{
    dlvtest::TempLogs logs;
    const std::string path = logs.write("log.csv", countingLog(50000));
    if (!leasesWork(path))
        GTEST_SKIP() << "no file leases here: logs are copied";
    std::optional<dlv::ReadResult> read;
    std::thread([&] { read = dlv::readDataLog(path); }).join();
    ASSERT_TRUE(read && read->ok());
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);  // waits for the copy, not the system's break time
    EXPECT_TRUE(countsUpTo(*read->store, 50000));
}

TEST(MappedLogs, AFileOpenForWritingIsCopiedAndReadAlike)
{
    dlvtest::TempLogs logs;
    const std::string path = logs.write("log.csv", countingLog(5000));
    const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    EXPECT_FALSE(leasesWork(path)) << "a file being written is never mapped";
    const dlv::ReadResult read = dlv::readDataLog(path);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_TRUE(countsUpTo(*read.store, 5000));
    ::close(writer);
}

// The takes a stream hands over, chunk by chunk, as text.
std::optional<std::vector<std::string>> streamedTakes(const std::string& path, std::size_t chunkBytes)
{
    std::vector<std::string> takes;
    const auto warnings = dlv::streamDataLog(
        path, chunkBytes,
        [&](const dlv::TakeStore& chunk, int firstTake) {
            EXPECT_EQ(firstTake, static_cast<int>(takes.size()));
            for (int t = 0; t < chunk.takeCount(); ++t)
                takes.emplace_back(chunk.DataLines(t));
        },
        dlv::ChunkIndex::Lines);
    if (!warnings)
        return std::nullopt;
    return takes;
}

TEST(MappedLogs, StreamTheSameTakesAsWhenCopiedAndStillRefuseALineLongerThanAChunk)
{
    dlvtest::TempLogs logs;
    std::string log = countingLog(30000);
    log += std::string(5000, '7') + "\r\n1,2\r3,4";  // a long line, a CR LF, a lone CR, no final line end
    const std::string path = logs.write("log.csv", log);
    for (const std::size_t chunkBytes : {std::size_t{6000}, std::size_t{70000}, std::size_t{1} << 24}) {
        SCOPED_TRACE("chunks of " + std::to_string(chunkBytes) + " bytes");
        const std::optional<std::vector<std::string>> mapped = streamedTakes(path, chunkBytes);
        const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);  // no lease: copied
        ASSERT_GE(writer, 0);
        const std::optional<std::vector<std::string>> copied = streamedTakes(path, chunkBytes);
        ::close(writer);
        ASSERT_TRUE(mapped && copied);
        EXPECT_EQ(*mapped, *copied);
        ASSERT_EQ(mapped->size(), 30003u);
        EXPECT_EQ(mapped->back(), "3,4");
    }
    EXPECT_FALSE(streamedTakes(path, 4000).has_value()) << "a line longer than a chunk";
}

}  // namespace
