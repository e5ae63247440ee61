#include "channel/channel_table.h"

#include "channel_fixture.h"

namespace vz::test {
namespace {

class ChannelTableTest : public ChannelFixture {};

TEST_F(ChannelTableTest, ResetLeavesEveryRecordAbsentAndNothingSelected) {
    QOR& q = channel(17);
    q.moduleKind = kKindReruz;
    q.Unom = 99;
    q.rowTop = 36;
    channelState().channelTable.foundCount = 1;
    channelState().selectedChannel = 17;
    EXPECT_TRUE(channelPresent(17));

    resetChannelTable();
    EXPECT_EQ(channelState().channelTable.foundCount, 0u);
    EXPECT_EQ(channelState().selectedChannel, -1);
    for (int i = 0; i < kChannelCount; ++i) {
        const QOR& r = channelState().channelTable.channels[static_cast<size_t>(i)];
        EXPECT_FALSE(channelPresent(i));
        EXPECT_EQ(r.moduleAddress, 255);
        EXPECT_EQ(r.moduleKind, 0u);
        EXPECT_EQ(r.Unom, 0);
        EXPECT_EQ(r.rowTop, 0);
    }
    EXPECT_FALSE(channelPresent(-1));
    EXPECT_FALSE(channelPresent(kChannelCount));
}

// The four facets share one base: the module address set through one is the one all of them use.
TEST_F(ChannelTableTest, FacetsShareOneModuleAddress) {
    QOR q;
    static_cast<MODULE_SYSTEM_CONFIG&>(q).moduleAddress = 12;
    EXPECT_EQ(static_cast<MODULE_USER_CONFIG&>(q).moduleAddress, 12);
    EXPECT_EQ(static_cast<MODULE_FIRMWARE&>(q).moduleAddress, 12);
    EXPECT_EQ(static_cast<MODULE_MEASURE&>(q).addressByte(), 0x8C);
    EXPECT_TRUE(q.user().setRampUp(10));
    ASSERT_EQ(link.requests.size(), 1u);
    EXPECT_EQ(link.requests[0].module, 0x8C);
}

}  // namespace
}  // namespace vz::test
