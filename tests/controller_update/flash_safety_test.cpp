// What an update may do to the controller's flash: only what the image and the chosen erase allow,
// nothing when the plan is refused or a stop came first, and its verdict is whether the controller
// starts afterwards. Every expectation is the flash computed from the image the test wrote itself.
#include <filesystem>
#include <map>

#include "tests/controller_update/controller_update_fixture.h"
#include "tests/support/coff_writer.h"

namespace vz {
namespace {

constexpr uint32_t kBase = vsim::Tms320Flash::kBase;
constexpr uint32_t kSectorA = 0x3F6000, kSectorB = 0x3F4000, kSectorC = 0x3F0000;
constexpr uint32_t kSectorEnd = 0x3F8000;

// The words a test image carries, by address.
using Words = std::map<uint32_t, uint16_t>;

std::vector<uint16_t> counting(size_t n, uint16_t seed) {
    std::vector<uint16_t> words(n);
    for (size_t i = 0; i < n; ++i) words[i] = static_cast<uint16_t>(seed + 7 * i);
    return words;
}

class FlashSafetyTest : public ControllerUpdateTest {
  protected:
    void SetUp() override {
        ControllerUpdateTest::SetUp();
        dir = std::filesystem::temp_directory_path() / ("flash_safety_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        ControllerUpdateTest::TearDown();
    }
    // Writes a COFF image of these sections and remembers its words.
    std::string image(const std::string& name, const std::vector<vztest::CoffWriterSection>& sections) {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(vztest::writeCoffFile(path, {}, sections));
        words.clear();
        for (const auto& s : sections)
            for (size_t i = 0; i < s.words.size(); ++i)
                words[s.address + static_cast<uint32_t>(i)] = s.words[i];
        return path;
    }
    std::string bootLoaderImage() {
        return image("bl.out", {{".text", kSectorB + 0x10, counting(300, 0x1000)},
                                {".econst", kSectorA, counting(200, 0x2000)},
                                {".blversion", 0x3F7F77, vztest::versionWords("VELK-BL 2.06    ")}});
    }
    // before with the sectors [first, end) erased and the image's words written over them.
    std::vector<uint16_t> expected(const std::vector<uint16_t>& before, uint32_t first, uint32_t end) const {
        std::vector<uint16_t> e = before;
        for (uint32_t a = first; a < end; ++a) e[a - kBase] = 0xFFFF;
        for (const auto& [address, word] : words) e[address - kBase] = word;
        return e;
    }
    bool starts() {
        return crate->dsp(0).state() == vsim::Tms320State::ControllerFirmware && controllerAnswers();
    }

    std::filesystem::path dir;
    Words words;
};

// The documented boot-loader update erases A and B only: the firmware stays and the controller
// starts with the new boot loader.
TEST_F(FlashSafetyTest, ABootLoaderUpdateErasesOnlyItsSectorsAndTheControllerStarts) {
    const std::string file = bootLoaderImage();
    const std::vector<uint16_t> before = flash();
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(file)) << log;
    const ControllerUpdateSteps steps = stepsForImage(FlashImageType::BootLoader, false, false, true);
    EXPECT_EQ(eraseMaskFor(steps), 0x003);
    ASSERT_TRUE(update->run(steps)) << log;
    EXPECT_TRUE(
        contains("Plan: boot-loader image \"VELK-BL 2.06    \"\n  erase sectors A, B (mask 0x0003)\n"))
        << log;
    EXPECT_TRUE(contains(" in 3 ranges: 0x3F4010-0x3F4165 ")) << log;
    EXPECT_EQ(flash(), expected(before, kSectorB, kSectorEnd));
    EXPECT_TRUE(starts());
    EXPECT_EQ(update->started(), true);

