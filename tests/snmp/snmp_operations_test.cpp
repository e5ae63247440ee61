// The five module access operations over SNMP: frames, results, counters, retries and logging.
#include <gtest/gtest.h>

#include "app/core/connection.h"
#include "link/link_state.h"
#include "tests/snmp/snmp_fixture.h"

namespace vz::test {
namespace {

class SnmpOperationsTest : public SnmpFixture {};

TEST_F(SnmpOperationsTest, ReadAddrSendsTheLow18AddressBitsAndTakesDataAfterTheAddress) {
    peer.answerEveryRequestWith({0x85, 0x0E, 0x45, 0x23, 0x01, 0xAA, 0xBB, 0xCC, 0xDD});
    uint8_t data[4] = {};
    EXPECT_EQ(snmpReadAddr(0x85, 2, 0xFF12345, data, 4), 4);
    EXPECT_EQ(sentFrame(0), (Bytes{0x85, 0xAA, 0x45, 0x23, 0x01}));
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{0xAA, 0xBB, 0xCC, 0xDD}));
}

TEST_F(SnmpOperationsTest, ReadShortTakesDataAfterTheStatus) {
    peer.answerEveryRequestWith({0x85, 0x00, 0x11, 0x22});
    uint8_t data[2] = {};
    EXPECT_EQ(snmpReadShort(0x85, 5, data, 2), 2);
    EXPECT_EQ(sentFrame(0), (Bytes{0x85, 0xD1}));
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{0x11, 0x22}));
}

TEST_F(SnmpOperationsTest, WritesSendTheirFramesAndWriteReplyStoresTheResultWord) {
    peer.answerEveryRequestWith({0x05, 0x06, 0x00, 0x00, 0x00, 0x34, 0x12});
    uint16_t word = 0;
    const uint8_t value[2] = {0x10, 0x27};
    EXPECT_EQ(snmpWriteReply(0x85, 3, 0x12006, value, 2, &word, 2), 2);
    EXPECT_EQ(word, 0x1234);
    EXPECT_EQ(sentFrame(0), (Bytes{0x85, 0x39, 0x06, 0x20, 0x01, 0x10, 0x27}));

    peer.answerEveryRequestWith({0x00, 0x06});
    EXPECT_EQ(snmpWriteShort(0x00, 3, "\x01\x00", 2), 2);
    EXPECT_EQ(sentFrame(1), (Bytes{0x00, 0x31, 0x01, 0x00}));

    peer.answerEveryRequestWith({0x85, 0x06, 0x00, 0x10, 0x00});
    const uint8_t four[4] = {1, 2, 3, 4};
    EXPECT_EQ(snmpWriteAddr(0x85, 3, 0x1000, four, 4), 4);
    EXPECT_EQ(sentFrame(2), (Bytes{0x85, 0x3A, 0x00, 0x10, 0x00, 1, 2, 3, 4}));
    EXPECT_EQ(linkState().commProblem.readRetries + linkState().commProblem.writeRetries, 0u);
}

TEST_F(SnmpOperationsTest, ModuleErrorStatusResults) {
    uint8_t data[8];
    uint16_t word = 0xBEEF;
    const struct {
        const char* name;
        Bytes reply;
        int (*op)(uint8_t*, uint16_t*);
        int expected;
        bool read;
    } cases[] = {
        {"writeShort",
         {0x85, 0x07},
         [](uint8_t*, uint16_t*) { return snmpWriteShort(0x85, 3, "\1\0", 2); },
         -1,
         false},
        {"writeAddr",
         {0x85, 0x07, 0, 0, 0},
         [](uint8_t*, uint16_t*) { return snmpWriteAddr(0x85, 3, 0, "\1\0", 2); },
         -2,
         false},
        {"writeReply",
         {0x85, 0x07, 0, 0, 0, 0, 0},
         [](uint8_t*, uint16_t* w) { return snmpWriteReply(0x85, 3, 0x10000, "\1\0", 2, w, 2); },
         -2,
         false},
        {"readShort",
         {0x85, 0x07, 9, 9},
         [](uint8_t* d, uint16_t*) { return snmpReadShort(0x85, 4, d, 2); },
         -2,
         true},
        {"readAddr",
         {0x85, 0x0F, 0, 0, 0, 9, 9},
         [](uint8_t* d, uint16_t*) { return snmpReadAddr(0x85, 2, 0, d, 2); },
         -2,
         true},
    };
    for (const auto& c : cases) {
        resetModuleAccessCounters();
        peer.answerEveryRequestWith(c.reply);
        std::fill(std::begin(data), std::end(data), 0x5A);
        EXPECT_EQ(c.op(data, &word), c.expected) << c.name;
        EXPECT_EQ(c.read ? linkState().moduleReadErrors : linkState().moduleWriteErrors, 1u) << c.name;
        EXPECT_EQ(data[0], 0x5A) << c.name;  // nothing copied
    }
    EXPECT_EQ(word, 0xBEEF);
    // Any other status is no success either.
    peer.answerEveryRequestWith({0x85, 0x02, 0, 0, 0});
    EXPECT_EQ(snmpWriteAddr(0x85, 3, 0, "\1\0", 2), -2);
    peer.answerEveryRequestWith({0x85, 0x02});
    EXPECT_EQ(snmpWriteShort(0x85, 3, "\1\0", 2), -1);
}

