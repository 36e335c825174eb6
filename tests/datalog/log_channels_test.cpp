// The interface every format gives the views, over the own format's store:
// names and the rules of shown names and words, the format names --format
// takes, detection by content and the reading of a file of any format.
#include "datalog/columns.h"
#include "datalog/log_channels.h"
#include "datalog/log_formats.h"

#include "support/channels_suite.h"
#include "support/temp_logs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <sys/stat.h>

namespace {

std::shared_ptr<const dlv::TakeStore> storeOf(const std::string& bytes)
{
    return dlv::readDataLogBytes(bytes, "test").store;
}

TEST(LogChannels, OwnFormatHoldsTogetherAndReadsAsToday)
{
    const auto store = storeOf("title\nTime,RPM,MAP,\n0.5, 800 ,30\n1.0,x,,\n\n1.5,900,31,extra\n");
    ASSERT_TRUE(store);
    const dlv::StoreChannels log(store);
    dlvtest::expectChannelsHoldTogether(log);
    EXPECT_EQ(log.format(), dlv::LogFormat::Datalog);
    EXPECT_EQ(log.details().formatName, "datalog");
    EXPECT_TRUE(log.details().summary.empty()) << "the own format says nothing beyond its warnings";
    EXPECT_EQ(log.textStore(), store.get());
    EXPECT_EQ(log.ParamNames(), store->ParamNames());
    std::string scratch;
    for (int t = 0; t < store->takeCount(); ++t)
        for (long long p = 0; p < 4; ++p)
            EXPECT_EQ(log.shownValue(p, t, scratch), store->Get_Param_data(p, t));
    EXPECT_TRUE(scratch.empty()) << "the own format's texts point into its store";
    ASSERT_TRUE(log.timeChannel());
    EXPECT_EQ(log.timeChannel()->param, 0);
    EXPECT_TRUE(log.channel(1).unit.empty());
    EXPECT_TRUE(log.markers().empty());
}

TEST(LogChannels, WordChannelsReadOnOffWordsAsNumbersAndLeaveOthersAlone)
{
    const auto store = storeOf("t\nFan,Pump,Note\nOn,On,On\noff,1,x\nYES,Off,Off\nmaybe,,\n");
    dlv::StoreChannels::Extras extras;
    extras.details.format = dlv::LogFormat::Text;
    extras.details.formatName = "text";
    extras.wordChannels = {0, 1};
    const dlv::StoreChannels log(store, extras);
    dlvtest::expectChannelsHoldTogether(log);
    const auto columns = dlvtest::wholeColumns(log);
    EXPECT_EQ(columns[0][0], 1.0);
    EXPECT_EQ(columns[0][1], 0.0);
    EXPECT_EQ(columns[0][2], 1.0);
    EXPECT_TRUE(std::isnan(columns[0][3]));
    EXPECT_EQ(columns[1][1], 1.0) << "a number stays the number";
    EXPECT_EQ(columns[1][2], 0.0);
    EXPECT_TRUE(std::isnan(columns[2][0])) << "only word channels read words";
    std::string scratch;
    EXPECT_EQ(log.shownValue(0, 0, scratch), "On") << "the grid shows the word";
}

TEST(LogChannels, WordsShownNamesAndFormatNames)
{
    for (const char* on : {"On", "ON", " yes ", "High", "active", "TRUE"})
        EXPECT_EQ(dlv::wordValue(on), 1.0) << on;
    for (const char* off : {"off", "No", "LOW", "Inactive", "false"})
        EXPECT_EQ(dlv::wordValue(off), 0.0) << off;
    for (const char* other : {"", "onn", "o", "1", "offline", "not applicable"})
        EXPECT_FALSE(dlv::wordValue(other)) << other;

    EXPECT_EQ(dlv::shownChannelName("RPM", ""), "RPM");
    EXPECT_EQ(dlv::shownChannelName("RPM", "rpm"), "RPM [rpm]");
    EXPECT_EQ(dlv::shownChannelName("Time (msec)", "msec"), "Time (msec)") << "a unit the name carries is not repeated";
    EXPECT_EQ(dlv::shownChannelName("Speed [km/h]", "km/h"), "Speed [km/h]");
    EXPECT_EQ(dlv::shownChannelName("T\xe9mp", "\xb0" "C"), "T\xc3\xa9mp [\xc2\xb0" "C]") << "Latin-1 shown as UTF-8";

    for (const auto format : {dlv::LogFormat::Auto, dlv::LogFormat::Datalog, dlv::LogFormat::Mlg, dlv::LogFormat::Msl,
                              dlv::LogFormat::Text})
        EXPECT_EQ(dlv::logFormatNamed(dlv::logFormatName(format)), format);
    EXPECT_FALSE(dlv::logFormatNamed("MLG"));
    EXPECT_FALSE(dlv::logFormatNamed(""));
}

TEST(LogChannels, ParamRunsOverTheInterfaceGiveTheStoresTotals)
{
    std::string bytes = "t\nA,B,C,D,E\n";
    for (int t = 0; t < 5000; ++t)
        bytes += std::to_string(t) + "," + std::to_string(t % 7) + ".25,x," + std::to_string(-t) + ",\n";
    const auto store = storeOf(bytes);
    const dlv::StoreChannels log(store);
    const std::vector<long long> params{0, 1, 2, 3, 4, 9};
    auto collect = [&](auto&& run) {
        std::vector<std::vector<double>> seen(params.size(), std::vector<double>(5000));
        run([&](std::size_t firstSlot, const dlv::ColumnBlock& block) {
            for (std::size_t j = 0; j < block.columnCount(); ++j)
                for (int i = 0; i < block.takeCount(); ++i)
                    seen[firstSlot + j][static_cast<std::size_t>(block.firstTake() + i)] =
                        block.column(j)[static_cast<std::size_t>(i)];
        });
        return seen;
    };
    const auto viaStore = collect([&](const auto& consume) { dlv::forEachParamRun(*store, params, 0, 5000, consume, 4096); });
    const auto viaLog = collect([&](const auto& consume) { dlv::forEachParamRun(log, params, 0, 5000, consume, 4096); });
    for (std::size_t k = 0; k < params.size(); ++k)
        for (std::size_t t = 0; t < 5000; ++t)
            ASSERT_TRUE(dlvtest::sameNumber(viaStore[k][t], viaLog[k][t])) << k << " " << t;
}

TEST(LogFormats, OwnFormatStaysOwnAndReadsAsBefore)
{
    dlvtest::TempLogs dir;
    const std::string bytes = "title\nTime,RPM\n0,800\n1,900\n";
    EXPECT_EQ(dlv::detectLogFormat(bytes), dlv::LogFormat::Datalog);
    EXPECT_EQ(dlv::detectLogFormat(""), dlv::LogFormat::Datalog);
    EXPECT_EQ(dlv::detectLogFormat(std::string("MLVLG\0\0\2", 8)), dlv::LogFormat::Mlg);
    const std::string path = dir.write("a.csv", bytes);
    EXPECT_EQ(dlv::fileLogFormat(path, dlv::LogFormat::Auto), dlv::LogFormat::Datalog);
    EXPECT_EQ(dlv::fileLogFormat(path, dlv::LogFormat::Msl), dlv::LogFormat::Msl) << "a named format is taken as it is";
    EXPECT_EQ(dlv::fileLogFormat(dir.path("missing.csv"), dlv::LogFormat::Auto), dlv::LogFormat::Datalog);

    const dlv::ReadResult read = dlv::readLog(path);
    ASSERT_TRUE(read.ok()) << read.error;
    ASSERT_TRUE(read.store);
    const auto log = dlv::logOf(read);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->textStore(), read.store.get());
    const dlv::ReadResult before = dlv::readDataLog(path);
    EXPECT_EQ(read.store->ParamNames(), before.store->ParamNames());
    EXPECT_EQ(read.warnings.size(), before.warnings.size());

    const dlv::ReadResult missing = dlv::readLog(dir.path("missing.csv"));
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error, dlv::readDataLog(dir.path("missing.csv")).error) << "the same messages as before";
    EXPECT_FALSE(dlv::logOf(missing));
}

TEST(LogFormats, AFifoIsRefusedWithoutWaitingForAWriter)
{
    dlvtest::TempLogs dir;
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(dlv::fileLogFormat(fifo, dlv::LogFormat::Auto), dlv::LogFormat::Datalog);
    const dlv::ReadResult read = dlv::readLog(fifo);
    EXPECT_FALSE(read.ok());
    EXPECT_NE(read.error.find("not a regular file"), std::string::npos) << read.error;
}

}  // namespace