    // With the firmware erased on request the run is good, but says the controller cannot start.
    log.clear();
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(file)) << log;
    const ControllerUpdateSteps both = stepsForImage(FlashImageType::BootLoader, false, true, true);
    ASSERT_TRUE(update->run(both)) << log;
    EXPECT_TRUE(contains("The controller does not start, as planned: the firmware sectors C-J are erased"))
        << log;
    EXPECT_EQ(flash(), expected(before, kBase, kSectorEnd));
    EXPECT_FALSE(starts());
}

// A boot-loader image with "Erase Bl." clear, and a firmware image with a word in sector A: words
// over a boot loader that stays are refused before the first erase.
TEST_F(FlashSafetyTest, WordsOverUnerasedNonBlankSectorsAreRefusedBeforeAnyErase) {
    struct Case {
        const char* name;
        std::vector<vztest::CoffWriterSection> sections;
        const char* says;
    };
    const Case cases[] = {
        {"bl.out",
         {{".text", kSectorA, counting(64, 0x1000)},
          {".blversion", 0x3F7F77, vztest::versionWords("VELK-BL 2.06")}},
         "Refused: the image has words in sector A, which is not erased and not blank there (0x3F7F70 holds "
         "0x0000, the image 0xFFFF)"},
        {"fw.out",
         {{".text", kBase, counting(64, 0x3000)},
          {".hostile", 0x3F7F70, std::vector<uint16_t>(16, 0x1111)},
          {".fwversion", 0x3F3FF5, vztest::versionWords("VELK-FW 9.99")}},
         "Refused: the image has words in sector A, which is not erased and not blank there (0x3F7F70 holds "
         "0x0000, the image 0x1111)"},
    };
    const std::vector<uint16_t> before = flash();
    for (const Case& c : cases) {
        log.clear();
        ASSERT_TRUE(update->readDevice()) << log;
        ASSERT_TRUE(update->prepare(image(c.name, c.sections))) << log;
        ControllerUpdateSteps steps;  // the dialog's boxes: "Erase Fw." only
        EXPECT_FALSE(update->run(steps)) << c.name;
        EXPECT_TRUE(update->refused()) << c.name;
        EXPECT_TRUE(contains(c.says)) << c.name << "\n" << log;
        EXPECT_FALSE(contains("Erase the flash")) << c.name << "\n" << log;
        EXPECT_EQ(flash(), before) << c.name;
        EXPECT_TRUE(starts()) << c.name;
    }
}

// Sectors that are still blank take the image without an erase.
TEST_F(BlankControllerTest, AnUnerasedButBlankSectorTakesTheImage) {
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(kExamples + "/demo-bootloader-2.05.out")) << log;
    ControllerUpdateSteps steps;
    steps.eraseFirmware = false;  // nothing erased at all
    ASSERT_TRUE(update->run(steps)) << log;
    EXPECT_TRUE(contains("  erase nothing\n")) << log;
    EXPECT_TRUE(contains("The controller does not start, as planned: the controller ran no firmware")) << log;
    EXPECT_TRUE(crate->dsp(0).flash().versionBlockValid(0x3F7F70));
}

// Sections that all lie outside the flash give an image of size and checksum only: refused.
TEST_F(FlashSafetyTest, AnImageWithNoWordsInTheFlashIsRefused) {
    const std::vector<uint16_t> before = flash();
    ASSERT_TRUE(update->readDevice()) << log;
    EXPECT_FALSE(
        update->prepare(image("outside.out", {{".text", 0x008000, counting(100, 1)},
                                              {".fwversion", 0x3F8000, vztest::versionWords("X")}})));
    EXPECT_TRUE(contains("Trying to program 0 words")) << log;
    EXPECT_FALSE(update->prepared());
    update->reset();
    EXPECT_EQ(flash(), before);
    EXPECT_TRUE(starts());
}

// A Ctrl+C in the first moment, before the driver is initialised, stops everything: nothing is
// erased, and the controller runs its old firmware.
TEST_F(FlashSafetyTest, AStopBeforeTheDriverIsOpenIsHonoured) {
    const std::vector<uint16_t> before = flash();
    update->setLogSink([this](const std::string& t) {
        log += t;
        if (t == "Target is executing ROM boot loader\r\n") update->cancel();
    });
    EXPECT_FALSE(update->readDevice());
    EXPECT_TRUE(update->cancelled());
    ASSERT_TRUE(update->prepare(kExamples + "/demo-firmware-3.10.out")) << log;
    EXPECT_FALSE(update->run(ControllerUpdateSteps{}));
    EXPECT_FALSE(update->flashTouched());
    EXPECT_FALSE(contains("Connected at")) << log;
    EXPECT_FALSE(contains("Erase the flash")) << log;
    EXPECT_EQ(flash(), before);
    EXPECT_TRUE(starts());
}

// All steps succeed, yet the controller does not start (here a word of the firmware area changes
// after its verify): the run fails.
TEST_F(FlashSafetyTest, ARunIsGoodOnlyWhenTheControllerStarts) {
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(kExamples + "/demo-firmware-3.10.out")) << log;
    update->setProgressSink([this](UpdateStep step, int done, int total) {
        if (step == UpdateStep::Verify && done == total) {
            vsim::Tms320Flash& f = crate->dsp(0).flash();
            f.set(kBase, static_cast<uint16_t>(f.read(kBase) ^ 1));
        }
    });
    EXPECT_FALSE(update->run(ControllerUpdateSteps{}));
    EXPECT_TRUE(contains("\nVerify OK\n")) << log;
    EXPECT_TRUE(contains("The controller does not start!!!")) << log;
    EXPECT_EQ(update->started(), false);
    EXPECT_FALSE(starts());
}

}  // namespace
}  // namespace vz
