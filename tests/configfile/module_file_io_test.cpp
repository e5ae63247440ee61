#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "channel/channel_table.h"
#include "channel/module_memory_map.h"
#include "config_crate_fixture.h"
#include "configfile/config_file_commands.h"
#include "configfile/xml_attributes.h"
#include "configfile/xml_config_document.h"
#include "configfile/xml_element_paths.h"
#include "configfile/xml_text.h"
#include "sim/controller.h"
#include "temp_folder.h"

namespace vz::test {
namespace {

using xercesc::DOMElement;

constexpr uint16_t kExponentCommand = 0x100A;

class ModuleFileIoTest : public ConfigCrateFixture {
  protected:
    // Applies a file of the given text with the given kinds of data.
    bool load(const std::string& xml, ConfigReadOptions options, ConfigApplyReport* report = nullptr) {
        writeText(folder.file("in.pscfg"), xml);
        return applyConfigurationFile(folder.file("in.pscfg"), options, report);
    }
    static ConfigReadOptions kinds(bool user, bool config, bool calibration, std::vector<int> targets = {0}) {
        ConfigReadOptions o;
        o.outputUser = user;
        o.outputConfig = config;
        o.outputCalib = calibration;
        o.targets = std::move(targets);
        return o;
    }
    QOR& channel(int n) { return channelState().channelTable.channels[static_cast<std::size_t>(n)]; }

    TempFolder folder;
};

bool hasAttribute(const DOMElement* e, const char* name) {
    return e && getAttributeText(e, name).has_value();
}

struct ControllerCase {
    int type;
    const char* pid;
    const char* moduleName;
    bool fullSet;  // QX308 and KRAT fields
};

TEST_F(ModuleFileIoTest, SaveWritesThePresentChannelsWithTheFieldsOfTheControllerType) {
    for (const ControllerCase& c :
         {ControllerCase{18, "0012", "DEVIZ 5V", true}, ControllerCase{17, "0011", "WDXslave", false}}) {
        SCOPED_TRACE(c.type);
        const std::string name = c.moduleName;
        connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": ")" + name +
                    R"(", "version": "1.2.3.4"}},
                   {"channel": 3, "serialNumber": 103, "firmware": {"name": ")" +
                    name + R"("}},
                   {"channel": 5, "serialNumber": 105, "firmware": {"name": "BOLAN JOVA"}})",
                c.type, c.pid);
        const std::string path = folder.file("crate.pscfg");
        ASSERT_TRUE(savePowerSupplyConfiguration(path));

        XmlConfigDocument saved;
        ASSERT_TRUE(saved.open(path.c_str()));
        std::vector<std::string> outputs;
        for (auto* e = saved.findPath("Output")->getFirstElementChild(); e; e = e->getNextElementSibling())
            outputs.push_back(nativeText(e->getTagName()));
        EXPECT_EQ(outputs, (std::vector<std::string>{"U0", "U3", "U5"}));
        EXPECT_EQ(getAttributeText(saved.findPath("Output.U0"), "firmwareVersion"), name + " 1.2.3.4");
        const DOMElement* board = saved.findPath("Output.U5");
        EXPECT_EQ(getAttributeText(board, "firmwareVersion"), "BOLAN JOVA");
        EXPECT_EQ(board->getChildElementCount(), 0u);

        EXPECT_EQ(hasAttribute(saved.findPath("Output.U0.Calibration"), "voltageExponent"), c.fullSet);
        EXPECT_TRUE(hasAttribute(saved.findPath("Output.U0.Calibration.calUSen"), "offset"));
        EXPECT_EQ(saved.findPath("Output.U0.Calibration.calUMod") != nullptr, c.fullSet);
        EXPECT_TRUE(hasAttribute(saved.findPath("Output.U0.Configuration"), "maxUSense"));
        EXPECT_EQ(hasAttribute(saved.findPath("Output.U0.Configuration"), "ugain"), !c.fullSet);
        EXPECT_EQ(hasAttribute(saved.findPath("Output.U0.User"), "unom"), c.fullSet);
        EXPECT_TRUE(hasAttribute(saved.findPath("Output.U0.User.ErrorAction"), "timeout"));
        EXPECT_EQ(saved.findPath("Output.U0.User.Flags") != nullptr, c.fullSet);
        EXPECT_EQ(saved.findPath("Output.U0.User.SupervisionDelay") != nullptr, c.fullSet);
        saved.close();
        if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
            EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0);
        }
    }
}

