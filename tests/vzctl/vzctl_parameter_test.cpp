// vzctl get and set end to end over the virtual crate: physical units both ways, the value read back
// from the module, and an exit status a script can trust.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/vzctl/vzctl_runner.h"

namespace {

using vz::test::Outcome;
using vz::test::vzctl;

bool has(const Outcome& r, const std::string& text) {
    return r.out.find(text) != std::string::npos;
}

class VzctlParameterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_parameter_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A KRAT crate with a 5 V module at U0 and a temperature board at U5, and these faults.
    std::string crate(const std::string& faults = "") {
        const std::string path = (dir / "crate.json").string();
        std::ofstream(path) << R"({
          "bridges": [{"serial": "PARAM", "description": "test crate", "vid": "1A2B", "pid": "0012"}],
          "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
          "modules": [
            {"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ 5V20A"},
             "system": {"voltageExponent": -12, "currentExponent": -10, "maxUnom": "6 V", "maxInom": "20 A"},
             "user": {"Unom": "5 V", "Inom": "10 A", "maxPower": 120}},
            {"channel": 5, "serialNumber": 105, "firmware": {"name": "BOLAN JOVA"}}
          ],
          "faults": [)" + faults + "]}";
        return "-S SIM:" + path;
    }

    std::filesystem::path dir;
};

TEST_F(VzctlParameterTest, GetListsTheModulesParametersInPhysicalUnits) {
    const Outcome r = vzctl(crate() + " get 0");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r, "\nuser.Unom 5 V\n")) << r.out;
    EXPECT_TRUE(has(r, "\nuser.Inom 10 A\n")) << r.out;
    EXPECT_TRUE(has(r, "\nuser.maxPower 120 W\n")) << r.out;
    EXPECT_TRUE(has(r, "system.exponent 0xF6F4 (voltage -12, current -10)\n")) << r.out;
    EXPECT_FALSE(has(r, "ugain")) << "a KRAT module has no WDX gains\n" << r.out;
    std::istringstream lines(r.out);
    int parameters = 0;
    for (std::string line; std::getline(lines, line);)
        parameters += line.rfind("user.", 0) == 0 || line.rfind("system.", 0) == 0;
    EXPECT_EQ(parameters, 46);

    const Outcome one = vzctl(crate() + " get 0 system.maxInom");
    EXPECT_EQ(one.status, 0) << one.out;
    EXPECT_TRUE(has(one, "system.maxInom 20 A\n")) << one.out;
}

TEST_F(VzctlParameterTest, SetWritesThePhysicalValueAndPrintsWhatTheModuleThenHolds) {
    const struct {
        const char* args;
        const char* printed;
    } cases[] = {
        {"set 0 user.Unom 4.75", "U0 user.Unom 4.75 V\n"},
        {"set 0 user.Inom 2.5", "U0 user.Inom 2.5 A\n"},
        {"set 0 user.SupervisionDelays.maxPower 250", "U0 user.SupervisionDelays.maxPower 250 ms\n"},
        {"set 0 user.flags 0x86", "U0 user.flags 0x0086\n"},
        {"set 0 Unom 4,25", "U0 user.Unom 4.25 V\n"},  // a decimal comma
        {"-ac set 0 system.calUSenGain 40000", "U0 system.calUSenGain 40000"},
    };
    for (const auto& c : cases) {
        std::string args = c.args;
        const bool expert = args.rfind("-ac ", 0) == 0;
        if (expert) args.erase(0, 4);
        const Outcome r = vzctl((expert ? "-ac " : "") + crate() + " " + args);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << r.out;
        EXPECT_TRUE(has(r, c.printed)) << c.args << "\n" << r.out;
    }
}

TEST_F(VzctlParameterTest, ARefusedValueExitsWithOneAndNamesTheModulesCode) {
    const Outcome r =
        vzctl(crate(R"({"kind": "refuse", "field": "user.Unom", "code": 5})") + " set 0 user.Unom 4.5");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r, "MODULE_USER_CONFIG::Unom: Error Code 0x5")) << r.out;
    EXPECT_TRUE(has(r, "vzctl: U0 user.Unom was not accepted by the module")) << r.out;
    EXPECT_FALSE(has(r, "U0 user.Unom 4.5 V")) << r.out;
}

TEST_F(VzctlParameterTest, BadKeysValuesAndChannelsAreTurnedAway) {
    const struct {
        const char* args;
        int status;
        const char* text;
    } cases[] = {
        {"set 0 user.bogus 1", 2, "no parameter \"user.bogus\""},
        {"get 0 bogus", 2, "no parameter \"bogus\""},
        {"get 0 maxUSense", 2, "\"maxUSense\" is user.maxUSense or system.maxUSense: say which"},
        {"set 0 Unom 5A", 2, "\"5A\": user.Unom is in V"},
        {"set 0 user.ugain 1.5", 2, "user.ugain is not a parameter of this controller's modules"},
        {"set 0 user.Unom abc", 2, "\"abc\" is not a number"},
        {"set 0 user.Unom 8", 2, "8 is not a value of user.Unom (-8 to 7.999755859 V"},
        {"set 0 user.maxPower 70000", 2, "70000 is not a value of user.maxPower"},
        {"set 0 user.maxPower 1.5", 2, "1.5 is not a value of user.maxPower"},
        {"set 0 user.Unom", 2, "set needs a channel number 0..126, a KEY and a VALUE"},
        {"get 127", 2, "get needs a channel number 0..126"},
        {"set 3 user.Unom 1", 1, "vzctl: channel U3 is not present"},
        {"get 5", 1, "vzctl: U5 is not a configurable output"},
    };
    for (const auto& c : cases) {
        const Outcome r = vzctl(crate() + " " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_TRUE(has(r, c.text)) << c.args << "\n" << r.out;
    }
}

// Factory data (the system record: maxima, exponents, identification, calibration) only with -ac, as
// in the dialogs and `calibrate`; the module keeps what it had.
TEST_F(VzctlParameterTest, FactoryDataNeedsTheExpertView) {
    const std::string commands = (dir / "commands").string();
    std::ofstream(commands)
        << "set 0 system.calUSenGain 40000\nset 0 system.maxUnom 5\nget 0 system.calUSenGain\n"
           "get 0 system.maxUnom\nset 0 user.Unom 4.5\n";
    const Outcome r = vzctl(crate() + " shell < " + commands);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_TRUE(has(r,
                    "system.calUSenGain is factory data of the module (system record): set it only with "
                    "option -ac"))
        << r.out;
    EXPECT_TRUE(has(r, "system.calUSenGain 32768\n")) << "unchanged\n" << r.out;
    EXPECT_TRUE(has(r, "system.maxUnom 6 V\n")) << "unchanged\n" << r.out;
    EXPECT_TRUE(has(r, "U0 user.Unom 4.5 V\n")) << "user data as always\n" << r.out;
}

}  // namespace