TEST_F(SnmpOperationsTest, FailedAttemptsAreLoggedCountedAndRetriedWithTheSameFrame) {
    int request = 0;
    peer.script = [&](const SnmpRequest& r) {
        switch (request++) {
            case 0:
                return std::vector<Bytes>{};  // silence
            case 1:
                return std::vector<Bytes>{FakeSnmpPeer::octetAnswer(r, {0x85, 0x00, 1})};  // short
            case 2:                                                                        // noSuchInstance
                return std::vector<Bytes>{
                    slipEncodeFrame(agentPacket(snmpResponse(r.id, r.oid, {0x81, 0x00})))};
            default:
                return std::vector<Bytes>{FakeSnmpPeer::octetAnswer(r, {0x85, 0x00, 1, 2})};
        }
    };
    uint8_t data[2] = {};
    EXPECT_EQ(snmpReadShort(0x85, 4, data, 2), 2);
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{1, 2}));
    ASSERT_EQ(peer.requests.size(), 4u);
    for (const auto& r : peer.requests) EXPECT_EQ(r.value, (Bytes{0x85, 0xC1}));
    EXPECT_EQ(linkState().commProblem.readRetries, 3u);
    EXPECT_EQ(linkState().commProblem.writeRetries, 0u);
    EXPECT_EQ(logged("SNMP status -1"), 1);
    EXPECT_EQ(logged("SNMP status 129"), 1);
    EXPECT_EQ(logged("Expected 4 bytes, got 0 bytes"), 2);
    EXPECT_EQ(logged("Expected 4 bytes, got 3 bytes"), 1);
    EXPECT_TRUE(seam.openedWith.empty());
}

TEST_F(SnmpOperationsTest, ReadReplyAnnouncingAddressBytesItDoesNotHoldIsRetried) {
    int request = 0;
    peer.script = [&](const SnmpRequest& r) {
        // Status bit 3 claims three address bytes, but the reply has only room for the data.
        const Bytes reply = request++ == 0 ? Bytes{0x85, 0x08, 1, 2} : Bytes{0x85, 0x00, 3, 4};
        return std::vector<Bytes>{FakeSnmpPeer::octetAnswer(r, reply)};
    };
    uint8_t data[2] = {};
    EXPECT_EQ(snmpReadShort(0x85, 4, data, 2), 2);
    EXPECT_EQ(Bytes(data, data + 2), (Bytes{3, 4}));
    EXPECT_EQ(linkState().commProblem.readRetries, 1u);
}

TEST_F(SnmpOperationsTest, SilentControllerOpensTheProblemDialogAndCancelGivesUp) {
    linkState().usbInfo.serial = "K42";
    seam.cancelAtPump = 2;
    uint8_t data[2] = {0x5A, 0x5A};
    EXPECT_EQ(snmpReadAddr(0x85, 2, 0x1000, data, 2), -1);
    // Five silent failures, the dialog at the sixth, CANCEL pressed at the seventh, given up at the
    // eighth.
    EXPECT_EQ(peer.requests.size(), 8u);
    EXPECT_EQ(seam.openedWith, std::vector<std::string>{"[SN K42] Communication Problem"});
    EXPECT_EQ(seam.closes, 1);
    EXPECT_EQ(data[0], 0x5A);
    // After CANCEL a failing exchange gives up at its first failure; a good one still works.
    EXPECT_EQ(snmpWriteShort(0x85, 3, "\1\0", 2), -1);
    EXPECT_EQ(peer.requests.size(), 9u);
    peer.answerEveryRequestWith({0x85, 0x06});
    EXPECT_EQ(snmpWriteShort(0x85, 3, "\1\0", 2), 2);
}

TEST_F(SnmpOperationsTest, ProbeAndBindingDriveTheOperationTable) {
    peer.answerEveryRequestWith({'Q', 'X'});
    uint8_t text[128];
    EXPECT_EQ(snmpProbe(text, sizeof text), 0);
    unbindOperations();
    bindSnmpVariants();
    peer.answerEveryRequestWith({0x85, 0x06, 0x00, 0x20, 0x01, 0x00, 0x00});
    EXPECT_EQ(moduleCommand(0x85, 0x2000, 4, "\1\0", 2), 0);
    EXPECT_EQ(peer.requests.back().value, (Bytes{0x85, 0x39, 0x04, 0x20, 0x01, 0x01, 0x00}));
}

}  // namespace
}  // namespace vz::test