// A module's firmware name is whatever its record holds; a control character in it must not make
// the crate unsaveable. It is written as '?', logged, and everything else is saved.
TEST_F(ModuleFileIoTest, AControlCharacterInAFirmwareNameIsReplacedAndTheCrateIsSaved) {
    connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ\u00015V\u001b"}},
               {"channel": 1, "serialNumber": 101, "firmware": {"name": "RERUZ 48V"}})");
    const std::string path = folder.file("crate.pscfg");
    ASSERT_TRUE(savePowerSupplyConfiguration(path));
    EXPECT_TRUE(seam.boxes.empty());
    EXPECT_EQ(logged('W',
                     "Branch \"U0\" Attribut \"firmwareVersion\": 2 characters that XML cannot hold "
                     "written as '?'"),
              1);
    XmlConfigDocument saved;
    ASSERT_TRUE(saved.open(path.c_str()));
    EXPECT_EQ(getAttributeText(saved.findPath("Output.U0"), "firmwareVersion"), "DEVIZ?5V?");
    EXPECT_NE(saved.findPath("Output.U0.User"), nullptr);
    EXPECT_NE(saved.findPath("Output.U1.User"), nullptr);
}

TEST_F(ModuleFileIoTest, TheExponentIsWrittenFirstAndConvertsEveryFollowingValue) {
    connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ"},
                "system": {"voltageExponent": -10, "currentExponent": -11}})");
    ASSERT_TRUE(load(R"(<PsConfig><Output><U0>
        <Calibration serialNumber="777" voltageExponent="-9" pwmOffset="0.5">
          <calUSen gain="40000" offset="0.25"/><calIMod offset="0.5"/>
        </Calibration>
        <Configuration idModule="9" maxUSense="10"/>
      </U0></Output></PsConfig>)",
                     kinds(false, true, true)));
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0].address, kExponentCommand);
    EXPECT_EQ(commands[0].data, (std::vector<uint8_t>{0xF7, 0xF5}));  // -9, and -11 as it was
    EXPECT_EQ(commandsTo(kExponentCommand).size(), 1u);
    EXPECT_EQ(commandsTo(0x1030)[0].data, bytesOf<int16_t>(256));     // pwmOffset 0.5 V at 2^-9
    EXPECT_EQ(commandsTo(0x1014)[0].data, bytesOf<uint16_t>(40000));  // calUSen gain
    EXPECT_EQ(commandsTo(0x1016)[0].data, bytesOf<int16_t>(128));     // calUSen offset 0.25 V
    EXPECT_EQ(commandsTo(0x1012)[0].data, bytesOf<int16_t>(1024));    // calIMod offset 0.5 A at 2^-11
    EXPECT_EQ(commandsTo(0x1026)[0].data, bytesOf<int16_t>(5120));    // maxUSense 10 V
    // serialNumber and idModule are information only.
    EXPECT_TRUE(commandsTo(0x1000).empty());
    EXPECT_TRUE(commandsTo(0x1008).empty());
    EXPECT_EQ(channel(0).system().voltageExponent, -9);
    EXPECT_EQ(moduleRecord(0, 0x1000)[10], 0xF7);
}

TEST_F(ModuleFileIoTest, CalibrationWithoutExponentsStillSendsTheExponentPairOnce) {
    connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ"},
                "system": {"voltageExponent": -12, "currentExponent": -10}})");
    ASSERT_TRUE(load("<PsConfig><Output><U0><Calibration pwmMinPeriod='40'/></U0></Output></PsConfig>",
                     kinds(false, false, true)));
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].address, kExponentCommand);
    EXPECT_EQ(commands[0].data, (std::vector<uint8_t>{0xF4, 0xF6}));
    EXPECT_EQ(commands[1].address, 0x1038);
}

TEST_F(ModuleFileIoTest, AnErrorActionAttributeReplacesItsFieldAndTheWordIsWrittenOnce) {
    connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ"},
                "user": {"errorAction": {"maxUSense": 1, "timeout": 2}}})");
    ASSERT_TRUE(load("<PsConfig><Output><U0><User><ErrorAction power='3'/></User></U0></Output></PsConfig>",
                     kinds(true, false, false)));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].address, 0x200A);
    EXPECT_EQ(commands[0].data, bytesOf<uint16_t>(0x8C04));
    EXPECT_EQ(channel(0).user().errorAction, 0x8C04);
}

