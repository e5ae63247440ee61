// Every operation answered byte for byte, requests written out by hand.
#include "crate_fixture.h"

namespace {

TEST(ModuleAccessFrames, EachOperationIsAnsweredByteExact) {
    CrateFixture f(smallScenario());
    // readAddr of 8 bytes from module 5 at 0x01000: serial number and system flags.
    EXPECT_EQ(f.exchange({0x85, 0xAC, 0x00, 0x10, 0x00, 0x63}),
              sealed({0x85, 0x08, 0x00, 0x10, 0x00, 0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0}));
    // readAddr of the firmware version bytes 16..19 (4.3.2.1 is stored 01 02 03 04).
    EXPECT_EQ(f.exchange(sealed({0x80, 0xAA, 0x10, 0x00, 0x00})),
              sealed({0x80, 0x08, 0x10, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04}));
    // readShort of measurement block 1 (function code 5): temperature 25 degrees, output off.
    EXPECT_EQ(f.exchange(sealed({0x80, 0xD4})), sealed({0x80, 0x00, 0x19, 0, 0, 0, 0, 0, 0, 0}));
    // writeShort: switch all modules off.
    EXPECT_EQ(f.exchange({0x00, 0x31, 0x01, 0x00, 0x6A}), sealed({0x00, 0x06}));
    // writeReply: Unom of module 5 := 40 V (raw 0x5000 with exponent -9), accepted with result 0.
    EXPECT_EQ(f.exchange(sealed({0x85, 0x39, 0x02, 0x20, 0x01, 0x00, 0x50})),
              sealed({0x85, 0x0E, 0x02, 0x20, 0x01, 0x00, 0x00}));
    EXPECT_EQ(f.exchange(sealed({0x85, 0xA9, 0x02, 0x20, 0x00})),
              sealed({0x85, 0x08, 0x02, 0x20, 0x00, 0x00, 0x50}));
    // writeAddr to the controller's configuration record (word address 0x9580 on a KRAT).
    EXPECT_EQ(f.exchange(sealed({0xFF, 0x39, 0x8E, 0x95, 0x02, 0x34, 0x12})),
              sealed({0xFF, 0x0E, 0x8E, 0x95, 0x02}));
    EXPECT_EQ(f.exchange(sealed({0xFF, 0xA9, 0x8E, 0x95, 0x02})),
              sealed({0xFF, 0x08, 0x8E, 0x95, 0x02, 0x34, 0x12}));
}

TEST(ModuleAccessFrames, AssignmentBySerialMovesTheModule) {
    CrateFixture f(smallScenario());
    // Serial 1001 = 0x3E9: address byte = bits 25..18 = 0, address = bits 17..0; new channel 9, group 1.
    EXPECT_EQ(f.exchange(sealed({0x00, 0x0A, 0xE9, 0x03, 0x00, 0x09, 0x00, 0x01, 0x00})),
              sealed({0x00, 0x0E, 0xE9, 0x03, 0x00}));
    ASSERT_NE(f.controller().module(9), nullptr);
    EXPECT_EQ(f.controller().module(0), nullptr);
    EXPECT_EQ(f.exchange(sealed({0x89, 0xAC, 0x08, 0x10, 0x00})),
              sealed({0x89, 0x08, 0x08, 0x10, 0x00, 0x09, 0x00, 0xF5, 0xF5, 0x00, 0x80, 0, 0}))
        << "idModule follows the new channel";
    // Onto an occupied channel (5): refused with status 7, nothing moves.
    EXPECT_EQ(f.exchange(sealed({0x00, 0x0A, 0xE9, 0x03, 0x00, 0x05, 0x00, 0x01, 0x00})),
              sealed({0x00, 0x0F, 0xE9, 0x03, 0x00}));
    EXPECT_NE(f.controller().module(9), nullptr);
}

TEST(ModuleAccessFrames, ErrorsAnswerWithStatusSevenInAFullSizeFrame) {
    CrateFixture f(smallScenario());
    struct Case {
        const char* what;
        Bytes request;
        Bytes reply;
    };
    const Case cases[] = {
        {"unmapped page", sealed({0x85, 0xAC, 0x00, 0x30, 0x00}),
         sealed({0x85, 0x0F, 0x00, 0x30, 0x00, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"read memory with a wrong function code", sealed({0x85, 0x9C, 0x00, 0x10, 0x00}),
         sealed({0x85, 0x0F, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"readShort of the controller", sealed({0xFF, 0xC4}), sealed({0xFF, 0x07, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"word space of a KRAT without cache", sealed({0xFF, 0xAA, 0x22, 0x90, 0x02}),
         sealed({0xFF, 0x0F, 0x22, 0x90, 0x02, 0, 0, 0, 0})},
        {"write into a record outside the command space", sealed({0x85, 0x39, 0x02, 0x20, 0x00, 0x01, 0x00}),
         sealed({0x85, 0x0F, 0x02, 0x20, 0x00})},
    };
    for (const Case& c : cases) EXPECT_EQ(f.exchange(c.request), c.reply) << c.what;
}

TEST(ModuleAccessFrames, BadCheckByteIsIgnoredAndFramingRecovers) {
    CrateFixture f(smallScenario());
    EXPECT_TRUE(f.exchange({0x85, 0xAC, 0x00, 0x10, 0x00, 0x64}).empty());
    EXPECT_EQ(f.controller().framesIgnored(), 1u);
    // The next frame is answered; so is one that arrives in two writes.
    EXPECT_EQ(f.exchange({0x00, 0x31, 0x01, 0x00, 0x6A}), sealed({0x00, 0x06}));
    const Bytes first{0x00, 0x31};
    f.crate->write(f.slot, first.data(), first.size());
    EXPECT_EQ(f.exchange({0x01, 0x00, 0x6A}), sealed({0x00, 0x06}));
}

TEST(ModuleAccessFrames, GarbageBeforeAPauseIsDropped) {
    CrateFixture f(smallScenario());
    const Bytes junk{0x85, 0xAC, 0x00};  // half a frame, then the host gives up
    f.crate->write(f.slot, junk.data(), junk.size());
    f.clock.now += 50000;
    EXPECT_EQ(f.exchange({0x00, 0x31, 0x01, 0x00, 0x6A}), sealed({0x00, 0x06}));
}

}  // namespace
