// Which logs the streamed commands stream: those of the own format, as
// streamDataLog does; a log of another format, or what is no regular file,
// is left to the whole reading untouched.
#include "datalog/log_formats.h"
#include "datalog/own_log_stream.h"
#include "support/odd_logs.h"
#include "support/temp_logs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

struct Streamed {
    std::optional<std::vector<dlv::ReadWarning>> warnings;
    std::vector<std::string> takes;  // "firstTake: text" of every take handed over
};

template <typename Stream>
Streamed collect(Stream&& stream)
{
    Streamed out;
    out.warnings = stream([&](const dlv::TakeStore& chunk, int firstTake) {
        for (int t = 0; t < chunk.takeCount(); ++t)
            out.takes.push_back(std::to_string(firstTake + t) + ": " + std::string(chunk.DataLines(t)));
    });
    return out;
}

TEST(OwnLogStream, StreamsALogOfTheOwnFormatAsStreamDataLogDoes)
{
    dlvtest::TempLogs files;
    for (const std::string& bytes : dlvtest::edgeLogs()) {
        const std::string path = files.write("log.csv", bytes);
        const Streamed own = collect([&](const dlv::TakeChunkConsumer& consume) {
            return dlv::streamOwnLog(path, 64, consume, dlv::ChunkIndex::Lines);
        });
        const Streamed plain = collect([&](const dlv::TakeChunkConsumer& consume) {
            return dlv::streamDataLog(path, 64, consume, dlv::ChunkIndex::Lines);
        });
        ASSERT_EQ(own.warnings.has_value(), plain.warnings.has_value()) << bytes;
        if (plain.warnings) {
            EXPECT_EQ(dlvtest::warningsText(*own.warnings), dlvtest::warningsText(*plain.warnings)) << bytes;
        }
        EXPECT_EQ(own.takes, plain.takes) << bytes;
    }
}

TEST(OwnLogStream, LeavesOtherFormatsFifosAndMissingFilesToTheWholeReading)
{
    dlvtest::TempLogs files;
    // An MLG log starts with its magic bytes; the rest would read as a text log.
    const std::string mlg = files.write("log.mlg", std::string("MLVLG\0\0\1", 8) + "\nA,B\n1,2\n");
    std::vector<std::string> refused = {mlg, files.path("missing.csv")};
    const std::string fifo = files.path("fifo.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    refused.push_back(fifo);  // opened by no one: a blocking open would wait forever
    for (const std::string& path : refused) {
        bool called = false;
        const auto warnings = dlv::streamOwnLog(path, 1 << 16, [&](const dlv::TakeStore&, int) { called = true; });
        EXPECT_FALSE(warnings.has_value()) << path;
        EXPECT_FALSE(called) << path;
    }
    // The whole reading then tells what is wrong, naming the file.
    const dlv::ReadResult missing = dlv::readLog(files.path("missing.csv"), dlv::LogFormat::Auto);
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.error.find("missing.csv"), std::string::npos) << missing.error;
    const dlv::ReadResult pipe = dlv::readLog(fifo, dlv::LogFormat::Auto);
    EXPECT_FALSE(pipe.ok());
    EXPECT_NE(pipe.error.find("not a regular file"), std::string::npos) << pipe.error;
}

}  // namespace
