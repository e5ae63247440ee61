// vzctl calibrate: the wizard run with a meter command on a virtual crate whose module is off by a
// 3 % gain and a 40 mV offset, the lab's own meter command, and the refusals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

class VzctlCalibrateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_calibrate_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        file = (dir / "crate.json").string();
        std::ofstream(file) << R"({"bridges": [{"serial": "C1", "vid": "1A2B", "pid": "0012"}],
          "controller": {"type": 18, "lineRate": false},
          "modules": [{"channel": 1, "serialNumber": 101, "firmware": {"name": "DEVIZ 15V"}, "on": true,
            "system": {"voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
            "user": {"Unom": "5 V", "Inom": "10 A"},
            "analogError": {"uSense": {"gain": 1.03, "offset": "40 mV"},
                            "uTerminal": {"gain": 1.03, "offset": "40 mV"}}}],
          "loads": [{"channel": 1, "ohms": 1000}]})";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::string file;
};

// The gain a line "  USense    gain 32768 -> 31814   offset 0 -> 80" gives the quantity.
int newGain(const std::string& out, const std::string& quantity, int& offset) {
    std::smatch m;
    if (!std::regex_search(out, m,
                           std::regex(quantity + R"( +gain +\d+ -> +(\d+) +offset +-?\d+ -> +(-?\d+))")))
        return -1;
    offset = std::stoi(m[2]);
    return std::stoi(m[1]);
}

TEST_F(VzctlCalibrateTest, VoltageWizardWithTheVirtualMultimeterCorrectsGainAndOffset) {
    const Outcome r = vzctl("-ac -S -s8 SIM:" + file + " calibrate 1 voltage --meter sim");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("step 2: Measure Sense Voltage low"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("step 3: Measure Sense Voltage high"), std::string::npos) << r.out;
    // reading = gain/32768 · (1.03 · true + 0.04 V) − offset: 32768 / 1.03 = 31813.6 and
    // 0.04 V / 1.03 = 79.5 steps of 2^-11 V cancel the error.
    for (const char* quantity : {"USense", "UModul"}) {
        int offset = 0;
        const int gain = newGain(r.out, quantity, offset);
        EXPECT_NEAR(gain, 31814, 3) << quantity << "\n" << r.out;
        EXPECT_NEAR(offset, 80, 2) << quantity;
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"(now reads: sense ([0-9.]+) V)"))) << r.out;
    EXPECT_NEAR(std::stod(m[1]), 5.0, 0.002) << "the set voltage, restored and now read true";
}

// A 48 V module whose set-point steps of 25 V take 2.5 s at 10 V/s: every point is taken once the ramp
// has ended, so the internal-sense pair is right and the output ends where the operator had it.
TEST_F(VzctlCalibrateTest, A48VModuleIsSampledOnlyOnceItsRampHasEnded) {
    std::ofstream(file) << R"({"bridges": [{"serial": "C1", "vid": "1A2B", "pid": "0012"}],
      "controller": {"type": 18, "lineRate": false},
      "modules": [{"channel": 1, "serialNumber": 101, "firmware": {"name": "RERUZ 48V2A"}, "on": true,
        "system": {"voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A"},
        "user": {"Unom": "24 V", "Inom": "1.5 A", "rampUp": 10, "rampDown": 10},
        "analogError": {"uSense": {"gain": 0.977, "offset": "-35 mV"}, "uTerminal": {"gain": 0.977, "offset": "-35 mV"},
                        "uSet": {"gain": 1.047, "offset": "55 mV"}, "uInternal": {"gain": 0.953, "offset": "-55 mV"}}}],
      "loads": [{"channel": 1, "ohms": 1000}]})";
    const Outcome r = vzctl("-ac -S -s8 SIM:" + file + " calibrate 1 voltage --meter sim");
    ASSERT_EQ(r.status, 0) << r.out;
    int offset = 0;
    // The internal loop produces 0.953 · set − 55 mV: its gain becomes 32768 / 0.953 = 34384.
    EXPECT_NEAR(newGain(r.out, "UInternal", offset), 34384, 10) << r.out;
    EXPECT_NEAR(offset, -0.055 * 512, 3) << r.out;  // and its offset -55 mV
    EXPECT_NE(r.out.find("U1 sense put back to external"), std::string::npos) << r.out;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"(now reads: sense ([0-9.]+) V)"))) << r.out;
    EXPECT_NEAR(std::stod(m[1]), 24.0, 3.0 / 512) << "the set voltage, put back and now read true";
}

