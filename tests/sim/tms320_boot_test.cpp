// The controller's processor at reset and boot: the modem lines pick the ROM boot loader or the
// flash, the boot loader takes a boot stream byte by byte, and the flash boots only when it holds a
// valid image.
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "dsp_fixture.h"
#include "sim/tms320.h"
#include "sim/tms320_flash.h"

namespace {

using vsim::Tms320Flash;
using vsim::Tms320State;

TEST(Tms320Boot, ModemLinesResetIntoTheBootLoaderOrTheFlash) {
    DspFixture f;
    EXPECT_EQ(f.dsp().state(), Tms320State::ControllerFirmware) << "power-on boots from flash";
    EXPECT_TRUE(f.controllerAnswers());

    f.crate->setLines(f.slot, true, true);
    EXPECT_EQ(f.dsp().state(), Tms320State::Reset);
    EXPECT_FALSE(f.controllerAnswers()) << "held in reset";
    f.crate->setLines(f.slot, false, true);
    EXPECT_EQ(f.dsp().state(), Tms320State::RomBootLoader);
    f.bootLine();
    EXPECT_EQ(f.send({'A'}), Bytes{'A'});
    f.crate->setLines(f.slot, false, true);  // the link sets the lines it already has
    EXPECT_EQ(f.dsp().state(), Tms320State::RomBootLoader);
    EXPECT_EQ(f.send({0xAA}), Bytes{0xAA}) << "still locked: no restart without an edge";
    EXPECT_FALSE(f.controllerAnswers()) << "the controller firmware is not running";

    f.pulse(false);
    EXPECT_EQ(f.dsp().state(), Tms320State::ControllerFirmware);
    EXPECT_TRUE(f.controllerAnswers());
    f.crate->setLines(f.slot, false, false);  // the program's configuration: no change
    EXPECT_EQ(f.dsp().state(), Tms320State::ControllerFirmware);

    f.pulse(true);
    f.crate->unplug("B1");
    f.crate->replug("B1");
    EXPECT_EQ(f.dsp().state(), Tms320State::ControllerFirmware) << "replugging powers it up from flash";
}

TEST(Tms320Boot, BootLoaderTakesAnEchoedStreamAndStartsTheAccessFirmware) {
    DspFixture f;
    f.pulse(true);
    f.moduleLine();
    EXPECT_TRUE(f.send({'A'}, 50).empty()) << "at 8O1 the byte is noise";
    f.bootLine();
    EXPECT_TRUE(f.send({0x00, 0x55, 0xAA}, 50).empty()) << "no echo before the autobaud lock";
    EXPECT_EQ(f.send({'A'}), Bytes{'A'});
    const Bytes stream = accessFirmwareStream();
    EXPECT_EQ(f.sendEchoed(stream), stream);
    EXPECT_EQ(f.dsp().state(), Tms320State::AccessFirmware);
    EXPECT_EQ(f.dsp().readWord(0x3F0), 0x1111);
    EXPECT_EQ(f.dsp().readWord(0x3F1), 0x2222);
    EXPECT_EQ(f.dsp().readWord(0x8001), 0x761F);
    EXPECT_EQ(f.dsp().ram().size(), 5u);
    EXPECT_FALSE(f.controllerAnswers()) << "module access is not answered by the access firmware";
}

TEST(Tms320Boot, StreamBytesAsTheHostWritesThem) {
    // Entry point 0x3F8000 and a block of two words there, byte for byte.
    Bytes literal{0xAA, 0x08};
    literal.insert(literal.end(), 16, 0x00);
    for (uint8_t b :
         {0x3F, 0x00, 0x00, 0x80, 0x02, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x34, 0x12, 0x78, 0x56, 0x00, 0x00})
        literal.push_back(b);
    ASSERT_EQ(bootStream(0x3F8000, {{0x3F8000, {0x1234, 0x5678}}}), literal) << "the tests' stream builder";
    DspFixture f;
    f.pulse(true);
    f.bootLine();
    f.send({'A'});
    EXPECT_EQ(f.sendEchoed(literal), literal);
    EXPECT_EQ(f.dsp().state(), Tms320State::AccessFirmware);
    EXPECT_EQ(f.dsp().readWord(0x3F8000), 0x1234);
    EXPECT_EQ(f.dsp().readWord(0x3F8001), 0x5678);
}

TEST(Tms320Boot, AnUnusableStreamLeavesTheProcessorDeadUntilReset) {
    struct Case {
        const char* name;
        Bytes stream;
        size_t echoed;  // bytes echoed before it dies
    };
    const Bytes wrongKey = bootStream(0x8000, {{0x8000, {1}}}, 0xAB);
    const Bytes entryOutside = bootStream(0x9000, {{0x8000, {1, 2}}});
    const Bytes noBlock = bootStream(0x8000, {});
    const Case cases[] = {
        {"wrong key", wrongKey, 2},
        {"entry outside the blocks", entryOutside, entryOutside.size()},
        {"no block", noBlock, noBlock.size()},
    };
    for (const Case& c : cases) {
        DspFixture f;
        f.pulse(true);
        f.bootLine();
        f.send({'A'});
        const Bytes echoes = f.sendEchoed(c.stream);
        EXPECT_EQ(echoes, Bytes(c.stream.begin(), c.stream.begin() + static_cast<long>(c.echoed))) << c.name;
        EXPECT_EQ(f.dsp().state(), Tms320State::Dead) << c.name;
        EXPECT_TRUE(f.send({'A'}, 50).empty()) << c.name;
        f.pulse(true);
        EXPECT_EQ(f.dsp().state(), Tms320State::RomBootLoader) << c.name << ": a reset revives it";
    }
}

TEST(Tms320Boot, FlashBootsOnlyAValidImage) {
    DspFixture f;
    f.startAccessFirmware();
    // Keep the factory firmware's words to program them back.
    std::vector<uint16_t> image(Tms320Flash::kFirmwareEnd - Tms320Flash::kBase);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = f.dsp().flash().read(Tms320Flash::kBase + static_cast<uint32_t>(i));

    EXPECT_EQ(f.command(commandBlock(10, 0, 0, {0x3FC})).status(), 0);
    f.pulse(false);
    EXPECT_EQ(f.dsp().state(), Tms320State::Dead);
    EXPECT_FALSE(f.controllerAnswers());

    f.startAccessFirmware();
    f.sequence = 0;
    // Blank chunks are skipped as the host does; the checksum word is among what is written.
    for (size_t at = 0; at < image.size(); at += 114) {
        const std::vector<uint16_t> chunk(
            image.begin() + static_cast<long>(at),
            image.begin() + static_cast<long>(std::min(at + 114, image.size())));
        bool blank = true;
        for (uint16_t w : chunk) blank = blank && w == 0xFFFF;
        if (blank) continue;
        ASSERT_EQ(f.flashWrite(Tms320Flash::kBase + static_cast<uint32_t>(at), chunk).status(), 0);
    }
    f.pulse(false);
    EXPECT_EQ(f.dsp().state(), Tms320State::ControllerFirmware);
    EXPECT_TRUE(f.controllerAnswers());

    // One word off, and the checksum no longer holds.
    f.dsp().flash().program(Tms320Flash::kBase + 5, 0);
    f.pulse(false);
    EXPECT_EQ(f.dsp().state(), Tms320State::Dead);
}

// With a flash file, what one run left in the flash is there at the next start.
TEST(Tms320Boot, AFlashFileKeepsTheFlashFromOneRunToTheNext) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tms320_flash_" + std::to_string(getpid()) + ".bin");
    vsim::Tms320Def def;
    def.flashFile = path.string();
    {
        vsim::Tms320 dsp(def);  // no file yet: the factory image
        EXPECT_EQ(dsp.state(), Tms320State::ControllerFirmware);
        dsp.flash().erase(0x3FC);
        dsp.setLines(true, false);  // the reset keeps it
        EXPECT_EQ(std::filesystem::file_size(path), 2u * Tms320Flash::kWords);
    }
    vsim::Tms320 again(def);
    EXPECT_EQ(again.flash().read(Tms320Flash::kBase), 0xFFFF);
    EXPECT_TRUE(again.flash().versionBlockValid(Tms320Flash::kBootloaderVersionBlock));
    EXPECT_EQ(again.state(), Tms320State::Dead) << "the firmware sectors stay erased";
    std::filesystem::remove(path);
}

