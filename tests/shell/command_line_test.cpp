#include "app/core/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/debug_log.h"
#include "base/settings.h"
#include "tests/support/scripted_operator.h"

namespace vz {
namespace {

bool parse(std::vector<const char*> args) {
    args.insert(args.begin(), "vidizozorez");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override { resetSettings(); }
    void TearDown() override { debugLogCloseFile(); }
    test::ScriptedOperator seam;
};

TEST_F(CommandLineTest, OptionTable) {
    struct Case {
        std::vector<const char*> args;
        bool ok;
        uint32_t flags;
        unsigned limit;
        const char* port;
    };
    const Case cases[] = {
        {{}, true, 0xA00, 127, "COM4"},
        {{"-s200"}, true, 0xA00, 127, "COM4"},
        {{"-s0"}, true, 0xA00, 0, "COM4"},
        {{"-s4", "-sa", "-sm"}, true, 0xAC0, 4, "COM4"},
        {{"USB", "0x2004"}, true, 0x2004, 8, "USB"},
        {{"-ac", "USB", "0x20"}, true, 0x20, 127, "USB"},  // OptNum replaces the options too
        {{"USB", "abc"}, true, 0xA00, 127, "USB"},         // OptNum that does not parse is ignored
        {{"USB", "010"}, true, 010, 127, "USB"},           // octal like "%i"
        {{"-H"}, true, 0x200, 127, "COM4"},
        {{"-g1", "-g2", "-g3", "-gm", "-gz"}, true, 0xD04, 127, "COM4"},
        {{"-u", "-x", "-e", "-t", "-f", "-S"}, true, 0x21A1B, 127, "COM4"},
        {{"-ac", "-af", "-as", "-aq"}, true, 0x18A20, 127, "COM4"},
        {{"-cCOM9"}, true, 0xA00, 127, "COM9"},
        {{"-c"}, true, 0xA00, 127, "COM4"},
        {{"-q"}, false, 0xA00, 127, "COM4"},
        {{"-q", "-t"}, false, 0xA10, 127, "COM4"},   // parsing goes on after a bad letter
        {{"-l"}, true, 0xA00, 127, "COM4"},          // -l as the last argument: nothing happens
        {{"COM1", "-t"}, true, 0xA00, 127, "COM1"},  // options stop at the port; -t is no number
        {{"USB", "12abc"}, true, 12, 127, "USB"},    // "%i" reads what it can
        {{"USB", "0xFFFFFFFF"}, true, 0xFFFFFFFF, 8, "USB"},
        {{"USB", "0xFFFFFFFFFF"}, false, 0xA00, 127, "USB"},  // beyond 32 bits: no option word, the usage box
    };
    for (const Case& c : cases) {
        resetSettings();
        std::string label;
        for (const char* a : c.args) label += std::string(a) + " ";
        SCOPED_TRACE(label);
        EXPECT_EQ(parse(c.args), c.ok);
        EXPECT_EQ(crateSettings().fCmdLine, c.flags);
        EXPECT_EQ(crateSettings().searchLimit, c.limit);
        EXPECT_EQ(crateSettings().portName, c.port);
    }
    EXPECT_TRUE(seam.boxes.empty());
}

TEST_F(CommandLineTest, PortNameIsCutAt99CharactersButAScenarioPathStaysWhole) {
    const std::string longName(150, 'P');
    EXPECT_TRUE(parse({longName.c_str()}));
    EXPECT_EQ(crateSettings().portName, std::string(99, 'P'));
    const std::string scenario = "SIM:/" + std::string(140, 'd') + "/crate.json";
    EXPECT_TRUE(parse({scenario.c_str()}));
    EXPECT_EQ(crateSettings().portName, scenario);
    EXPECT_TRUE(parse({("-c" + scenario).c_str()}));
    EXPECT_EQ(crateSettings().portName, scenario);
}

TEST_F(CommandLineTest, OverwriteSystemConfiguration) {
    EXPECT_TRUE(parse({"-oo"}));
    EXPECT_TRUE(crateSettings().overwriteSystemConfig);
    EXPECT_TRUE(parse({}));
    EXPECT_FALSE(crateSettings().overwriteSystemConfig);
}

TEST_F(CommandLineTest, BadOptionStillOpensTheLogGivenAfterIt) {
    const auto path = std::filesystem::temp_directory_path() / "vz_cmdline_log.txt";
    std::filesystem::remove(path);
    EXPECT_FALSE(parse({"-q", "-l", path.c_str()}));
    debugLogCloseFile();
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_NE(first.find("Opening log file \"" + path.string() + "\""), std::string::npos);
    std::filesystem::remove(path);
}

TEST_F(CommandLineTest, UsageBox) {
    printUsage();
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].caption, "VIDIzozorez Command Line Options");
    EXPECT_EQ(seam.boxes[0].icon, BoxIcon::Question);
    EXPECT_FALSE(seam.boxes[0].ownedByMainWindow);
    const std::string& text = seam.boxes[0].text;
    EXPECT_EQ(text.rfind("Syntax: VIDIzozorez [options] [COMport] [OptNum]\nPossible options:\n", 0), 0u);
    EXPECT_NE(text.find("  -f\tFile Read Options (WDX)\n"), std::string::npos);
    EXPECT_NE(text.find("  -l logfile\tWrite debug log to file\nCOMport:\tUSB or COM1, COM2, ...\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("OptNum:\tOption number provided by KELDOR."));
}

}  // namespace
}  // namespace vz
