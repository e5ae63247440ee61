#include "link/module_access.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/usb_link.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using Bytes = std::vector<uint8_t>;

class ModuleAccessTest : public test::CrateFixture {
  protected:
    void open(const std::string& faults = "", const std::string& controller = "") {
        useScenario(test::oneBridgeScenario(
            R"({"channel": 0, "serialNumber": 1000}, {"channel": 5, "serialNumber": 1005, "firmware": {"name": "DEVIZ"}})",
            faults, controller));
        ASSERT_TRUE(usbOpen(linkState().usbInfo));
        bindDirectOperations();
        recorder->writes.clear();
    }
};

TEST_F(ModuleAccessTest, LiteralFrames) {
    open("", R"("cacheChannels": 12)");
    uint8_t data[8];
    EXPECT_EQ(moduleRead(0x85, 0x1000, 0, data, 8), 8);
    const uint8_t on[2] = {0x01, 0x00};
    EXPECT_EQ(writeShort(0, 3, on, 2), 2);
    moduleReadWords(0xFF, 0x9042, data, 8);
    const auto frames = sentFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], (Bytes{0x85, 0xAC, 0x00, 0x10, 0x00, 0x63}));
    EXPECT_EQ(frames[1], (Bytes{0x00, 0x31, 0x01, 0x00, 0x6A}));
    EXPECT_EQ(Bytes(frames[2].begin() + 2, frames[2].begin() + 5), (Bytes{0x42, 0x90, 0x02}));
}

TEST_F(ModuleAccessTest, ChunkingAndAFailingPiece) {
    open(R"({"kind": "moduleError", "channel": 0, "operation": "readAddr", "address": 4104, "count": 1})");
    uint8_t data[20];
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 20), 8);  // the piece at 0x1008 fails
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 20), 20);
    const auto frames = sentFrames();
    ASSERT_EQ(frames.size(), 5u);
    // Address low bytes 0x00, 0x08, 0x10 and lengths 8, 8, 4 in the header.
    EXPECT_EQ(frames[2][2], 0x00);
    EXPECT_EQ(frames[3][2], 0x08);
    EXPECT_EQ(frames[4][2], 0x10);
    EXPECT_EQ(frames[2][1] & 7, 4);
    EXPECT_EQ(frames[4][1] & 7, 2);
    EXPECT_EQ(data[0], 0xE8);  // serial 1000 = 0x3E8, low byte first
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 0), 0);
}

TEST_F(ModuleAccessTest, BadCheckByteRetriesTheSameRequest) {
    open(R"({"kind": "corruptCheck", "channel": 0, "count": 1})");
    uint8_t data[4];
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 4), 4);
    const auto frames = sentFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(linkState().commProblem.readRetries, 1u);
    EXPECT_GE(recorder->flushes, 1);
}

TEST_F(ModuleAccessTest, FiveSilentFailuresThenTheDialogAtTheNextFailure) {
    open(R"({"kind": "noReply", "channel": 0, "count": 5}, {"kind": "noReply", "channel": 5, "count": 1})");
    uint8_t data[4];
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 4), 4);
    EXPECT_TRUE(seam.problemCaptions.empty());
    EXPECT_EQ(linkState().commProblem.readRetries, 5u);
    EXPECT_EQ(moduleRead(0x85, 0x1000, 0, data, 4), 4);
    ASSERT_EQ(seam.problemCaptions.size(), 1u);
    EXPECT_EQ(seam.problemCaptions[0], "[SN SN1] Communication Problem");
    EXPECT_EQ(seam.problemCloses, 1);
    EXPECT_EQ(seam.beeps.size(), 1u);
    EXPECT_EQ(linkState().commProblem.failureCount, 0u);
}

TEST_F(ModuleAccessTest, SilentControllerOpensTheDialogOnTheSixthFailureAndClosesItWhenAnswersReturn) {
    open(R"({"kind": "noReply", "count": 8})");
    uint8_t data[4];
    const int64_t before = clock_.nowMs();
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 4), 4);
    EXPECT_EQ(seam.problemCaptions.size(), 1u);
    EXPECT_EQ(seam.pumps, 3);  // failures 6, 7 and 8
    EXPECT_EQ(seam.problemCloses, 1);
    EXPECT_FALSE(seam.problemShown);
    EXPECT_GE(clock_.nowMs() - before, 8 * 333);  // one read time-out per failure, in virtual time
}