TEST_F(ModuleFileIoTest, TargetsTakeTheMatchingOrTheChosenFileChannel) {
    connect(R"({"channel": 2, "serialNumber": 102, "firmware": {"name": "DEVIZ"}},
               {"channel": 5, "serialNumber": 105, "firmware": {"name": "DEVIZ"}},
               {"channel": 7, "serialNumber": 107, "firmware": {"name": "DEVIZ"}})");
    const std::string xml = R"(<PsConfig><Output><U2><User idGroup="12"/></U2><U3><User idGroup="13"/></U3>
        <U5><User idGroup="15"/></U5></Output></PsConfig>)";
    struct Case {
        int fileChannel;
        std::vector<int> targets;
        std::map<int, int> groups;  // channel -> idGroup afterwards
        std::vector<int> failed;
    } cases[] = {
        {0, {7, 2, 5}, {{2, 12}, {5, 15}, {7, 1}}, {7}},
        {4, {2, 5}, {{2, 13}, {5, 13}, {7, 1}}, {}},
        {6, {7}, {{2, 13}, {5, 13}, {7, 15}}, {}},
    };
    for (const Case& c : cases) {
        ConfigReadOptions options = kinds(true, false, false, c.targets);
        options.fileChannel = c.fileChannel;
        ConfigApplyReport report;
        ASSERT_TRUE(load(xml, options, &report));
        for (const auto& [n, group] : c.groups) EXPECT_EQ(channel(n).user().idGroup, group) << "U" << n;
        EXPECT_EQ(report.failed, c.failed);
    }
    EXPECT_EQ(logged('E', "Configuration file: Missing Node \"Output.U7\""), 1);
    EXPECT_EQ(
        logged('I', "MODULE_FILE_IO::readOutputConfiguration: configOutputNumber U5 -> realOutputNumber U7"),
        1);
}

TEST_F(ModuleFileIoTest, AFileThatDoesNotParseWritesNothing) {
    connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ"}})");
    EXPECT_FALSE(
        load("<PsConfig><Output><U0><User idGroup='9'></U0></Output></PsConfig>", kinds(true, true, true)));
    EXPECT_TRUE(commands.empty());
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, "Error in configuration file \"" + folder.file("in.pscfg") + "\"");
}

TEST_F(ModuleFileIoTest, WdxGainsAreWrittenAsFloatsAndSetTheLocalExponents) {
    connect(R"({"channel": 0, "serialNumber": 100, "firmware": {"name": "WDXslave"},
                "system": {"voltageExponent": -10, "currentExponent": -11}, "user": {"ugain": 1.0, "igain": 1.0}})",
            17, "0011");
    ASSERT_TRUE(
        load("<PsConfig><Output><U0><Configuration ugain='1.5' igain='1.25'/></U0></Output></PsConfig>",
             kinds(false, true, false)));
    EXPECT_EQ(commandsTo(0x2002)[0].data, bytesOf(std::bit_cast<uint32_t>(1.5f)));
    EXPECT_EQ(commandsTo(0x2006)[0].data, bytesOf(std::bit_cast<uint32_t>(1.25f)));
    EXPECT_TRUE(commandsTo(kExponentCommand).empty());
    EXPECT_EQ(channel(0).system().voltageExponent, -10);
    EXPECT_EQ(channel(0).system().currentExponent, -11);
}

// On a WDX crate the gains set the channel's local exponents when a file is read; with modules whose
// exponents agree with their gains, save, load and save again must give the same file byte for byte.
TEST_F(ModuleFileIoTest, AWdxCrateSavedLoadedAndSavedAgainGivesTheSameFile) {
    connect(R"({"channel": 0, "serialNumber": 300, "firmware": {"name": "WDXslave 3.0"},
                "system": {"voltageExponent": -11, "currentExponent": -11, "maxUSense": "15 V", "maxCurrent": "11 A",
                           "calUSenGain": 33000, "calUSenOffset": "-0.01 V", "calIModOffset": "0.02 A"},
                "user": {"ugain": 0.75, "igain": 1.0, "idGroup": 3, "minUSense": "4.75 V", "maxUSense": "5.25 V",
                         "maxCurrent": "9.5 A", "maxPower": 120, "maxTimeout": 2000,
                         "errorAction": {"maxUSense": 1, "power": 3}}},
               {"channel": 3, "serialNumber": 303, "firmware": {"name": "WDXslave 3.0"},
                "system": {"voltageExponent": -9, "currentExponent": -13, "maxUSense": "55 V", "maxCurrent": "2.2 A"},
                "user": {"ugain": 3.25, "igain": 0.3, "minUSense": "47 V", "maxUSense": "49.5 V", "maxCurrent": "1.75 A"}},
               {"channel": 7, "serialNumber": 307, "firmware": {"name": "WDXslave 3.0"},
                "system": {"voltageExponent": -10, "currentExponent": -10}})",
            17, "0011");
    const std::string first = folder.file("first.pscfg");
    const std::string second = folder.file("second.pscfg");
    ASSERT_TRUE(savePowerSupplyConfiguration(first));
    {
        XmlConfigDocument saved;
        ASSERT_TRUE(saved.open(first.c_str()));
        EXPECT_EQ(getAttributeText(saved.findPath("Output.U0.Configuration"), "ugain"), "0.75");
        EXPECT_EQ(getAttributeText(saved.findPath("Output.U3.Configuration"), "ugain"), "3.25");
        EXPECT_EQ(getAttributeText(saved.findPath("Output.U7.Configuration"), "igain"), "2");
        EXPECT_EQ(getAttributeText(saved.findPath("Output.U3.User"), "maxUSense"), "49.5");
    }
    const uint32_t writesBefore = crate->controller(0).parameterWrites();
    ConfigApplyReport report;
    ASSERT_TRUE(applyConfigurationFile(first, kinds(true, true, false, {0, 3, 7}), &report));
    EXPECT_EQ(report.applied, (std::vector<int>{0, 3, 7}));
    EXPECT_GT(crate->controller(0).parameterWrites(), writesBefore);
    EXPECT_TRUE(seam.boxes.empty()) << seam.boxes[0].caption;
    ASSERT_TRUE(savePowerSupplyConfiguration(second));
    EXPECT_EQ(readText(second), readText(first));
}

