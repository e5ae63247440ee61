// Scenario faults: chosen by channel, operation, address, count and every-Nth, deterministic.
#include "crate_fixture.h"

namespace {

const Bytes kReadSerial5{0x85, 0xAC, 0x00, 0x10, 0x00, 0x63};
const Bytes kGoodReply = sealed({0x85, 0x08, 0x00, 0x10, 0x00, 0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0});

std::string withFaults(const std::string& faults) {
    return smallScenario("", R"(, "faults": [)" + faults + "]");
}

TEST(Faults, EachKindChangesTheReplyAsNamed) {
    Bytes corrupt = kGoodReply;
    corrupt.back() ^= 0xFF;
    const Bytes error = sealed({0x85, 0x0F, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0, 0});
    struct Case {
        const char* fault;
        Bytes reply;
        int64_t elapsedUs;
    };
    const Case cases[] = {
        {R"({ "kind": "noReply" })", {}, 333000},
        {R"({ "kind": "shortReply", "bytes": 2 })", Bytes(kGoodReply.begin(), kGoodReply.end() - 2),
         0},  // the line goes quiet: no waiting for the missing bytes
        {R"({ "kind": "corruptCheck" })", corrupt, 0},
        {R"({ "kind": "moduleError" })", error, 0},
        {R"({ "kind": "slow", "delayMs": 120 })", kGoodReply, 120000},
        {R"({ "kind": "slow", "delayMs": 400 })", {}, 333000},
        {R"({ "kind": "noReply", "channel": 0 })", kGoodReply, 0},
        {R"({ "kind": "noReply", "operation": "readShort" })", kGoodReply, 0},
        {R"({ "kind": "noReply", "address": "0x01008" })", kGoodReply, 0},
        {R"({ "kind": "noReply", "channel": 5, "operation": "readAddr", "address": "0x01000" })", {}, 333000},
    };
    for (const Case& c : cases) {
        CrateFixture f(withFaults(c.fault));
        EXPECT_EQ(f.exchange(kReadSerial5, kGoodReply.size()), c.reply) << c.fault;
        EXPECT_EQ(f.clock.now, c.elapsedUs) << c.fault;
    }
}

TEST(Faults, CountAfterAndEveryNthPickTheExchanges) {
    struct Case {
        const char* fault;
        const char* pattern;  // per exchange: x faulty, . good
    };
    const Case cases[] = {
        {R"({ "kind": "noReply", "count": 2 })", "xx......"},
        {R"({ "kind": "noReply", "after": 3 })", "...xxxxx"},
        {R"({ "kind": "noReply", "everyNth": 3 })", "x..x..x."},
        {R"({ "kind": "noReply", "after": 1, "everyNth": 2, "count": 2 })", ".x.x...."},
    };
    for (const Case& c : cases) {
        CrateFixture f(withFaults(c.fault));
        std::string seen;
        for (int i = 0; i < 8; ++i) seen += f.exchange(kReadSerial5, kGoodReply.size()).empty() ? 'x' : '.';
        EXPECT_EQ(seen, c.pattern) << c.fault;
    }
}

TEST(Faults, ProbabilityIsRepeatableForOneSeed) {
    auto run = [](const char* seed) {
        CrateFixture f(smallScenario("", std::string(R"(, "seed": )") + seed +
                                             R"(, "faults": [ { "kind": "noReply", "probability": 0.5 } ])"));
        std::string seen;
        for (int i = 0; i < 32; ++i) seen += f.exchange(kReadSerial5, kGoodReply.size()).empty() ? 'x' : '.';
        return seen;
    };
    const std::string a = run("7");
    EXPECT_EQ(a, run("7"));
    EXPECT_NE(a, run("8"));
    EXPECT_NE(a.find('x'), std::string::npos);
    EXPECT_NE(a.find('.'), std::string::npos);
}

TEST(Faults, RefusedParameterKeepsTheRecord) {
    CrateFixture f(
        withFaults(R"({ "kind": "refuse", "channel": 0, "field": "user.Unom", "code": 5, "count": 1 })"));
    const Bytes setUnom = sealed({0x80, 0x39, 0x02, 0x20, 0x01, 0x00, 0x50});
    const auto before = f.controller().module(0)->user();
    EXPECT_EQ(f.exchange(setUnom, 8), sealed({0x80, 0x0E, 0x02, 0x20, 0x01, 0x05, 0x00}));
    EXPECT_EQ(f.controller().module(0)->user(), before);
    // Another field is not affected, and the rule's single shot is spent.
    EXPECT_EQ(f.exchange(sealed({0x80, 0x39, 0x04, 0x20, 0x01, 0x00, 0x10}), 8)[5], 0);
    EXPECT_EQ(f.exchange(setUnom, 8), sealed({0x80, 0x0E, 0x02, 0x20, 0x01, 0x00, 0x00}));
}

TEST(Faults, WriteFailureReachesNothing) {
    CrateFixture f(withFaults(R"({ "kind": "writeFail", "operation": "writeShort", "count": 1 })"));
    const Bytes allOn{0x00, 0x31, 0x01, 0x00, 0x6A};
    EXPECT_FALSE(f.crate->write(f.slot, allOn.data(), allOn.size()));
    EXPECT_FALSE(f.controller().module(0)->output().isOn());
    EXPECT_EQ(f.exchange(kReadSerial5, kGoodReply.size()), kGoodReply) << "other operations pass";
    EXPECT_TRUE(f.crate->write(f.slot, allOn.data(), allOn.size()));
    EXPECT_TRUE(f.controller().module(0)->output().isOn());
}

}  // namespace
