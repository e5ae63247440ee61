// The SNMP client: messages as sent, request ids, the wait and the rules for taking a response.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/snmp/snmp_fixture.h"

namespace vz::test {
namespace {

const Bytes kFrameOid{0x2B, 0x06, 0x01, 0x04, 0x01, 0x81, 0xC0, 0x68, 0x01, 0x01, 0x88, 0x03, 0x00};

class SnmpClientTest : public SnmpFixture {
  protected:
    int transact(const Bytes& frame, Bytes& reply, int capacity = 16) {
        reply.assign(16, 0xEE);
        int length = -99;
        const int r =
            snmpTransact(frame.data(), static_cast<int>(frame.size()), reply.data(), capacity, &length);
        replyLength = length;
        return r;
    }
    int replyLength = 0;
};

TEST_F(SnmpClientTest, MessagesAsSentAndRequestIdsFrom1To255ThenAgain1) {
    peer.script = [](const SnmpRequest& r) {
        const bool read = r.value.size() > 1 && (r.value[1] & 0x80);
        return std::vector<Bytes>{FakeSnmpPeer::octetAnswer(r, read ? Bytes(10, 0) : Bytes{0x80, 0x06})};
    };
    uint8_t data[8];
    for (int i = 0; i < 256; ++i) {
        if (i == 41)
            snmpReadShort(0x85, 4, data, 8);  // request id 0x2A
        else
            snmpWriteShort(0x80, 3, "\x01\x00", 2);
    }
    ASSERT_EQ(peer.requests.size(), 256u);
    EXPECT_EQ(peer.requests[41].message,
              (Bytes{0x30, 0x27, 0x02, 0x01, 0x01, 0x04, 0x00, 0xA3, 0x20, 0x02, 0x01, 0x2A, 0x02, 0x01,
                     0x00, 0x02, 0x01, 0x00, 0x30, 0x15, 0x30, 0x13, 0x06, 0x0D, 0x2B, 0x06, 0x01, 0x04,
                     0x01, 0x81, 0xC0, 0x68, 0x01, 0x01, 0x88, 0x03, 0x00, 0x04, 0x02, 0x85, 0xC4}));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(peer.requests[i].id, i % 255 + 1) << i;
    // Ids from 128 on need a leading zero byte to stay positive.
    const Bytes& m255 = peer.requests[254].message;
    EXPECT_EQ(Bytes(m255.begin() + 9, m255.begin() + 13), (Bytes{0x02, 0x02, 0x00, 0xFF}));
    const Bytes& m256 = peer.requests[255].message;
    EXPECT_EQ(Bytes(m256.begin() + 9, m256.begin() + 12), (Bytes{0x02, 0x01, 0x01}));
}

TEST_F(SnmpClientTest, ProbeIsAGetRequestOfSysDescrAndStoresTheString) {
    peer.answerEveryRequestWith({'K', 'R', 'A', 'T'});
    uint8_t text[128];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(snmpProbe(text, sizeof text), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "KRAT");
    EXPECT_EQ(peer.requests.at(0).message,
              (Bytes{0x30, 0x20, 0x02, 0x01, 0x01, 0x04, 0x00, 0xA0, 0x19, 0x02, 0x01, 0x01,
                     0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30, 0x0C, 0x06, 0x08,
                     0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00, 0x05, 0x00}));
    // A string that leaves no room for the zero byte is not stored; the response still counts.
    peer.answerEveryRequestWith(Bytes(4, 'Q'));
    EXPECT_EQ(snmpProbe(text, 4), 0);
    EXPECT_EQ(text[0], 0);
}

TEST_F(SnmpClientTest, NoAnswerTimesOutAfter1000msWithoutResending) {
    Bytes reply;
    EXPECT_EQ(transact({0x85, 0xC4}, reply), -1);
    EXPECT_EQ(peer.writes.size(), 1u);
    EXPECT_GE(clock.nowMs(), kSnmpTimeoutMs);
    EXPECT_LT(clock.nowMs(), kSnmpTimeoutMs + 333 + 1);
    EXPECT_EQ(replyLength, 0);
}

TEST_F(SnmpClientTest, LateResponseToAnAbandonedRequestIsDroppedAndTheCurrentOneKeepsWaiting) {
    std::vector<Bytes> held;
    peer.script = [&](const SnmpRequest& r) {
        held.push_back(FakeSnmpPeer::octetAnswer(r, {0x85, 0x06, static_cast<uint8_t>(0x10 + r.id)}));
        if (r.id == 1) return std::vector<Bytes>{};  // too slow
        return held;                                 // the late answer first, then the current one
    };
    Bytes reply;
    EXPECT_EQ(transact({0x85, 0x30}, reply), -1);
    const int64_t start = clock.nowMs();
    EXPECT_EQ(transact({0x85, 0x30}, reply), 0);
    EXPECT_EQ(replyLength, 3);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{0x85, 0x06, 0x12}));
    EXPECT_EQ(clock.nowMs(), start);  // both answers were there; no time-out was needed
    EXPECT_EQ(snmpPendingRequestId(), 0);
}

TEST_F(SnmpClientTest, ExceptionValuesEndTheExchangeAtOnce) {
    for (uint8_t tag : {0x80, 0x81, 0x82}) {
        peer.script = [tag](const SnmpRequest& r) {
            return std::vector<Bytes>{slipEncodeFrame(agentPacket(snmpResponse(r.id, r.oid, {tag, 0x00})))};
        };
        const int64_t start = clock.nowMs();
        Bytes reply;
        EXPECT_EQ(transact({0x85, 0xC4}, reply), tag);
        EXPECT_EQ(clock.nowMs(), start);
        EXPECT_EQ(replyLength, 0);
    }
}

