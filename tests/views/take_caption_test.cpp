// What the general grid says of a take where its header row stays empty:
// the take and its time in seconds, for logs that count time in seconds or
// in another unit, and a selected cell with its parameter and value.
#include "views/take_caption.h"

#include "datalog/log_channels.h"
#include "datalog/take_store.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::shared_ptr<const dlv::TakeStore> storeOf(const std::string& bytes)
{
    dlv::ReadResult result = dlv::readDataLogBytes(bytes);
    EXPECT_TRUE(result.ok()) << result.error;
    return result.store;
}

}  // namespace

TEST(TakeCaption, TheTakeIsGroupedAndItsTimeFollowsWhenThereIsOne)
{
    EXPECT_EQ(dlv::takeCaption(1234567, std::nullopt), "Take 1,234,567");
    EXPECT_EQ(dlv::takeCaption(5, "0.500"), "Take 5 at 0.500 s");
    EXPECT_EQ(dlv::takeCaption(5, ""), "Take 5");
    EXPECT_EQ(dlv::cellCaption("RPM", 1234, "12.345", "3000"), "RPM, take 1,234 at 12.345 s: 3000");
    EXPECT_EQ(dlv::cellCaption("RPM", 7, std::nullopt, ""), "RPM, take 7: (empty)");
    // The row that ends the names has none: the take alone.
    EXPECT_EQ(dlv::cellCaption("", 7, "0.7", ""), "Take 7 at 0.7 s: (empty)");
}

TEST(TakeCaption, SecondsAreTheTimeChannelsValueInSecondsOrNoneWhereTheTakeHasNoNumber)
{
    const std::shared_ptr<const dlv::TakeStore> store = storeOf("t\nTime,RPM\n 0.25 ,800\n,900\n1500,x\n");
    const dlv::StoreChannels own(store);
    EXPECT_EQ(dlv::takeSeconds(own, {0, 1.0}, 0), "0.25") << "as written, without its spaces";
    EXPECT_EQ(dlv::takeSeconds(own, {0, 1.0}, 1), std::nullopt);
    EXPECT_EQ(dlv::takeSeconds(own, {1, 1.0}, 2), std::nullopt);
    EXPECT_EQ(dlv::takeSeconds(own, {0, 1.0}, 3), std::nullopt) << "past the last take";
    EXPECT_EQ(dlv::takeSeconds(own, {5, 1.0}, 0), std::nullopt) << "no such channel";
    // A time in milliseconds is told in seconds.
    EXPECT_EQ(dlv::takeSeconds(own, {0, 0.001}, 2), "1.5");
}