TEST_F(VzctlCalibrateTest, ALabMeterCommandIsRunAndItsOneNumberTaken) {
    // Instruments answer in their own format: a label, a unit, a decimal comma.
    const struct {
        const char* meter;
        const char* taken;
    } cases[] = {
        {"echo 'DCI +2.5E+00 A'", "meter: 2.500000 A"},
        {"echo 'CH1: 3,196 A'", "meter: 3.196000 A"},
    };
    for (const auto& c : cases) {
        const Outcome r = vzctl("-ac -S -s8 SIM:" + file + " calibrate 1 current --meter \"" + c.meter +
                                "\" --meter-timeout 5");
        EXPECT_EQ(r.status, 0) << c.meter << "\n" << r.out;
        EXPECT_NE(r.out.find(c.taken), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("IModul"), std::string::npos) << r.out;
    }
}

TEST_F(VzctlCalibrateTest, RefusalsAndAMeterThatHangs) {
    struct Case {
        const char* args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"calibrate 1 voltage --meter sim", 1, "only in the expert view (-ac)"},
        {"-ac calibrate 1 voltage", 2, "calibrate CH voltage|current --meter CMD"},
        {"-ac calibrate 1 power --meter sim", 2, "calibrate CH voltage|current --meter CMD"},
        {"-ac calibrate 9 voltage --meter sim", 1, "U9 is not present"},
        {"-ac calibrate 1 voltage --meter 'sleep 600' --meter-timeout 1", 1, "did not finish within 1 s"},
        {"-ac calibrate 1 voltage --meter 'echo no reading'", 1, "printed no number"},
        {"-ac calibrate 1 voltage --meter 'exit 3'", 1, "exit status 3"},
        // Never guessed: a thousands separator or a decimal point, which of two numbers.
        {"-ac calibrate 1 voltage --meter \"echo '1,234.5 V'\"", 1, "\"1,234.5\" is ambiguous"},
        {"-ac calibrate 1 voltage --meter \"echo '3.1 V 3.2 V'\"", 1, "more than one number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string args = c.args;
        const bool expert = args.rfind("-ac ", 0) == 0;
        if (expert) args.erase(0, 4);
        const Outcome r = vzctl(std::string(expert ? "-ac " : "") + "-S -s8 SIM:" + file + " " + args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
    }
    // U3 of the built-in crate is off.
    const Outcome off = vzctl("-ac -S SIM calibrate 3 voltage --meter sim");
    EXPECT_EQ(off.status, 1) << off.out;
    EXPECT_NE(off.out.find("U3 is off or does not report: switch it on first"), std::string::npos) << off.out;
}

// A module that refuses a new pair: the run goes on (the other pairs are written) but does not end as
// a success.
TEST_F(VzctlCalibrateTest, APairTheModuleRefusesFailsTheRun) {
    std::string scenario;
    {
        std::ifstream in(file);
        scenario.assign(std::istreambuf_iterator<char>(in), {});
    }
    scenario.insert(
        scenario.rfind('}'),
        R"(, "faults": [{"kind": "refuse", "channel": 1, "field": "system.calUSenGain", "code": 5}])");
    std::ofstream(file) << scenario;
    const Outcome r = vzctl("-ac -S -s8 SIM:" + file + " calibrate 1 voltage --meter sim");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("calUSenGain: Error Code 0x5"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(refused by the module)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("calibration incomplete: the module refused 1 new pair"), std::string::npos)
        << r.out;
    int offset = 0;
    EXPECT_NE(newGain(r.out, "UModul", offset), 32768) << "the other pairs were still written";
}

// A module so far off that the new sense gain does not fit 16 bits: the pair is written clamped, the
// line says so and the run fails, since the module does not agree with the meter afterwards.
TEST_F(VzctlCalibrateTest, AClampedPairFailsTheRun) {
    std::string scenario;
    {
        std::ifstream in(file);
        scenario.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string from = R"("uSense": {"gain": 1.03, "offset": "40 mV"})";
    scenario.replace(scenario.find(from), from.size(), R"("uSense": {"gain": 0.5, "offset": "4 V"})");
    std::ofstream(file) << scenario;
    const Outcome r = vzctl("-ac -S -s8 SIM:" + file + " calibrate 1 voltage --meter sim");
    EXPECT_EQ(r.status, 1) << r.out;
    // reading = 0.5 · true + 4 V: the gain would be 2 · 32768 = 65536.
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(USense +gain +32768 -> 65535 .*\(CLAMPED)"))) << r.out;
    EXPECT_NE(r.out.find("1 pair did not fit 16 bits and was written clamped"), std::string::npos) << r.out;
    int offset = 0;
    EXPECT_NEAR(newGain(r.out, "UModul", offset), 31814, 3) << "the other pairs are right\n" << r.out;
}

}  // namespace
}  // namespace vz::test
