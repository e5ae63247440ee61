// The controller's SNMP agent on the serial line: requests built byte by byte in the test, answers
// checked down to every checksum.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sim/scenario.h"
#include "snmp_wire.h"

namespace {

using namespace snmpwire;

// readShort of measurement block 0 from module 5 under request id 0x2A: the literal example.
const Bytes kReadShort85{0x30, 0x27, 0x02, 0x01, 0x01, 0x04, 0x00, 0xA3, 0x20, 0x02, 0x01, 0x2A, 0x02, 0x01,
                         0x00, 0x02, 0x01, 0x00, 0x30, 0x15, 0x30, 0x13, 0x06, 0x0D, 0x2B, 0x06, 0x01, 0x04,
                         0x01, 0x81, 0xC0, 0x68, 0x01, 0x01, 0x88, 0x03, 0x00, 0x04, 0x02, 0x85, 0xC4};

std::string snmpScenario(const std::string& extra = "") {
    return smallScenario(R"(, "snmp": true)", extra);
}

Message setOf(const Bytes& frame) {
    Message m;
    m.value = frame;
    return m;
}

Message probe(Bytes oid = kSysDescrOid) {
    Message m;
    m.pdu = 0xA0;
    m.requestId = {0x02, 0x02, 0x00, 0xC8};  // ids from 128 up carry a leading zero byte
    m.oid = std::move(oid);
    m.valueTag = 0x05;
    return m;
}

Message responseTo(Message m, uint8_t valueTag, const Bytes& value) {
    m.pdu = 0xA2;
    m.valueTag = valueTag;
    m.value = value;
    return m;
}

// The reply the direct protocol gives for this frame on a crate of its own, without its check byte.
Bytes directReply(CrateFixture& twin, const Bytes& frame, size_t replySize) {
    Bytes reply = twin.exchange(sealed(frame), replySize);
    EXPECT_EQ(reply.size(), replySize);
    if (!reply.empty()) reply.pop_back();
    return reply;
}

Bytes directReply(const Bytes& frame, size_t replySize) {
    CrateFixture twin(smallScenario());
    return directReply(twin, frame, replySize);
}

Answer onlyAnswer(const Bytes& line) {
    const auto f = frames(line);
    EXPECT_EQ(f.size(), 1u);
    return f.empty() ? Answer{} : unpack(f.back());
}

TEST(SnmpAgent, SetRequestCarriesTheFrameAndTheAnswerTheReply) {
    ASSERT_EQ(setOf({0x85, 0xC4}).encode(), kReadShort85) << "the test's builder";
    CrateFixture f(snmpScenario());
    const Answer a = onlyAnswer(send(f, wire(kReadShort85)));
    EXPECT_TRUE(a.ipHeaderGood);
    EXPECT_TRUE(a.udpChecksumGood);
    EXPECT_TRUE(a.addressedToUs);
    EXPECT_EQ(a.payload, responseTo(setOf({0x85, 0xC4}), 0x04, directReply({0x85, 0xC4}, 11)).encode());

    // Each operation, the reply byte for byte as the direct protocol gives it.
    const Bytes frames[] = {
        {0x85, 0xAC, 0x00, 0x10, 0x00},              // readAddr of the serial number
        {0x85, 0x39, 0x02, 0x20, 0x01, 0x00, 0x50},  // writeReply Unom
        {0x85, 0xA9, 0x02, 0x20, 0x00},              // readAddr Unom back
        {0x00, 0x31, 0x01, 0x00},                    // writeShort to all modules
        {0x85, 0xAC, 0x00, 0x30, 0x00},              // unmapped page: status 7
    };
    const size_t sizes[] = {14, 8, 8, 3, 14};
    CrateFixture twin(smallScenario());
    for (size_t i = 0; i < std::size(frames); ++i) {
        const Answer b = onlyAnswer(send(f, wire(setOf(frames[i]).encode())));
        EXPECT_EQ(b.payload,
                  responseTo(setOf(frames[i]), 0x04, directReply(twin, frames[i], sizes[i])).encode())
            << i;
    }
    EXPECT_EQ(f.controller().module(5)->user()[2], 0x00) << "Unom was written through SNMP";
    EXPECT_EQ(f.controller().module(5)->user()[3], 0x50);
}

TEST(SnmpAgent, ProbeOfTheDefaultCrateTakesTheWireTime) {
    CrateFixture f(vsim::defaultScenarioJson());
    const Bytes request = wire(probe().encode());
    const Bytes line = send(f, request);
    const Answer a = onlyAnswer(line);
    const std::string descr = "KRAT crate controller (virtual)";
    EXPECT_EQ(a.payload, responseTo(probe(), 0x04, Bytes(descr.begin(), descr.end())).encode());
    EXPECT_TRUE(a.udpChecksumGood);
    // 11 bits a byte at 115200 baud, each direction rounded up to whole microseconds.
    auto wireUs = [](size_t n) { return static_cast<int64_t>((n * 11 * 1000000 + 115199) / 115200); };
    EXPECT_EQ(f.clock.now, wireUs(request.size()) + wireUs(line.size()));
}

TEST(SnmpAgent, GetRequestOfOtherObjectsAnswersExceptions) {
    CrateFixture f(snmpScenario());
    struct Case {
        Bytes oid;
        uint8_t tag;
    };
    const Case cases[] = {
        {{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01}, 0x81},        // sysDescr without instance
        {{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x01}, 0x81},  // sysDescr.1
        {{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x05, 0x00}, 0x80},  // sysName.0
        {kFrameOid, 0x81},                                         // the frame object is written, not read
    };
    for (const Case& c : cases)
        EXPECT_EQ(onlyAnswer(send(f, wire(probe(c.oid).encode()))).payload,
                  responseTo(probe(c.oid), c.tag, {}).encode())
            << int(c.oid.back());
}

TEST(SnmpAgent, SetRequestsTheAgentCannotCarryOutAnswerAnErrorStatus) {
    CrateFixture f(snmpScenario());
    struct Case {
        const char* what;
        Message request;
        uint8_t status;
    };
    Message sysDescr = setOf({'x'});
    sysDescr.oid = kSysDescrOid;
    Message integer = setOf({0x01});
    integer.valueTag = 0x02;
    const Case cases[] = {
        {"sysDescr is read-only", sysDescr, 17},
        {"frame as INTEGER", integer, 7},
        {"frame longer than its header says", setOf({0x85, 0xC4, 0x00}), 8},
        {"frame without header", setOf({0x85}), 8},
    };
    for (const Case& c : cases) {
        Message expected = c.request;
        expected.pdu = 0xA2;
        expected.errorStatus = c.status;
        expected.errorIndex = 1;
        EXPECT_EQ(onlyAnswer(send(f, wire(c.request.encode()))).payload, expected.encode()) << c.what;
    }
}

TEST(SnmpAgent, AbsentModuleAnswersAfterTheCanTimeoutOrNotAtAll) {
    for (const bool silent : {false, true}) {
        CrateFixture f(
            smallScenario(std::string(R"(, "snmp": true, "absentSilent": )") + (silent ? "true" : "false")));
        const Bytes line = send(f, wire(setOf({0x89, 0xC4}).encode()));
        if (silent) {
            EXPECT_TRUE(line.empty());
            continue;
        }
        EXPECT_EQ(onlyAnswer(line).payload,
                  responseTo(setOf({0x89, 0xC4}), 0x04, {0x89, 0x07, 0, 0, 0, 0, 0, 0, 0, 0}).encode());
        EXPECT_EQ(f.clock.now, 40000);
    }
}

TEST(SnmpAgent, RequestsItDoesNotServeAreDropped) {
    // One byte changed; the IP header checksum made right again unless it is the byte changed.
    auto withPacket = [](Bytes packet, size_t at, uint8_t value) {
        packet[at] = value;
        if (at != 10 && at != 11) {
            packet[10] = packet[11] = 0;
            const auto check = static_cast<uint16_t>(~sum16(packet, 0, 20));
            packet[10] = static_cast<uint8_t>(check >> 8);
            packet[11] = static_cast<uint8_t>(check);
        }
        return slip(packet);
    };
    const Bytes good = udpPacket(kReadShort85);
    Message v1 = setOf({0x85, 0xC4});
    v1.version = 0;
    Message community = setOf({0x85, 0xC4});
    community.community = {'p', 'u', 'b', 'l', 'i', 'c'};
    Message getNext = probe();
    getNext.pdu = 0xA1;
    Bytes overlong = kReadShort85;
    overlong[1] = 0x28;  // announces a byte that is not there
    Bytes otherPort = good;
    otherPort[26] = otherPort[27] = 0;  // no UDP checksum, so only the port is wrong
    const struct {
        const char* what;
        Bytes line;
    } cases[] = {
        {"IP header checksum", withPacket(good, 11, good[11] ^ 1)},
        {"UDP checksum", withPacket(good, 27, good[27] ^ 1)},
        {"protocol", withPacket(good, 9, 6)},
        {"IP total length", withPacket(good, 3, good[3] + 1)},
        {"port", withPacket(otherPort, 23, 162)},
        {"SNMPv1", wire(v1.encode())},
        {"community", wire(community.encode())},
        {"GetNextRequest", wire(getNext.encode())},
        {"BER length", wire(overlong)},
        {"cut inside an escape", Bytes{0x45, 0x00, 0xDB, 0xC0}},
    };
    CrateFixture f(snmpScenario());
    uint32_t dropped = 0;
    for (const auto& c : cases) {
        EXPECT_TRUE(send(f, c.line).empty()) << c.what;
        EXPECT_GT(f.controller().snmpDropped() + f.controller().framesIgnored(), dropped) << c.what;
        dropped = f.controller().snmpDropped() + f.controller().framesIgnored();
    }
    EXPECT_EQ(onlyAnswer(send(f, wire(kReadShort85))).payload,
              responseTo(setOf({0x85, 0xC4}), 0x04, directReply({0x85, 0xC4}, 11)).encode())
        << "and the next request is answered";
}

TEST(SnmpAgent, FaultKindsOnTheSnmpLine) {
    struct Case {
        const char* fault;
        void (*edit)(Message&);
        size_t frames;  // answers on the line; 2: noise and an END before the answer
        bool udpGood;
        size_t cut;  // bytes missing at the end of the SNMP message
        int64_t elapsedUs;
    };
    const Case cases[] = {
        {R"({ "kind": "noReply" })", nullptr, 0, true, 0, 1000000},
        {R"({ "kind": "wrongRequestId" })",
         [](Message& m) {
             m.requestId = {0x02, 0x01, 0x29};
         },
         1, true, 0, 0},
        {R"({ "kind": "noSuchObject" })", [](Message& m) { m.valueTag = 0x80, m.value.clear(); }, 1, true, 0,
         0},
        {R"({ "kind": "noSuchInstance" })", [](Message& m) { m.valueTag = 0x81, m.value.clear(); }, 1, true,
         0, 0},
        {R"({ "kind": "endOfMibView" })", [](Message& m) { m.valueTag = 0x82, m.value.clear(); }, 1, true, 0,
         0},
        {R"({ "kind": "versionZero" })", [](Message& m) { m.version = 0; }, 1, true, 0, 0},
        {R"({ "kind": "malformedBer", "bytes": 2 })", nullptr, 1, true, 2, 0},
        {R"({ "kind": "garbage", "bytes": 5 })", nullptr, 2, true, 0, 0},
        {R"({ "kind": "corruptCheck" })", nullptr, 1, false, 0, 0},
        {R"({ "kind": "shortReply", "bytes": 3 })", [](Message& m) { m.value.resize(m.value.size() - 3); }, 1,
         true, 0, 0},
        {R"({ "kind": "moduleError" })", [](Message& m) { m.value = {0x85, 0x07, 0, 0, 0, 0, 0, 0, 0, 0}; },
         1, true, 0, 0},
        {R"({ "kind": "slow", "delayMs": 120 })", nullptr, 1, true, 0, 120000},
        {R"({ "kind": "noReply", "operation": "probe" })", nullptr, 1, true, 0, 0},
        {R"({ "kind": "noSuchObject", "channel": 0 })", nullptr, 1, true, 0, 0},
    };
    const Bytes reply85 = directReply({0x85, 0xC4}, 11);
    for (const Case& c : cases) {
        CrateFixture f(snmpScenario(R"(, "faults": [)" + std::string(c.fault) + "]"));
        f.crate->write(f.slot, wire(kReadShort85).data(), wire(kReadShort85).size());
        const auto got = frames(readFrames(f, std::max<size_t>(c.frames, 1)));
        ASSERT_EQ(got.size(), c.frames) << c.fault;
        EXPECT_EQ(f.clock.now, c.elapsedUs) << c.fault;
        if (c.frames == 0) continue;
        if (c.frames == 2) {
            EXPECT_EQ(got[0].size(), 5u) << "the noise";
        }
        const Answer a = unpack(got.back());
        Message expected = responseTo(setOf({0x85, 0xC4}), 0x04, reply85);
        if (c.edit) c.edit(expected);
        Bytes payload = expected.encode();
        payload.resize(payload.size() - c.cut);
        EXPECT_EQ(a.payload, payload) << c.fault;
        EXPECT_TRUE(a.ipHeaderGood) << c.fault;
        EXPECT_EQ(a.udpChecksumGood, c.udpGood) << c.fault;
    }
}

TEST(SnmpAgent, TheProbeIsAnExchangeOfItsOwnForTheRules) {
    // The probe uses up no module fault, and a rule can pick it alone.
    CrateFixture f(snmpScenario(R"(, "faults": [ { "kind": "noReply", "operation": "probe", "count": 2 },
                                                  { "kind": "moduleError", "count": 1 },
                                                  { "kind": "writeFail", "channel": 0 } ])"));
    std::string seen;
    for (int i = 0; i < 3; ++i) seen += send(f, wire(probe().encode())).empty() ? 'x' : '.';
    EXPECT_EQ(seen, "xx.");
    for (int i = 0; i < 2; ++i) {
        const Answer a = onlyAnswer(send(f, wire(kReadShort85)));
        ASSERT_GE(a.payload.size(), 2u);
        EXPECT_EQ(a.payload[a.payload.size() - 9], i == 0 ? 0x07 : 0x00) << "status of exchange " << i;
    }
    // A write fault judged by the frame inside the SLIP frame: channel 0 fails, channel 5 not.
    const Bytes to0 = wire(setOf({0x80, 0xC4}).encode());
    EXPECT_FALSE(f.crate->write(f.slot, to0.data(), to0.size()));
    EXPECT_TRUE(readFrames(f, 1).empty());
    const Bytes to5 = wire(kReadShort85);
    EXPECT_TRUE(f.crate->write(f.slot, to5.data(), to5.size()));
}

TEST(SnmpAgent, SharedLineSeparatesFramesFromNoiseAndDirectFrames) {
    CrateFixture f(snmpScenario());
    // Noise closed by an END, a SetRequest, a direct readShort, a direct frame to channel 64 (its
    // module byte is C0, like an END), unclosed noise, then a probe: all in one write.
    Bytes line{0x11, 0x22, 0xC0};
    const Bytes set = wire(kReadShort85);
    const Bytes direct = sealed({0x85, 0xC4});
    const Bytes channel64 = sealed({0xC0, 0xC4});
    const Bytes noise{0xAA, 0xBB};
    const Bytes get = wire(probe().encode());
    for (const Bytes* part : {&set, &direct, &channel64, &noise, &get})
        line.insert(line.end(), part->begin(), part->end());
    f.crate->write(f.slot, line.data(), line.size());
    Bytes in(4096);
    bool ok = false;
    in.resize(f.crate->read(f.slot, in.data(), in.size(), 1000, ok));

    size_t pos = std::find(in.begin(), in.end(), 0xC0) - in.begin() + 1;
    ASSERT_LE(pos + 22, in.size());
    EXPECT_EQ(unpack(frames(Bytes(in.begin(), in.begin() + pos))[0]).payload,
              responseTo(setOf({0x85, 0xC4}), 0x04, directReply({0x85, 0xC4}, 11)).encode());
    EXPECT_EQ(Bytes(in.begin() + pos, in.begin() + pos + 11), sealed(directReply({0x85, 0xC4}, 11)));
    EXPECT_EQ(Bytes(in.begin() + pos + 11, in.begin() + pos + 22),
              sealed({0xC0, 0x07, 0, 0, 0, 0, 0, 0, 0, 0}));
    const auto last = frames(Bytes(in.begin() + pos + 22, in.end()));
    ASSERT_EQ(last.size(), 1u);
    const std::string descr = "KRAT crate controller (virtual)";
    EXPECT_EQ(unpack(last[0]).payload, responseTo(probe(), 0x04, Bytes(descr.begin(), descr.end())).encode());
}

TEST(SnmpAgent, ControllerWithoutSnmpLeavesTheProbeUnanswered) {
    CrateFixture f(smallScenario());
    EXPECT_TRUE(send(f, wire(probe().encode())).empty());
    EXPECT_EQ(f.controller().snmpAnswered(), 0u);
}

}  // namespace

