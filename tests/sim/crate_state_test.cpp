// The state a virtual crate keeps over a power cycle: what was written through the modules' and the
// processor's own paths comes back in a crate built anew from the same scenario, outputs come back
// off unless the scenario keeps them on, and a state of another kind leaves the crate as it was.
#include "sim/crate_state.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/controller.h"
#include "sim/module.h"
#include "sim/record_layout.h"
#include "sim/tms320.h"
#include "sim/virtual_crate.h"

namespace vsim {
namespace {

std::string exampleText() {
    std::ifstream in(std::string(VZ_DOCS_EXAMPLES) + "/qx308-module-update.json");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::unique_ptr<VirtualCrate> crateFrom(const std::string& json) {
    std::string error;
    auto crate = VirtualCrate::fromJsonText(json, error);
    EXPECT_TRUE(crate) << error;
    return crate;
}

std::vector<uint8_t> frame(uint8_t cmd, uint32_t adr, uint16_t size, uint8_t sum = 0) {
    return {cmd,
            static_cast<uint8_t>(adr),
            static_cast<uint8_t>(adr >> 8),
            static_cast<uint8_t>(adr >> 16),
            static_cast<uint8_t>(adr >> 24),
            static_cast<uint8_t>(size),
            static_cast<uint8_t>(size >> 8),
            sum};
}

uint8_t checksum(const std::vector<uint8_t>& b) {
    uint8_t s = 0;
    for (uint8_t x : b) s = static_cast<uint8_t>(s + x);
    return static_cast<uint8_t>(-s);
}

// The firmware sector that starts at the flash's base address (the last one, J).
int lowestSector() {
    for (int k = 0; k < Tms320Flash::kSectors; ++k)
        if (Tms320Flash::sector(k).first == Tms320Flash::kBase) return k;
    return -1;
}

TEST(CrateState, WhatAModuleAndTheControllerWroteComesBackAfterAPowerCycle) {
    auto crate = crateFrom(exampleText());
    Module& m = *crate->controller(0).module(1);
    uint64_t count = crate->changeCount();
    auto changed = [&] {
        const bool moved = crate->changeCount() != count;
        count = crate->changeCount();
        return moved;
    };

    ASSERT_EQ(m.writeParameter(kUserBase + useroff::idGroup, {5, 0}), 0);
    EXPECT_TRUE(changed()) << "a record write";
    m.command(0x0001, false);
    ASSERT_TRUE(m.outputOn());
    EXPECT_TRUE(changed()) << "switching on";

    // Into the boot loader, then a program row, an EEPROM row, a configuration word and a start
    // parameter, each through the module's buffer and command page as the updater writes them.
    int64_t now = 0;
    ASSERT_EQ(m.bootCommand(frame(0x0F, 0, 0), now), 0);
    EXPECT_TRUE(changed()) << "the boot loader started";
    now += 200000;
    std::vector<uint8_t> row(96);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(0x30 + i);
    ASSERT_TRUE(m.writeMemory(0xD000, row));
    ASSERT_EQ(m.bootCommand(frame(0x03, 0x1000, 96, checksum(row)), now), 0);
    EXPECT_TRUE(changed()) << "a program row";
    now += 100000;
    std::vector<uint8_t> eeRow(32);
    for (size_t i = 0; i < eeRow.size(); ++i) eeRow[i] = static_cast<uint8_t>(0xA0 + i);
    ASSERT_TRUE(m.writeMemory(0xD000, eeRow));
    const uint32_t eeBase = 0x800000 - 2 * m.bootFirmware().processor().eepromWords;
    ASSERT_EQ(m.bootCommand(frame(0x05, eeBase + 0x40, 16, checksum(eeRow)), now), 0);
    now += 100000;
    const std::vector<uint8_t> configWord = {0x34, 0x12};
    ASSERT_TRUE(m.writeMemory(0xD000, configWord));
    ASSERT_EQ(m.bootCommand(frame(0x07, 0xF80002, 2, checksum(configWord)), now), 0);
    ASSERT_EQ(m.bootCommand({0x0D, 2, 1, 0x78, 0x56, 0x34, 0x12, 0}, now), 0);
    EXPECT_TRUE(changed()) << "a start parameter";

    crate->controller(0).module(3)->setChannel(7);  // an assignment moves a module to another channel
    EXPECT_TRUE(changed()) << "a channel assigned";
    crate->controller(0).configRecord()[10] = 0x77;
    Tms320Flash& flash = crate->dsp(0).flash();
    ASSERT_TRUE(flash.erase(static_cast<uint16_t>(1u << lowestSector())));
    flash.program(Tms320Flash::kBase + 0x10, 0x1234);
    EXPECT_TRUE(changed()) << "erasing and programming the controller's flash";

    const std::string state = crateStateJson(*crate);
    auto again = crateFrom(exampleText());
    std::string error;
    ASSERT_TRUE(applyCrateState(*again, state, error)) << error;

    const Module& r = *again->controller(0).module(1);
    EXPECT_EQ(r.user()[useroff::idGroup], 5);
    EXPECT_FALSE(r.outputOn()) << "outputs come back off after a power cycle";
    for (uint32_t k = 0; k < 32; ++k)
        EXPECT_EQ(r.bootFirmware().instruction(0x1000 + 2 * k),
                  uint32_t{row[3 * k]} | uint32_t{row[3 * k + 1]} << 8 | uint32_t{row[3 * k + 2]} << 16)
            << k;
    for (size_t k = 0; k < 16; ++k)
        EXPECT_EQ(r.bootFirmware().eepromWord(0x20 + k), eeRow[2 * k] | eeRow[2 * k + 1] << 8) << k;
    EXPECT_EQ(r.bootFirmware().persistent().config.at(1), 0x1234);
    EXPECT_EQ(r.bootFirmware().parameter(2), 0x12345678u);
    EXPECT_TRUE(r.bootFirmware().bootLoaderRuns(0)) << "it runs what it ran";
    EXPECT_EQ(again->controller(0).configRecord()[10], 0x77);
    ASSERT_TRUE(again->controller(0).module(7));
    EXPECT_EQ(again->controller(0).module(7)->serialNumber(), 30003u);
    EXPECT_FALSE(again->controller(0).module(3));
    Tms320Flash& restored = again->dsp(0).flash();
    EXPECT_EQ(restored.read(Tms320Flash::kBase + 0x10), 0x1234);
    EXPECT_EQ(restored.read(Tms320Flash::kBase + 0x11), 0xFFFF);
    EXPECT_EQ(restored.read(Tms320Flash::kBootloaderVersionBlock + 7), Tms320Flash::kVersionMark)
        << "the sectors left alone keep their words";
    EXPECT_EQ(again->dsp(0).state(), Tms320State::Dead) << "the processor boots from the restored flash";
    // The other modules as they were built.
    EXPECT_EQ(again->controller(0).module(2)->bootFirmware().persistent().programMemory,
              crate->controller(0).module(2)->bootFirmware().persistent().programMemory);
    EXPECT_EQ(crateStateJson(*again).size(),
              state.size() - std::string("true").size() + std::string("false").size())
        << "written again, the state differs only in the output that came back off";
}

TEST(CrateState, AScenarioCanKeepOutputsOnOverAPowerCycle) {
    std::string text = exampleText();
    text.insert(text.find('{') + 1, R"("keepOutputsOn": true,)");
    auto crate = crateFrom(text);
    crate->controller(0).module(2)->command(0x0001, false);
    auto again = crateFrom(text);
    std::string error;
    ASSERT_TRUE(applyCrateState(*again, crateStateJson(*crate), error)) << error;
    EXPECT_TRUE(again->controller(0).module(2)->outputOn());
    EXPECT_FALSE(again->controller(0).module(1)->outputOn());
}

TEST(CrateState, AStateOfAnotherKindLeavesTheCrateAsItWas) {
    auto source = crateFrom(exampleText());
    source->controller(0).module(1)->writeParameter(kUserBase + useroff::idGroup, {9, 0});
    const std::string good = crateStateJson(*source);
    std::string otherVersion = good;
    otherVersion.replace(otherVersion.find("\"version\": 1"), 12, "\"version\": 2");
    auto defaultCrate = VirtualCrate::fromDefault();
    const struct {
        const char* what;
        std::string text;
        const char* says;
    } cases[] = {
        {"garbage", "{\"format\": ", "not valid"},
        {"another format", R"({"format": "something else", "version": 1})", "not a virtual crate state"},
        {"another version", otherVersion, "another version"},
        {"another crate", crateStateJson(*defaultCrate), "another crate"},
        {"a cut record", std::string(good).replace(good.find("\"user\": \"") + 9, 4, ""), "not valid"},
    };
    for (const auto& c : cases) {
        auto crate = crateFrom(exampleText());
        const std::string before = crateStateJson(*crate);
        std::string error;
        EXPECT_FALSE(applyCrateState(*crate, c.text, error)) << c.what;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(crateStateJson(*crate), before) << c.what;
    }
}

}  // namespace
}  // namespace vsim
