// A parameter write whose reply is lost, and whose retry then fails: the module took the value the
// first time, so the program must not go on believing the old one.
#include <gtest/gtest.h>

#include <cstring>

#include "app/core/connection.h"
#include "app/core/polling.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/parameter_access.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

class LostWriteReplyTest : public test::CrateFixture {};

TEST_F(LostWriteReplyTest, TheValueTheModuleTookIsReadBackAfterAFailedRetry) {
    // The first Unom write: reply lost; its retry: a module error. Searches and reads pass untouched.
    useScenario(test::oneBridgeScenario(
        R"({"channel": 1, "serialNumber": 11, "firmware": {"name": "DEVIZ"},
            "system": {"voltageExponent": -10, "maxUnom": "30 V"}, "user": {"Unom": "5 V"}})",
        R"({"kind": "noReply", "channel": 1, "field": "user.Unom", "count": 1},
           {"kind": "moduleError", "channel": 1, "field": "user.Unom", "after": 1, "count": 1})",
        R"("canTimeoutMs": 1)"));
    crateSettings().searchLimit = 4;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    QOR& q = channelState().channelTable.channels[1];
    ASSERT_EQ(q.user().Unom, 5 * 1024);

    EXPECT_FALSE(q.user().setUnom(7 * 1024)) << "the command itself failed";
    int16_t held;
    std::memcpy(&held, crate->controller(0).module(1)->user().data() + 2, sizeof held);
    EXPECT_EQ(held, 7 * 1024) << "the module took it with the first, unanswered write";
    EXPECT_EQ(q.user().Unom, held) << "the program believes what the module holds";
}

// The same, but the read that was to settle it fails too: the program cannot know what the module
// holds, marks the records uncertain and the polling reads them again.
TEST_F(LostWriteReplyTest, AnUnsettledWriteIsReadAgainByThePolling) {
    useScenario(test::oneBridgeScenario(
        R"({"channel": 1, "serialNumber": 11, "firmware": {"name": "DEVIZ"},
            "system": {"voltageExponent": -10, "maxUnom": "30 V"}, "user": {"Unom": "5 V"}})",
        R"({"kind": "noReply", "channel": 1, "field": "user.Unom", "count": 1},
           {"kind": "moduleError", "channel": 1, "field": "user.Unom", "after": 1, "count": 1})",
        R"("canTimeoutMs": 1)"));
    crateSettings().searchLimit = 4;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    QOR& q = channelState().channelTable.channels[1];
    // From now on U1's memory reads go unanswered for a while, and the operator gives the read-back up.
    vsim::FaultRule silentReads;
    silentReads.channel = 1;
    silentReads.operation = vsim::Operation::ReadAddr;
    silentReads.count = 6;
    crate->controller(0).addFault(silentReads);
    seam.cancelAtPump = 1;

    EXPECT_FALSE(q.user().setUnom(7 * 1024));
    EXPECT_EQ(q.user().Unom, 5 * 1024) << "nothing could be read: the last known copy stays";
    EXPECT_TRUE(recordsUncertain(q.moduleAddress));
    for (int tick = 0; tick < 20 && recordsUncertain(q.moduleAddress); ++tick) pollingTick();
    EXPECT_FALSE(recordsUncertain(q.moduleAddress));
    EXPECT_EQ(q.user().Unom, 7 * 1024) << "the polling read what the module holds";
}

}  // namespace
}  // namespace vz
