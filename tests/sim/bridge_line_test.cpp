// The bridge as the program's USB link sees it: enumeration, opening, line settings, unplugging,
// modem lines, the byte log and the time replies take.
#include "crate_fixture.h"

namespace {

const Bytes kAllOff{0x00, 0x31, 0x02, 0x00, 0x69};

std::string twoBridges(bool lineRate = false) {
    return std::string(R"({ "controller": { "lineRate": )") + (lineRate ? "true" : "false") + R"( },
  "bridges": [
    { "serial": "A1", "description": "first", "pid": "0011" },
    { "serial": "B2", "description": "second", "busy": true },
    { "serial": "C3", "description": "third", "plugged": false } ] })";
}

TEST(BridgeLine, EnumerationBusyAndSecondOpen) {
    CrateFixture f(twoBridges());  // opens index 0
    ASSERT_EQ(f.crate->bridgeCount(), 2);
    EXPECT_EQ(f.crate->bridgeInfo(0).pid, "0011");
    EXPECT_EQ(f.crate->bridgeInfo(1).serial, "B2");
    EXPECT_TRUE(f.crate->bridgeInfo(1).busy);
    EXPECT_EQ(f.crate->bridgeBySerial("C3"), 2);
    EXPECT_EQ(f.crate->bridgeBySerial("nope"), -1);
    EXPECT_EQ(f.crate->open(0), -1) << "already open";
    EXPECT_EQ(f.crate->open(1), -1) << "busy";
    EXPECT_EQ(f.crate->open(2), -1) << "not there";
    f.crate->setBusy("B2", false);
    EXPECT_EQ(f.crate->open(1), 1);
    f.crate->close(f.slot);
    EXPECT_EQ(f.crate->open(0), 0) << "free again after close";
}

TEST(BridgeLine, AnswersOnlyWithTheProtocolLineSettings) {
    struct Case {
        uint32_t baud;
        uint16_t lineControl;
        bool answered;
    };
    for (const Case c : {Case{115200, 0x0810, true}, Case{115200, 0x0800, false}, Case{57600, 0x0810, false},
                         Case{9600, 0x0800, false}}) {
        CrateFixture f(smallScenario(), false);
        f.crate->setBaudRate(f.slot, c.baud);
        f.crate->setLineControl(f.slot, c.lineControl);
        EXPECT_EQ(f.exchange(kAllOff, 3).size(), c.answered ? 3u : 0u) << c.baud << " " << c.lineControl;
        EXPECT_EQ(f.clock.now, c.answered ? 0 : 333000) << "a missing answer costs the whole time-out";
    }
}

TEST(BridgeLine, UnplugFailsTheHandleAndReplugNeedsANewOpen) {
    CrateFixture f(twoBridges());
    f.crate->unplug("A1");
    EXPECT_EQ(f.crate->bridgeCount(), 1);
    EXPECT_EQ(f.crate->bridgeInfo(0).serial, "B2");
    uint8_t buffer[4];
    bool ok = true;
    EXPECT_FALSE(f.crate->write(f.slot, kAllOff.data(), kAllOff.size()));
    EXPECT_EQ(f.crate->read(f.slot, buffer, 4, 333, ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(f.crate->setBaudRate(f.slot, 115200));
    EXPECT_FALSE(f.crate->purge(f.slot));

    f.crate->replug("A1");
    ASSERT_EQ(f.crate->bridgeCount(), 2);
    EXPECT_FALSE(f.crate->write(f.slot, kAllOff.data(), kAllOff.size())) << "the old handle stays dead";
    const int slot = f.crate->open(0);
    EXPECT_EQ(slot, 0) << "slots are stable";
    // A replugged bridge comes back with its power-on line settings and must be configured again.
    f.crate->write(slot, kAllOff.data(), kAllOff.size());
    EXPECT_EQ(f.crate->read(slot, buffer, 3, 333, ok), 0u);
    f.crate->setBaudRate(slot, 115200);
    f.crate->setLineControl(slot, 0x0810);
    f.crate->write(slot, kAllOff.data(), kAllOff.size());
    EXPECT_EQ(f.crate->read(slot, buffer, 3, 333, ok), 3u);
}

TEST(BridgeLine, UnplugWhileReadingEndsTheRead) {
    CrateFixture f(twoBridges());
    f.crate->setTime({[&f] { return f.clock.now; },
                      [&f](int64_t us) {
                          f.clock.now += us;
                          f.crate->unplug("A1");
                      }});
    uint8_t buffer[3];
    bool ok = true;
    EXPECT_EQ(f.crate->read(f.slot, buffer, 3, 333, ok), 0u);
    EXPECT_FALSE(ok);
}

TEST(BridgeLine, ModemLinesAndByteLog) {
    CrateFixture f(smallScenario());
    bool rts = true, dtr = true;
    EXPECT_TRUE(f.crate->modemLines(f.slot, rts, dtr));
    EXPECT_FALSE(rts);
    EXPECT_FALSE(dtr);
    EXPECT_TRUE(f.crate->setLines(f.slot, true, false));
    f.crate->modemLines(f.slot, rts, dtr);
    EXPECT_TRUE(rts);
    EXPECT_FALSE(dtr);
    f.crate->setLines(f.slot, false, false);  // RTS held active keeps the controller's processor in reset

    f.crate->clearByteLog();
    f.exchange(kAllOff, 3);
    const auto& log = f.crate->byteLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].toDevice);
    EXPECT_EQ(log[0].bytes, kAllOff);
    EXPECT_FALSE(log[1].toDevice);
    EXPECT_EQ(log[1].bytes, sealed({0x00, 0x06}));
}

TEST(BridgeLine, LineRateModeTakesTheWireTimeOfBothDirections) {
    CrateFixture f(twoBridges(true));
    // 5 bytes out and 3 back at 115200 baud, 11 bits a byte: 477.4 us and 286.5 us, each rounded up.
    EXPECT_EQ(f.exchange(kAllOff, 3).size(), 3u);
    EXPECT_EQ(f.clock.now, 478 + 287);
    // Nothing is readable before its last bit is on the wire.
    f.crate->write(f.slot, kAllOff.data(), kAllOff.size());
    f.clock.now += 500;
    EXPECT_EQ(f.crate->rxQueue(f.slot), 0u);
    f.clock.now += 200;
    EXPECT_EQ(f.crate->rxQueue(f.slot), 2u);
    f.crate->purge(f.slot);
    f.clock.now += 100;
    EXPECT_EQ(f.crate->rxQueue(f.slot), 1u) << "a purge keeps bytes still on the wire";
}

TEST(BridgeLine, WithoutLineRateRepliesAreImmediate) {
    CrateFixture f(twoBridges(false));
    EXPECT_EQ(f.exchange(kAllOff, 3).size(), 3u);
    EXPECT_EQ(f.clock.now, 0);
}

TEST(BridgeLine, AbsentModuleAnswersStatusSevenAfterTheCanTimeout) {
    CrateFixture f(smallScenario());
    // readShort of block 0 from channel 3, where no module sits; the scenario's CAN time-out is 40 ms.
    EXPECT_EQ(f.exchange(sealed({0x83, 0xC4}), 11), sealed({0x83, 0x07, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(f.clock.now, 40000);

    CrateFixture silent(smallScenario(R"(, "absentSilent": true)"));
    EXPECT_TRUE(silent.exchange(sealed({0x83, 0xC4}), 11).empty());
    EXPECT_EQ(silent.clock.now, 333000);
}

}  // namespace