TEST_F(SnmpClientTest, OctetReaderReportsTheAnnouncedLengthAndCopiesOnlyWhatFits) {
    Bytes reply;
    peer.answerEveryRequestWith({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(transact({0x85, 0xC4}, reply, 6), 0);
    EXPECT_EQ(replyLength, 6);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(transact({0x85, 0xC4}, reply, 5), 0);
    EXPECT_EQ(replyLength, 6);
    EXPECT_EQ(reply, Bytes(16, 0xEE));  // too long: nothing copied
    peer.script = [](const SnmpRequest& r) {
        return std::vector<Bytes>{
            slipEncodeFrame(agentPacket(snmpResponse(r.id, r.oid, {0x02, 0x01, 0x05})))};
    };
    EXPECT_EQ(transact({0x85, 0xC4}, reply), 0);
    EXPECT_EQ(replyLength, -3);  // not an OCTET STRING
}

// Each response is offered alone; dropped ones leave the exchange to time out.
struct ResponseCase {
    const char* name;
    Bytes (*build)(int64_t id);
    bool taken;
};

Bytes withValue(int64_t id) {
    return snmpResponse(id, kFrameOid, octetString({0x85, 0x06}));
}

const ResponseCase kResponseCases[] = {
    {"version 1", [](int64_t id) { return withValue(id); }, true},
    {"version 0",
     [](int64_t id) {
         return snmpResponse(id, kFrameOid, octetString({0x85, 0x06}), 0);
     },
     true},
    {"version 2",
     [](int64_t id) {
         return snmpResponse(id, kFrameOid, octetString({0x85, 0x06}), 2);
     },
     false},
    {"version -1",
     [](int64_t id) {
         return snmpResponse(id, kFrameOid, octetString({0x85, 0x06}), -1);
     },
     false},
    {"GetRequest PDU",
     [](int64_t id) {
         return snmpResponse(id, kFrameOid, octetString({0x85, 0x06}), 1, 0xA0);
     },
     false},
    {"other request id", [](int64_t id) { return withValue(id + 1); }, false},
    {"id with leading zeros",
     [](int64_t id) {
         Bytes m = withValue(id);  // 02 01 id -> 02 03 00 00 id, lengths of message and PDU + 2
         m.insert(m.begin() + 11, {0x00, 0x00});
         m[10] = 3, m[1] += 2, m[8] += 2;
         return m;
     },
     true},
    {"long-form lengths",
     [](int64_t id) {
         Bytes m = withValue(id);  // message length as 82 00 xx
         m[1] = static_cast<uint8_t>(m[1]);
         m.insert(m.begin() + 1, {0x82, 0x00});
         return m;
     },
     true},
    {"community with content",
     [](int64_t id) {
         Bytes m = withValue(id);
         m[6] = 3;
         m.insert(m.begin() + 7, {'x', 'y', 'z'});
         m[1] += 3;
         return m;
     },
     true},
    {"length beyond the datagram",
     [](int64_t id) {
         Bytes m = withValue(id);
         m[1] += 1;
         return m;
     },
     false},
    {"empty integer",
     [](int64_t id) {
         Bytes m = withValue(id);  // error-status 02 01 00 -> 02 00
         m.erase(m.begin() + 14);
         m[13] = 0, m[1] -= 1, m[8] -= 1;
         return m;
     },
     false},
    {"indefinite length",
     [](int64_t id) {
         Bytes m = withValue(id);
         m[1] = 0x80;
         return m;
     },
     false},
    {"no value after the name",
     [](int64_t id) {
         Bytes m = withValue(id);  // lengths kept consistent: only the value is missing
         m.resize(m.size() - 4);
         for (size_t at : {1, 8, 19, 21}) m[at] -= 4;
         return m;
     },
     false},
    {"not a sequence",
     [](int64_t id) {
         Bytes m = withValue(id);
         m[0] = 0x31;
         return m;
     },
     false},
};

TEST_F(SnmpClientTest, ResponsesTakenOrDropped) {
    for (const ResponseCase& c : kResponseCases) {
        peer.script = [&c](const SnmpRequest& r) {
            return std::vector<Bytes>{slipEncodeFrame(agentPacket(c.build(r.id)))};
        };
        Bytes reply;
        const int r = transact({0x85, 0x30}, reply);
        if (c.taken) {
            EXPECT_EQ(r, 0) << c.name;
            EXPECT_EQ(replyLength, 2) << c.name;
        } else {
            EXPECT_EQ(r, -1) << c.name;
        }
    }
}

TEST_F(SnmpClientTest, EveryTruncationOfAResponseIsDroppedSafely) {
    // All cut-short copies arrive before the whole one, within one wait: as cut, and with the
    // message length made to fit so that every inner element meets the end of the datagram.
    peer.script = [](const SnmpRequest& r) {
        const Bytes whole = snmpResponse(r.id, r.oid, octetString({0x85, 0x06, 0x01, 0x02}));
        const size_t valueTag = whole.size() - 6;
        std::vector<Bytes> chunks;
        for (size_t n = 1; n < whole.size(); ++n)
            chunks.push_back(slipEncodeFrame(agentPacket(Bytes(whole.begin(), whole.begin() + n))));
        for (size_t n = 2; n <= valueTag; ++n) {
            Bytes cut(whole.begin(), whole.begin() + n);
            cut[1] = static_cast<uint8_t>(n - 2);
            chunks.push_back(slipEncodeFrame(agentPacket(cut)));
        }
        chunks.push_back(slipEncodeFrame(agentPacket(whole)));
        return chunks;
    };
    Bytes reply;
    EXPECT_EQ(transact({0x85, 0xC4}, reply), 0);
    EXPECT_EQ(replyLength, 4);
    EXPECT_TRUE(peer.chunks.empty());
}

}  // namespace
}  // namespace vz::test
