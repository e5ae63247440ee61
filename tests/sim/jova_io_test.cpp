// A JOVA board's I/O test block: driven pins show their latch, the other pins under test what the
// fixture applies; the board answers a write it took with 4.
#include "sim/jova_io.h"

#include "crate_fixture.h"

namespace {

// writeReply to module 0 at address, four data bytes; the result word, or -1.
int command(CrateFixture& f, uint32_t address, uint32_t value) {
    address |= 0x10000;
    Bytes frame{0x80, 0x3A, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                static_cast<uint8_t>(address >> 16)};
    for (int b = 0; b < 4; ++b) frame.push_back(static_cast<uint8_t>(value >> (8 * b)));
    const Bytes reply = f.exchange(sealed(frame), 8);
    if (reply.size() != 8 || reply[1] != 0x0E) return -1;
    return reply[5] | (reply[6] << 8);
}

// readAddr of 4 bytes at address from module 0; the little-endian word, or -1.
int64_t readWord(CrateFixture& f, uint32_t address) {
    const Bytes frame{0x80, 0xAA, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                      static_cast<uint8_t>(address >> 16)};
    const Bytes reply = f.exchange(sealed(frame), 10);
    if (reply.size() != 10) return -1;
    return reply[5] | (reply[6] << 8) | (reply[7] << 16) | (int64_t{reply[8]} << 24);
}

TEST(JovaIo, OutputsLatchAndInputsShowTheFixture) {
    CrateFixture f(R"({"controller": {"type": 16, "canTimeoutMs": 1}, "bridges": [{"serial": "J"}],
                      "modules": [{"channel": 0, "serialNumber": 7, "firmware": {"name": "BOLAN JOVA"},
                                   "jovaInputs": 5}]})");
    // Input test: every pin under test, none driven: the pins show the fixture's inputs.
    EXPECT_EQ(command(f, 0xF000, 0x3FFFF), 4);
    EXPECT_EQ(command(f, 0xF008, 0), 4);
    EXPECT_EQ(readWord(f, 0xF010), 5);
    // Output test with one latch: the driven pins show the latch, no longer the fixture.
    EXPECT_EQ(command(f, 0xF008, 0x3FFFF), 4);
    EXPECT_EQ(command(f, 0xF018, 0x8), 4);
    EXPECT_EQ(readWord(f, 0xF010), 0x8);
    EXPECT_EQ(readWord(f, 0xF018), 0x8);
    // Test off: no pin under test reads anything.
    EXPECT_EQ(command(f, 0xF000, 0), 4);
    EXPECT_EQ(readWord(f, 0xF010), 0);
    // Only the three words take writes.
    EXPECT_NE(command(f, 0xF010, 1), 4);
    EXPECT_EQ(readWord(f, 0xF018), 0x8);
}

}  // namespace
