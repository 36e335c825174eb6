// What the reader tells from a file's first bytes: a file that is plainly not
// a log (a program, a picture, an archive), and a take 0 without numbers (a
// line of units read as a take), the same whether read whole or streamed.
#include "../../fuzz/fuzz_checks.h"
#include "datalog/not_a_log.h"
#include "datalog/take_store.h"

#include <gtest/gtest.h>

#include <string>

using dlv::ReadWarning;

namespace {

// Bytes like a program's: a magic number, runs of NUL, addresses, names
// between NULs and bytes of no UTF-8 character; a few line ends, no line of text.
std::string programBytes(std::size_t size)
{
    std::string bytes = std::string("\x7f" "ELF\x02\x01\x01", 7);
    for (std::size_t i = 0; bytes.size() < size; ++i) {
        bytes += std::string(5, '\0');
        bytes += static_cast<char>(0x80 + i % 64);
        bytes += i % 97 == 0 ? "\n" : "";
        bytes += i % 13 == 0 ? std::string("libc.so.6") + '\0' + "\x03\xd0" : std::string("\x48\x89\xe5\x01", 4);
    }
    bytes.resize(size);
    return bytes;
}

bool hasFirstTakeWarning(const std::vector<ReadWarning>& warnings)
{
    for (const ReadWarning& warning : warnings)
        if (warning.kind == ReadWarning::Kind::NoNumbersInFirstTake)
            return true;
    return false;
}

}  // namespace

TEST(NotALog, ProgramsPicturesAndArchivesAreToldWithTheShareOfBytesThatAreNoText)
{
    const std::string program = programBytes(200000);
    const std::optional<std::string> reason = dlv::notALogReason(program);
    ASSERT_TRUE(reason);
    EXPECT_EQ(reason->rfind("is not a text file: ", 0), 0u) << *reason;
    EXPECT_NE(reason->find("of its first 65,536 bytes are control characters or not UTF-8"), std::string::npos)
        << *reason;
    // Only the head counts: what follows it changes nothing.
    EXPECT_EQ(dlv::notALogReason(program.substr(0, dlv::kNotALogHeadBytes) + "t\nA,B\n1,2\n"), reason);

    // Compressed data: few control bytes, but most bytes of no UTF-8 character.
    std::string packed = "\x1f\x8b\x08";
    for (int i = 0; packed.size() < 5000; ++i)
        packed += static_cast<char>(0xA0 + (i * 7) % 90);
    const std::optional<std::string> small = dlv::notALogReason(packed);
    ASSERT_TRUE(small);
    EXPECT_NE(small->find("of its 5,000 bytes"), std::string::npos) << *small;
}

TEST(NotALog, AnythingWithALineOfTextOrMostlyTextIsLeftToTheReader)
{
    EXPECT_FALSE(dlv::notALogReason(""));
    EXPECT_FALSE(dlv::notALogReason("t\nTime,RPM\n0,800\n1,900\n"));
    // Logs with odd bytes still open, with the reader's warnings.
    EXPECT_FALSE(dlv::notALogReason("t\nA,B\n" + std::string(3000, '\0') + "\n1,2\n"));
    EXPECT_FALSE(dlv::notALogReason("t\nTemp \xb0" "C,RPM\n1,2\n"));
    EXPECT_FALSE(dlv::notALogReason("t\nA,B\n1," + std::string(100000, '\0')));  // names of one letter each
    // One line of text among binary bytes is enough: it may be a log's names.
    EXPECT_FALSE(dlv::notALogReason(programBytes(3000) + "\nTime,RPM\n" + programBytes(3000)));
    // A line of text cut off by the end of the head counts too.
    const std::string head = programBytes(dlv::kNotALogHeadBytes - 6) + "\nTime,";
    EXPECT_FALSE(dlv::notALogReason(head + "RPM\n"));
    // A quarter of the bytes is the line (one line, not text for its control bytes).
    EXPECT_FALSE(dlv::notALogReason(std::string(249, '\x01') + std::string(751, 'x')));
    EXPECT_TRUE(dlv::notALogReason(std::string(250, '\x01') + std::string(750, 'x')));
    // A log of one parameter with values of NUL bytes: its title and names
    // lines are too short to count, but it starts as a log does.
    EXPECT_FALSE(dlv::notALogReason("t\nA\n" + std::string(70000, '\0')));
    EXPECT_FALSE(dlv::notALogReason("\r\nRPM\r\n" + std::string(70000, '\x01')));
    EXPECT_TRUE(dlv::notALogReason("t\n\n" + std::string(70000, '\0'))) << "no names";
    EXPECT_TRUE(dlv::notALogReason("\x7f" "E\x02\nA\n" + std::string(70000, '\0'))) << "a title of control bytes";
    // A binary format a reader knows is not refused here.
    EXPECT_FALSE(dlv::notALogReason(std::string("MLVLG\0\0\x01", 8) + std::string(4000, '\0')));
}

TEST(FirstTake, ATakeZeroWithoutNumbersIsWarnedOfWholeAndStreamed)
{
    const std::string units = "title\nTime,RPM,MAP\ns,rpm,kPa\n0,800,30\n0.1,900,35\n";
    const dlv::ReadResult whole = dlv::readDataLogBytes(units);
    ASSERT_TRUE(whole.ok());
    ASSERT_TRUE(hasFirstTakeWarning(whole.warnings));
    for (const ReadWarning& warning : whole.warnings) {
        if (warning.kind == ReadWarning::Kind::NoNumbersInFirstTake) {
            EXPECT_EQ(warning.message, "take 0 (line 3) holds no numbers: is it a line of units?");
        }
    }
    // Streamed a few takes at a time, it says the same.
    const auto streamed = dlv::streamDataLogBytes(units, 16, [](const dlv::TakeStore&, int) {});
    ASSERT_TRUE(streamed);
    EXPECT_TRUE(hasFirstTakeWarning(*streamed));

    // One number anywhere in take 0 is enough; the other takes are not looked at.
    EXPECT_FALSE(hasFirstTakeWarning(dlv::readDataLogBytes("t\nA,B\nrpm, 12 \nx,y\n").warnings));
    EXPECT_FALSE(hasFirstTakeWarning(dlv::readDataLogBytes("t\nA,B\n1,2\ns,rpm\n").warnings));
    EXPECT_TRUE(hasFirstTakeWarning(dlv::readDataLogBytes("t\nA,B\n,\n1,2\n").warnings));
    // A log separated by ';' has its own warning, which says why.
    const dlv::ReadResult semicolons = dlv::readDataLogBytes("t\nA;B\n1;2\n3;4\n");
    EXPECT_FALSE(hasFirstTakeWarning(semicolons.warnings));
    EXPECT_EQ(semicolons.warnings.size(), 1u);
}

TEST(NotALog, AgreesWithThePlainReferenceTheFuzzerUses)
{
    for (const std::string& head :
         {std::string(), std::string("\x7f" "ELF\0\0\n\x90,", 9), std::string("A,B"), std::string("\x01\x02\x03"),
          std::string("\xc3\xa9\xc3\xa9\x01\x01\x01"), std::string("\xe2\x82\x01\x01"), programBytes(100000),
          std::string("\xfe\x01\x02\xff"), std::string("\xfe\x01\nabcd"), std::string("MLVLG\0\x01", 7), std::string("t\r\nA\r\0\0\0\0\0\0", 11),
          std::string("t\r\r\0\0\0\0\0\0", 9), std::string("\xc3\nA\0\0\0\0\0", 9)})
        EXPECT_EQ(dlv::fuzzcheck::checkNotALog(head), "") << head.size();
}
