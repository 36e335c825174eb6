// Reading on a worker thread: the result handed over, the reader's failure,
// cancelling (also by going away) and the progress text.
#include "datalog/log_loader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

using dlv::LogLoader;
using dlv::ReadControl;
using dlv::ReadResult;

// A reader that counts bytes until it is cancelled, then fails as the real one does.
ReadResult readUntilCancelled(const std::filesystem::path&, ReadControl& control)
{
    while (!control.cancel) {
        control.bytesRead += 1024;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ReadResult result;
    result.error = "cancelled";
    return result;
}

TEST(LogLoaderTest, HandsOverWhatTheReaderReadOnAnotherThreadAndSaysWhenDone)
{
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> done{0};
    std::thread::id readerThread;
    LogLoader loader(
        [&](const std::filesystem::path& path, ReadControl&) {
            readerThread = std::this_thread::get_id();
            return dlv::readDataLogBytes("title\nTime,RPM\n0,800\n", path.string());
        },
        "some.csv", [&done] { ++done; });
    const ReadResult result = loader.finish();
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.store->takeCount(), 1);
    EXPECT_EQ(done, 1);
    EXPECT_NE(readerThread, caller);
    EXPECT_FALSE(loader.cancelled());
}

TEST(LogLoaderTest, AReaderThatThrowsBecomesAFailureNamingTheFile)
{
    std::atomic<int> done{0};
    LogLoader loader([](const std::filesystem::path&, ReadControl&) -> ReadResult { throw std::bad_alloc(); },
                     "big\xE9.csv", [&done] { ++done; });
    const ReadResult result = loader.finish();
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, "Cannot read 'big\xC3\xA9.csv': not enough memory") << "Latin-1 name shown as text";
    EXPECT_EQ(done, 1) << "the waiter is woken all the same";
}

TEST(LogLoaderTest, CancelReachesTheReaderAndGoingAwayCancelsAndWaits)
{
    LogLoader loader(readUntilCancelled, "a.csv", nullptr);
    while (loader.bytesRead() < 3 * 1024)
        std::this_thread::yield();
    loader.cancel();
    EXPECT_TRUE(loader.cancelled());
    EXPECT_EQ(loader.finish().error, "cancelled");

    std::atomic<bool> ended{false};
    {
        const LogLoader abandoned(
            [&ended](const std::filesystem::path& path, ReadControl& control) {
                ReadResult result = readUntilCancelled(path, control);
                ended = true;
                return result;
            },
            "b.csv", nullptr);
    }
    EXPECT_TRUE(ended) << "the destructor returned before the reading ended";
}

TEST(LogLoaderTest, ProgressTextShowsTheShownNameAndTheMegabytesRead)
{
    std::atomic<bool> release{false};
    LogLoader loader(
        [&release](const std::filesystem::path&, ReadControl& control) {
            control.bytesRead = 1572864;  // 1.5 MB
            while (!release)
                std::this_thread::yield();
            return ReadResult{};
        },
        "dir/run\xFC.csv", nullptr);
    while (loader.bytesRead() == 0)
        std::this_thread::yield();
    EXPECT_EQ(loader.progressText(), "Reading dir/run\xC3\xBC.csv\n1.5 MB read");
    release = true;
    (void)loader.finish();
}

}  // namespace