namespace {

// tshark, a decoder written by others, checks the agent's checksums and reads its answers.
TEST(SnmpAgent, TsharkValidatesTheAnswers) {
    if (std::system("tshark --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
    CrateFixture f(
        snmpScenario(R"(, "faults": [ { "kind": "corruptCheck", "operation": "probe", "after": 1 } ])"));
    std::vector<Bytes> packets{udpPacket(kReadShort85)};
    packets.push_back(unpack(frames(send(f, wire(kReadShort85)))[0]).packet);
    for (int i = 0; i < 2; ++i) packets.push_back(unpack(frames(send(f, wire(probe().encode())))[0]).packet);

    const std::string path = ::testing::TempDir() + "snmp_agent_answers.pcap";
    {
        std::ofstream out(path, std::ios::binary);
        auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
        u32(0xA1B2C3D4);
        u32(0x00040002);  // version 2.4
        u32(0);
        u32(0);
        u32(65535);
        u32(101);  // raw IP packets
        for (const Bytes& p : packets) {
            u32(0);
            u32(0);
            u32(static_cast<uint32_t>(p.size()));
            u32(static_cast<uint32_t>(p.size()));
            out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
        }
    }
    const std::string command = "tshark -r " + path +
                                " -o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -T fields"
                                " -e ip.checksum.status -e udp.checksum.status -e snmp.request_id"
                                " -e snmp.value.octets 2>/dev/null";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    std::remove(path.c_str());
    Bytes value = directReply({0x85, 0xC4}, 11);
    std::string hex;
    for (uint8_t b : value) {
        char h[3];
        std::snprintf(h, sizeof h, "%02x", b);
        hex += h;
    }
    const std::string descr = "4b52415420637261746520636f6e74726f6c6c657220287669727475616c29";
    EXPECT_EQ(output,
              "1\t1\t42\t85c4\n1\t1\t42\t" + hex + "\n1\t1\t200\t" + descr + "\n1\t0\t200\t" + descr + "\n");
}

}  // namespace
