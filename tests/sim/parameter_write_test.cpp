// Parameter writes through the command space, validated as the module firmware does: a refused
// value leaves the record as it was.
#include "crate_fixture.h"
#include "sim/module.h"

namespace {

// writeReply to module 0 at base + offset with the given data; returns the result word, or -1.
int command(CrateFixture& f, uint32_t address, Bytes data) {
    address |= 0x10000;
    Bytes frame{0x80, static_cast<uint8_t>(0x38 | (data.size() / 2)), static_cast<uint8_t>(address),
                static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address >> 16)};
    frame.insert(frame.end(), data.begin(), data.end());
    const Bytes reply = f.exchange(sealed(frame), 8);
    if (reply.size() != 8 || reply[1] != 0x0E) return -1;
    return reply[5] | (reply[6] << 8);
}

TEST(ParameterWrite, ValidatedLikeTheModuleFirmware) {
    // Module 0: exponents -11, maxUnom 15 V (raw 30720), maxInom 10 A (raw 20480).
    struct Case {
        const char* what;
        uint32_t address;
        Bytes data;
        int result;
    };
    const Case cases[] = {
        {"Unom 10 V", 0x2002, {0x00, 0x50}, 0},
        {"Unom at maxUnom", 0x2002, {0x00, 0x78}, 0},
        {"Unom above maxUnom", 0x2002, {0x01, 0x78}, 3},
        {"Unom negative", 0x2002, {0xFF, 0xFF}, 3},
        {"Inom above maxInom", 0x2004, {0x01, 0x50}, 3},
        {"idGroup 127", 0x2000, {0x7F, 0x00}, 0},
        {"idGroup 0", 0x2000, {0x00, 0x00}, 3},
        {"idGroup 128", 0x2000, {0x80, 0x00}, 3},
        {"errorAction, any word", 0x200A, {0xFF, 0xFF}, 0},
        {"reserved user bytes", 0x2018, {0x01, 0x00}, 1},
        {"four bytes to a 16-bit field", 0x2002, {0x00, 0x50, 0, 0}, 2},
        {"float layout on a non-WDX module", 0x2006, {0, 0, 0x80, 0x3F}, 2},
        {"system flags, 32 bits", 0x1004, {0x08, 0, 0, 0x01}, 0},
        {"both exponents", 0x100A, {0xF4, 0xF6}, 0},
        {"idModule is not a parameter", 0x1008, {0x03, 0x00}, 1},
        {"serial number 0", 0x1000, {0, 0, 0, 0}, 3},
        {"calibration gain", 0x1014, {0x00, 0x81}, 0},
        {"firmware record", 0x0000, {0x41, 0x42}, 1},
    };
    for (const Case& c : cases) {
        CrateFixture f(smallScenario());
        const vsim::Module& m = *f.controller().module(0);
        const auto system = m.system();
        const auto user = m.user();
        EXPECT_EQ(command(f, c.address, c.data), c.result) << c.what;
        if (c.result != 0) {
            EXPECT_EQ(m.system(), system) << c.what;
            EXPECT_EQ(m.user(), user) << c.what;
            continue;
        }
        // Stored: read back through the byte-addressed space.
        const uint32_t a = c.address;
        const Bytes reply =
            f.exchange(sealed({0x80, 0xAC, static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8), 0}), 14);
        ASSERT_EQ(reply.size(), 14u) << c.what;
        EXPECT_EQ(Bytes(reply.begin() + 5, reply.begin() + 5 + c.data.size()), c.data) << c.what;
    }
}

TEST(ParameterWrite, WdxModulesTakeTheFloatPair) {
    CrateFixture f(smallWdxScenario());
    EXPECT_EQ(command(f, 0x2002, {0x00, 0x00, 0x80, 0x3F}), 0);  // ugain 1.0f
    EXPECT_EQ(command(f, 0x2006, {0x00, 0x00, 0xC0, 0x7F}), 3);  // NaN
    EXPECT_EQ(command(f, 0x2002, {0x00, 0x50}), 1) << "no Unom in the float layout";
    const auto& u = f.controller().module(0)->user();
    EXPECT_EQ(Bytes(u.begin() + 2, u.begin() + 6), (Bytes{0x00, 0x00, 0x80, 0x3F}));
}

TEST(ParameterWrite, AbsentModuleGivesStatusSeven) {
    CrateFixture f(smallScenario());
    const Bytes reply = f.exchange(sealed({0x84, 0x39, 0x02, 0x20, 0x01, 0x00, 0x50}), 8);
    EXPECT_EQ(reply, sealed({0x84, 0x0F, 0x02, 0x20, 0x01, 0x00, 0x00}));
}

}  // namespace