TEST(Tms320Boot, ScenarioDescribesTheProcessorAndItsFlash) {
    DspFixture f(dspScenario(R"({ "partId": 2, "revisionId": 5, "firmwareText": "KTS00FW 1.00",
                                 "bootloaderText": "KTS00BL 2.01" })"));
    EXPECT_EQ(f.dsp().readWord(0x882), 2);
    EXPECT_EQ(f.dsp().readWord(0x883), 5);
    const uint32_t fw = Tms320Flash::kFirmwareVersionBlock;
    EXPECT_EQ(f.dsp().readWord(fw + 7), 0x480E);
    EXPECT_EQ(f.dsp().readWord(fw + 8), 'K' | ('T' << 8));
    EXPECT_EQ(f.dsp().readWord(fw + 15), ' ' | (' ' << 8)) << "padded with blanks";
    EXPECT_EQ(f.dsp().readWord(0x3F3FF0), 0xC000);
    EXPECT_EQ(f.dsp().readWord(0x3F3FF1), 0x0001);
    EXPECT_EQ(f.dsp().flash().sum(Tms320Flash::kBase, Tms320Flash::kFirmwareEnd - Tms320Flash::kBase), 1);
    EXPECT_EQ(f.dsp().readWord(Tms320Flash::kBootloaderVersionBlock + 12), '2' | ('.' << 8));
    EXPECT_EQ(f.dsp().readWord(0x3F3F6D + 7), 0xFFFF) << "no block in the older layout's place";
    EXPECT_EQ(f.dsp().state(), Tms320State::ControllerFirmware);

    for (const char* dsp : {R"({ "blank": true })", R"({ "bootloaderText": "" })"}) {
        DspFixture g(dspScenario(dsp));
        EXPECT_EQ(g.dsp().state(), Tms320State::Dead) << dsp;
        EXPECT_FALSE(g.controllerAnswers()) << dsp;
    }
}

TEST(Tms320Boot, ScenarioErrorsNameThePath) {
    struct Case {
        const char* dsp;
        const char* expected;
    };
    const Case cases[] = {
        {R"({ "colour": 1 })", "$.controller.dsp.colour: unknown key"},
        {R"({ "firmwareText": "seventeen chars!!" })", "$.controller.dsp.firmwareText: at most 16"},
        {R"({ "partId": 65536 })", "$.controller.dsp.partId: value 65536"},
        {R"({ "faults": [ { "kind": "lostEcho", "nth": 1, "command": 2 } ] })",
         "$.controller.dsp.faults[0].command"},
        {R"({ "faults": [ { "kind": "lostByte", "nth": 1 } ] })", "$.controller.dsp.faults[0].kind: unknown"},
        {R"({ "faults": [ { "kind": "nak" } ] })", "$.controller.dsp.faults[0]: missing \"nth\""},
        {R"({ "faults": [ { "kind": "nak", "nth": 0 } ] })", "$.controller.dsp.faults[0].nth"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(vsim::VirtualCrate::fromJsonText(dspScenario(c.dsp), error)) << c.dsp;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

}  // namespace
