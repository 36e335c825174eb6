#include "datalog/take_store.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

using dlv::readDataLog;
using dlv::readDataLogBytes;
using dlv::TakeStore;

namespace {

const TakeStore& read(const std::string& bytes)
{
    static dlv::ReadResult keep;
    keep = readDataLogBytes(bytes);
    EXPECT_TRUE(keep.ok()) << keep.error;
    return *keep.store;
}

std::vector<std::string> names(const TakeStore& store)
{
    return store.ParamNames();
}

class TempDir {
public:
    TempDir() : m_path(std::filesystem::temp_directory_path() / ("dlv-store-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::filesystem::path write(const std::string& name, const std::string& bytes) const
    {
        const auto file = m_path / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    const std::filesystem::path& path() const { return m_path; }
private:
    std::filesystem::path m_path;
};

}  // namespace

TEST(TakeStoreReading, FiveLineLogGivesNamesAndThreeTakes)
{
    const TakeStore& s = read("title\nTime,RPM,MAP\n1, 800 ,30\n2,900,40\n3,1000,50\n");
    EXPECT_EQ(names(s), (std::vector<std::string>{"Time", "RPM", "MAP", ""}));
    EXPECT_EQ(s.lastTake(), 2);
    EXPECT_EQ(s.DataLines(0), "1, 800 ,30");
}

TEST(TakeStoreReading, NamesStopAtTheFirstEmptyField)
{
    EXPECT_EQ(names(read("t\nTime,,MAP\n1\n")), (std::vector<std::string>{"Time", ""}));
    EXPECT_EQ(names(read("t\nA,B,\n1\n")), (std::vector<std::string>{"A", "B", ""}));
    EXPECT_EQ(names(read("t\n\n1\n")), (std::vector<std::string>{""}));
    EXPECT_EQ(names(read("t\n Lead,B\n1\n")), (std::vector<std::string>{" Lead", "B", ""}));
}

TEST(TakeStoreReading, EveryKindOfLineEndEndsALine)
{
    const TakeStore& s = read("t\r\nA,B\r1,2\n3,4\r\n5,6\r7,8");
    EXPECT_EQ(names(s), (std::vector<std::string>{"A", "B", ""}));
    ASSERT_EQ(s.takeCount(), 4);
    EXPECT_EQ(s.DataLines(0), "1,2");
    EXPECT_EQ(s.DataLines(1), "3,4");
    EXPECT_EQ(s.DataLines(2), "5,6");
    EXPECT_EQ(s.DataLines(3), "7,8");
}

TEST(TakeStoreReading, LineEndAfterTheLastTakeAddsNoTakeButAnEmptyLineDoes)
{
    EXPECT_EQ(read("t\nA\n1\n2\n").takeCount(), 2);
    EXPECT_EQ(read("t\nA\n1\n2\r\n").takeCount(), 2);
    const TakeStore& s = read("t\nA\n1\n2\n\n");
    ASSERT_EQ(s.takeCount(), 3);
    EXPECT_EQ(s.DataLines(2), "");
    EXPECT_EQ(s.Get_Param_data(0, 2), std::optional<std::string_view>(""));
    // CR LF CR: the CR after the pair ends an empty line of its own.
    EXPECT_EQ(read("t\nA\n1\r\n\r").takeCount(), 2);
}

TEST(TakeStoreReading, CrLfSplitAcrossVectorChunksIsOneLineEnd)
{
    // Put the CR at every position relative to the 16-byte chunks.
    for (int pad = 0; pad < 40; ++pad) {
        const std::string line(static_cast<std::size_t>(pad), '7');
        const TakeStore& s = read("t\nA,B\n" + line + ",1\r\n" + line + ",2\r\n" + line + ",3");
        ASSERT_EQ(s.takeCount(), 3) << pad;
        EXPECT_EQ(s.Get_Param_data(1, 1), std::optional<std::string_view>("2")) << pad;
        EXPECT_EQ(s.Get_Param_data(1, 2), std::optional<std::string_view>("3")) << pad;
    }
}

TEST(TakeStoreAnswers, TakeZeroIsARealTakeAndOutsideTakesHaveNoValue)
{
    const TakeStore& s = read("title\nTime,RPM,MAP\n1, 800 ,30\n2,900,40\n3,1000,50\n");
    EXPECT_EQ(s.Get_Param_data(1, 0), std::optional<std::string_view>("800"));
    EXPECT_EQ(s.Get_Param_data(1, 2), std::optional<std::string_view>("1000"));
    EXPECT_EQ(s.Get_Param_data(1, 3), std::nullopt);
    EXPECT_EQ(s.Get_Param_data(1, -1), std::nullopt);
    // A field the line does not have is an empty text, not no value.
    EXPECT_EQ(s.Get_Param_data(3, 1), std::optional<std::string_view>(""));
    EXPECT_EQ(s.Get_Param_data(-1, 1), std::optional<std::string_view>(""));
}

TEST(TakeStoreAnswers, TrimsSpacesButNotTabs)
{
    const TakeStore& s = read("t\nA,B\n  5  ,\t6\t\n");
    EXPECT_EQ(s.Get_Param_data(0, 0), std::optional<std::string_view>("5"));
    EXPECT_EQ(s.Get_Param_data(1, 0), std::optional<std::string_view>("\t6\t"));
    EXPECT_EQ(s.field(0, 0), "  5  ");
}

TEST(TakeStoreAnswers, LongLinesKeepExactFieldPositions)
{
    // Fields past 64 KiB into a line need wider offsets than short lines.
    std::string longLine;
    for (int i = 0; i < 30000; ++i)
        longLine += std::to_string(i) + ",";
    longLine += "end";
    const TakeStore& s = read("t\nA,B\n1,2\n" + longLine + "\n3,4\n");
    ASSERT_EQ(s.takeCount(), 3);
    EXPECT_EQ(s.Get_Param_data(0, 0), std::optional<std::string_view>("1"));
    EXPECT_EQ(s.Get_Param_data(29999, 1), std::optional<std::string_view>("29999"));
    EXPECT_EQ(s.Get_Param_data(30000, 1), std::optional<std::string_view>("end"));
    EXPECT_EQ(s.Get_Param_data(30001, 1), std::optional<std::string_view>(""));
    EXPECT_EQ(s.Get_Param_data(1, 2), std::optional<std::string_view>("4"));
    EXPECT_EQ(s.fieldCount(1), 30001);
}

TEST(TakeStoreAnswers, LinesAroundSixtyFourBytesGiveEveryFieldCountAndWidth)
{
    // Lines of up to 64 bytes with their line end keep no anchors; the ones
    // just longer do. Every length around that edge, with up to 63 commas,
    // every line end, a field wider than the rest and a last line without
    // an end, against the line cut by hand.
    std::vector<std::string> lines;
    for (std::size_t length = 50; length <= 70; ++length)
        for (const std::size_t every : {1, 2, 3, 9}) {
            std::string line;
            for (std::size_t i = 0; line.size() < length; ++i)
                line += (i % every == every - 1) ? ',' : static_cast<char>('0' + i % 10);
            if (length % 4 == 0)
                line.replace(0, 12, "123456789012");  // one wide field
            lines.push_back(line);
        }
    lines.push_back(std::string(62, ','));
    lines.push_back(std::string(64, ','));  // last: 64 commas, no line end
    std::string log = "t\nA,B,C,D,E,F,G,H,I,J,K,L,M,N,O,P,Q,R,S,T\n";
    const char* ends[] = {"\n", "\r\n", "\r"};
    for (std::size_t k = 0; k < lines.size(); ++k)
        log += lines[k] + (k + 1 < lines.size() ? ends[k % 3] : "");
    const TakeStore& s = read(log);
    ASSERT_EQ(s.takeCount(), static_cast<int>(lines.size()));
    for (std::size_t t = 0; t < lines.size(); ++t) {
        std::vector<std::string> cut;
        std::size_t start = 0;
        while (true) {
            const std::size_t comma = lines[t].find(',', start);
            cut.push_back(lines[t].substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        const int take = static_cast<int>(t);
        ASSERT_EQ(s.fieldCount(take), static_cast<int>(cut.size())) << lines[t];
        std::size_t widest = 0;
        for (std::size_t p = 0; p <= cut.size(); ++p) {
            const std::string expected = p < cut.size() ? cut[p] : "";
            ASSERT_EQ(s.field(static_cast<long long>(p), take), expected) << lines[t] << " field " << p;
            if (p <= 20 && p < cut.size())
                widest = std::max(widest, expected.size());
        }
        EXPECT_EQ(s.maxShownValueBytes(take), widest) << lines[t];
    }
}

TEST(TakeStoreAnswers, WidestShownValueCountsOnlyNamedFieldsAndTrims)
{
    // Two names: fields 0..2 are shown (the row after the last name shows field 2).
    const TakeStore& s = read("t\nA,B\n1,22,333,4444444\n  1  ,22 ,1\n");
    EXPECT_EQ(s.maxShownValueBytes(0), 3u);
    EXPECT_EQ(s.maxShownValueBytes(1), 2u);
}

TEST(TakeStoreReading, NoDataLinesGivesZeroTakesWithNames)
{
    const TakeStore& s = read("t\nA,B\n");
    EXPECT_EQ(s.takeCount(), 0);
    EXPECT_EQ(s.lastTake(), -1);
    EXPECT_EQ(names(s), (std::vector<std::string>{"A", "B", ""}));
    EXPECT_EQ(s.Get_Param_data(0, 0), std::nullopt);
    EXPECT_EQ(read("t\nA,B").takeCount(), 0);
}

TEST(TakeStoreReading, FewerThanTwoLinesIsAClearError)
{
    for (const char* bytes : {"", "only a title", "only a title\n", "title\r"}) {
        const auto result = readDataLogBytes(bytes, "x.csv");
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.error, "'x.csv' is not a data log: it has fewer than two lines") << bytes;
    }
}

TEST(TakeStoreReading, BinaryBytesAreKeptAsTheyAre)
{
    const char raw[] = "t\nA\xB0,B\n\0\x01,\xFF\n";
    const std::string bytes(raw, sizeof raw - 1);
    const TakeStore& s = read(bytes);
    EXPECT_EQ(s.ParamNames()[0], "A\xB0");
    EXPECT_EQ(s.Get_Param_data(0, 0), std::optional<std::string_view>(std::string_view("\0\x01", 2)));
    EXPECT_EQ(dlv::displayText("A\xB0"), "A\xC2\xB0");
    EXPECT_EQ(dlv::displayText("\xC3\xBC"), "\xC3\xBC");
}

TEST(TakeStoreFiles, ReadsAFileFromDisk)
{
    TempDir dir;
    const auto result = readDataLog(dir.write("log.csv", "t\nA,B\n1,2\n"));
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.store->Get_Param_data(1, 0), std::optional<std::string_view>("2"));
    EXPECT_EQ(result.store->fileBytes(), 10u);
}

TEST(TakeStoreFiles, UnreadableFilesGiveMessagesNamingFileAndReason)
{
    TempDir dir;
    const auto missing = readDataLog(dir.path() / "nope.csv");
    EXPECT_EQ(missing.error, "Cannot open '" + (dir.path() / "nope.csv").string() + "': the file does not exist");
    const auto directory = readDataLog(dir.path());
    EXPECT_EQ(directory.error, "Cannot open '" + dir.path().string() + "': it is a directory");
    if (::geteuid() != 0) {  // root reads anything
        const auto locked = dir.write("locked.csv", "t\nA\n1\n");
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(readDataLog(locked).error, "Cannot open '" + locked.string() + "': permission denied");
    }
}