// Everything a file carries, saved from one crate and loaded into a fresh one, gives the same module
// records byte for byte, also where the exponents of the two crates differ.
TEST_F(ModuleFileIoTest, ASavedCrateLoadedIntoAFreshCrateGivesTheSameRecords) {
    const std::string configured = R"(
      {"channel": 0, "serialNumber": 501, "firmware": {"name": "DEVIZ 5V"},
       "system": {"voltageExponent": -12, "currentExponent": -10, "calUSenGain": 33000, "calUSenOffset": -3,
                  "calIModGain": 32001, "calIModOffset": 7, "calUModGain": 32000, "calUModOffset": 9,
                  "calUSetGain": 32100, "calUSetOffset": 5, "calISetGain": 32900, "calISetOffset": -4,
                  "calUIntGain": 32200, "calUIntOffset": -2, "pwmOffset": 11, "pwmMaxOnTime": 300,
                  "pwmMinPeriod": 40, "phase": 2, "maxUnom": "6 V", "maxInom": "20 A", "maxUSense": "7 V",
                  "maxUTerminal": "7.5 V", "maxCurrent": "22 A", "maxTemperature": 85, "maxPower": 150,
                  "flags": ["isMaster", "pwmAdjustUmod"]},
       "user": {"idGroup": 3, "Unom": "5 V", "Inom": "15 A", "rampUp": 5, "rampDown": 10, "minUSense": "4.5 V",
                "maxUSense": "5.5 V", "maxUModule": "6.5 V", "maxCurrent": "16 A", "maxTemperature": 70,
                "maxPower": 120, "maxTimeout": 1000, "flags": ["switchModuleReg", "switchSlowReg", "autoPowerOn"],
                "errorAction": {"maxUSense": 1, "power": 3, "timeout": 2},
                "SupervisionDelays.minUSense": 10, "SupervisionDelays.maxUSense": 200,
                "SupervisionDelays.maxUModule": 30, "SupervisionDelays.maxCurrent": 40,
                "SupervisionDelays.maxTemperature": 500, "SupervisionDelays.maxPower": 50}},
      {"channel": 4, "serialNumber": 504, "firmware": {"name": "RERUZ 48V"},
       "system": {"voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A",
                  "flags": ["isSlave"]},
       "user": {"idGroup": 2, "Unom": "48 V", "Inom": "1.5 A", "flags": ["switchOffNoRamp"]}})";
    const std::string fresh = R"(
      {"channel": 0, "serialNumber": 501, "firmware": {"name": "DEVIZ 5V"}},
      {"channel": 4, "serialNumber": 504, "firmware": {"name": "RERUZ 48V"}})";

    connect(configured);
    std::map<int, std::vector<uint8_t>> expected;
    for (int n : {0, 4}) {
        expected[n] = moduleRecord(n, 0x1000);
        const auto user = moduleRecord(n, 0x2000);
        expected[n].insert(expected[n].end(), user.begin(), user.end());
    }
    const std::string path = folder.file("crate.pscfg");
    ASSERT_TRUE(savePowerSupplyConfiguration(path));

    connect(fresh);
    ASSERT_NE(moduleRecord(0, 0x1000), std::vector<uint8_t>(expected[0].begin(), expected[0].begin() + 64));
    ConfigReadOptions all = kinds(true, true, true, {0, 4});
    ConfigApplyReport report;
    ASSERT_TRUE(applyConfigurationFile(path, all, &report));
    EXPECT_EQ(report.applied, (std::vector<int>{0, 4}));
    EXPECT_TRUE(seam.boxes.empty()) << seam.boxes[0].caption;
    for (int n : {0, 4}) {
        std::vector<uint8_t> records = moduleRecord(n, 0x1000);
        const auto user = moduleRecord(n, 0x2000);
        records.insert(records.end(), user.begin(), user.end());
        EXPECT_EQ(records, expected[n]) << "U" << n;
    }
}

}  // namespace
}  // namespace vz::test