TEST_F(ModuleAccessTest, CancelGivesUpNowAndAtTheFirstFailureOfLaterExchanges) {
    open(R"({"kind": "noReply", "channel": 5})");
    seam.cancelAtPump = 1;
    uint8_t data[4];
    EXPECT_EQ(moduleRead(0x85, 0x1000, 0, data, 4), 0);  // nothing completed
    EXPECT_TRUE(linkState().commProblem.abort);
    const uint32_t retries = linkState().commProblem.readRetries;
    EXPECT_EQ(readAddr(0x85, 2, 0x1000, data, 4), -1);
    EXPECT_EQ(linkState().commProblem.readRetries, retries + 1);
    EXPECT_EQ(seam.problemCaptions.size(), 1u);        // never shown again
    EXPECT_EQ(readAddr(0x80, 2, 0x1000, data, 4), 4);  // good exchanges unaffected
}

TEST_F(ModuleAccessTest, ModuleErrorsByOperation) {
    open(R"({"kind": "moduleError", "channel": 0})");
    uint8_t data[8] = {0xAA, 0xAA};
    const uint8_t word[2] = {1, 0};
    EXPECT_EQ(readAddr(0x80, 2, 0x1000, data, 8), -2);
    EXPECT_EQ(data[0], 0xAA);  // destination untouched
    EXPECT_EQ(readShort(0x80, 4, data, 8), -2);
    EXPECT_EQ(linkState().moduleReadErrors, 2u);
    EXPECT_EQ(writeShort(0x80, 3, word, 2), -1);
    EXPECT_EQ(writeAddr(0x80, 3, 0x2000, word, 2), -2);
    uint16_t result = 0;
    EXPECT_EQ(writeReply(0x80, 3, 0x12002, word, 2, &result, 2), -2);
    EXPECT_EQ(linkState().moduleWriteErrors, 3u);
    EXPECT_EQ(moduleCommand(0x80, 0x2000, 2, word, 2), -1);
    EXPECT_EQ(linkState().commProblem.readRetries + linkState().commProblem.writeRetries, 0u);
}

TEST_F(ModuleAccessTest, CommandReturnsTheModulesResultWord) {
    open(R"({"kind": "refuse", "channel": 5, "field": "user.Unom", "code": 5, "count": 1})");
    const uint8_t value[2] = {0x00, 0x10};
    EXPECT_EQ(moduleCommand(0x85, 0x2000, 2, value, 2), 5);
    EXPECT_EQ(moduleCommand(0x85, 0x2000, 2, value, 2), 0);
    uint8_t back[2];
    EXPECT_EQ(moduleRead(0x85, 0x2000, 2, back, 2), 2);
    EXPECT_EQ(back[1], 0x10);
    const auto frames = sentFrames();
    EXPECT_EQ(Bytes(frames[0].begin() + 2, frames[0].begin() + 5), (Bytes{0x02, 0x20, 0x01}));
}

TEST_F(ModuleAccessTest, AssignmentBySerialAddressesTheModuleThroughItsSerialNumber) {
    open();
    assignBySerial(0x02345678, 9, 0);
    const auto frames = sentFrames();
    ASSERT_EQ(frames.size(), 1u);
    // Module byte: serial bits 25..18; address: bits 17..0; function code 0, write, 2 words.
    EXPECT_EQ(frames[0][0], 0x8D);
    EXPECT_EQ(frames[0][1], 0x0A);
    EXPECT_EQ(Bytes(frames[0].begin() + 2, frames[0].begin() + 9), (Bytes{0x78, 0x56, 0x00, 9, 0, 0, 0}));
}

TEST_F(ModuleAccessTest, UnboundOperationsAreRefused) {
    open();
    unbindOperations();
    uint8_t data[4];
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 4), 0);
    EXPECT_EQ(moduleCommand(0x80, 0x2000, 2, data, 2), -1);
    EXPECT_TRUE(sentFrames().empty());
}

}  // namespace
}  // namespace vz
