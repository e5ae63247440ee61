// Outputs behave like hardware: ramps, loads, current limit, inhibit, groups, supervision with
// its error actions, and measurements through the module's calibration.
#include "crate_fixture.h"

namespace {

struct Block0 {
    uint16_t status;
    double uSense;   // volts, exponent -11
    double current;  // amperes, exponent -11
    double uTerminal;
};

Block0 measure(CrateFixture& f, int channel) {
    const Bytes r = f.exchange(sealed({static_cast<uint8_t>(0x80 + channel), 0xC4}), 11);
    EXPECT_EQ(r.size(), 11u);
    if (r.size() != 11) return {};
    auto s16 = [&](int i) { return static_cast<int16_t>(r[i] | (r[i + 1] << 8)); };
    return {static_cast<uint16_t>(r[2] | (r[3] << 8)), s16(4) / 2048.0, s16(6) / 2048.0, s16(8) / 2048.0};
}

void send(CrateFixture& f, uint8_t address, uint16_t word) {
    EXPECT_EQ(
        f.exchange(sealed({address, 0x31, static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)}), 3)
            .size(),
        3u);
}

// Channel 0 as in smallScenario (12 V, 10 A, ramps 10 and 20 V/s), with extra settings.
std::string outputs(const std::string& user0 = "", const std::string& extra = "") {
    return R"({ "controller": { "type": 18 }, "bridges": [ { "serial": "B" } ],
  "modules": [
    { "channel": 0, "serialNumber": 1, "heatCPerW": 0.5, "cableOhms": 0.05,
      "system": { "voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A" },
      "user": { "idGroup": 1, "Unom": "12 V", "Inom": "10 A", "rampUp": 10, "rampDown": 20 )" +
           user0 + R"( } },
    { "channel": 1, "serialNumber": 2, "on": true,
      "system": { "voltageExponent": -11, "currentExponent": -11 }, "user": { "idGroup": 1, "Unom": "5 V" } },
    { "channel": 2, "serialNumber": 3, "on": true,
      "system": { "voltageExponent": -11, "currentExponent": -11 }, "user": { "idGroup": 2, "Unom": "5 V" } }
  ])" + extra +
           "}";
}

TEST(OutputPhysics, RampsUpAndDownAtTheConfiguredRates) {
    CrateFixture f(outputs());
    EXPECT_EQ(measure(f, 0).status, 0);
    send(f, 0x80, 1);
    f.clock.now += 600000;
    Block0 m = measure(f, 0);
    EXPECT_NEAR(m.uSense, 6.0, 0.01);
    EXPECT_EQ(m.status, 0x0003) << "on and rising";
    f.clock.now += 700000;
    m = measure(f, 0);
    EXPECT_NEAR(m.uSense, 12.0, 0.001);
    EXPECT_EQ(m.status, 0x0001);
    send(f, 0x80, 2);
    f.clock.now += 300000;
    m = measure(f, 0);
    EXPECT_NEAR(m.uSense, 6.0, 0.01);
    EXPECT_EQ(m.status, 0x0004) << "falling";
    f.clock.now += 400000;
    EXPECT_EQ(measure(f, 0).uSense, 0.0);
}

TEST(OutputPhysics, SwitchOffWithoutRampIsImmediate) {
    CrateFixture f(outputs(R"(, "flags": ["switchOffNoRamp"])"));
    send(f, 0x80, 1);
    f.clock.now += 2000000;
    send(f, 0x80, 2);
    EXPECT_EQ(measure(f, 0).uSense, 0.0);
}

TEST(OutputPhysics, LoadDrawsCurrentAndTheLimitHoldsIt) {
    struct Case {
        double ohms;
        double volts;
        double amperes;
        bool limiting;
    };
    for (const Case c : {Case{4, 12, 3, false}, Case{1, 10, 10, true}}) {
        CrateFixture f(
            outputs("", R"(, "loads": [ { "channel": 0, "ohms": )" + std::to_string(c.ohms) + " } ]"));
        send(f, 0x80, 1);
        f.clock.now += 2000000;
        const Block0 m = measure(f, 0);
        EXPECT_NEAR(m.uSense, c.volts, 0.001) << c.ohms;
        EXPECT_NEAR(m.current, c.amperes, 0.001) << c.ohms;
        EXPECT_NEAR(m.uTerminal, c.volts + c.amperes * 0.05, 0.001) << "cable drop";
        EXPECT_EQ((m.status & 0x0008) != 0, c.limiting) << c.ohms;
        // Temperature in block 1 follows the power: 25 + 0.5 per watt.
        const Bytes b1 = f.exchange(sealed({0x80, 0xD4}), 11);
        EXPECT_EQ(b1[2],
                  static_cast<uint8_t>(std::lround(25 + 0.5 * (c.volts + c.amperes * 0.05) * c.amperes)));
    }
}

TEST(OutputPhysics, InhibitAndGroupAddresses) {
    CrateFixture f(outputs());
    send(f, 0x02, 2);  // group 2 off: only channel 2
    EXPECT_EQ(measure(f, 1).status & 1, 1);
    EXPECT_EQ(measure(f, 2).status & 1, 0);
    send(f, 0x00, 4);  // all inhibit on
    f.clock.now += 1000000;
    Block0 m = measure(f, 1);
    EXPECT_EQ(m.status, 0x0011);
    EXPECT_EQ(m.uSense, 0.0);
    send(f, 0x00, 0x14);
    f.clock.now += 1000000;
    EXPECT_NEAR(measure(f, 1).uSense, 5.0, 0.001);

    CrateFixture shielded(outputs(R"(, "flags": ["disableGlobalInhibit"])"));
    send(shielded, 0x00, 4);
    EXPECT_EQ(measure(shielded, 0).status & 0x10, 0) << "ignores the global inhibit";
    send(shielded, 0x80, 4);
    EXPECT_EQ(measure(shielded, 0).status & 0x10, 0x10) << "but not its own";
}

TEST(OutputPhysics, SupervisionActsAfterItsDelay) {
    // Channel 0 draws 6 A through 2 ohms against a 5 A threshold with a 100 ms delay.
    struct Case {
        int action;
        const char* stillOn;  // channels 0, 1, 2
    };
    for (const Case c : {Case{0, "111"}, Case{1, "011"}, Case{2, "001"}, Case{3, "000"}}) {
        CrateFixture f(outputs(R"(, "maxCurrent": "5 A", "SupervisionDelays.maxCurrent": 100,
                                  "errorAction": { "maxCurrent": )" +
                                   std::to_string(c.action) + " }",
                               R"(, "loads": [ { "channel": 0, "ohms": 2 } ])"));
        send(f, 0x80, 1);
        f.clock.now += 800000;  // 5 A are passed at 10 V, 1.0 s into the ramp
        EXPECT_EQ(measure(f, 0).status & 0x4000, 0) << "below the threshold";
        f.clock.now += 290000;
        EXPECT_EQ(measure(f, 0).status & 0x4000, 0) << "within the delay";
        f.clock.now += 20000;
        std::string on;
        for (int ch = 0; ch < 3; ++ch) on += (measure(f, ch).status & 1) ? '1' : '0';
        EXPECT_EQ(on, c.stillOn) << "action " << c.action;
        EXPECT_EQ(measure(f, 0).status & 0x4000, 0x4000) << "flag stays";
        if (c.action > 0) {
            EXPECT_EQ(measure(f, 0).status & 0x0040, 0x0040) << "switched off by supervision";
        }
        send(f, 0x80, 1);
        EXPECT_EQ(measure(f, 0).status & 0x4040, 0) << "switching on again clears the failure";
    }
}

TEST(OutputPhysics, MeasurementsCarryTheCalibration) {
    // Sense: reported = gain * true - offset; set point: real = gain * (Unom - offset).
    CrateFixture f(R"({ "bridges": [ { "serial": "B" } ], "modules": [
      { "channel": 0, "serialNumber": 1, "on": true,
        "system": { "voltageExponent": -11, "calUSenGain": 33423, "calUSenOffset": "0.1 V",
                    "calUSetGain": 16384, "calUSetOffset": "-2 V" },
        "user": { "Unom": "10 V" } } ] })");
    // Output: 0.5 * (10 + 2) = 6 V; reported sense: 6 * 33423 / 32768 - 0.1 = 6.0198.
    EXPECT_NEAR(measure(f, 0).uSense, 6.0198, 0.0005);
}

TEST(OutputPhysics, CountersRunWithTime) {
    CrateFixture f(outputs());
    auto mainCounter = [&] {
        const Bytes r = f.exchange(sealed({0x80, 0xF4}), 11);
        return static_cast<uint32_t>(r[6] | (r[7] << 8) | (r[8] << 16) | (r[9] << 24));
    };
    const uint32_t first = mainCounter();
    f.clock.now += 1000000;
    EXPECT_EQ(mainCounter() - first, 10000u) << "one count per 100 us";
}

}  // namespace

// A module with analogue errors produces and reports values off by them (its calibration pairs are
// unity here); the multimeter shows the physical truth.
TEST(OutputPhysics, AnalogErrorsShowInTheOutputAndTheReadings) {
    const std::string errors = R"(, "analogError": { "uSense": { "gain": 1.03, "offset": "40 mV" },
        "uTerminal": { "gain": 0.98, "offset": "-20 mV" }, "current": { "gain": 1.02, "offset": "10 mA" },
        "uSet": { "gain": 0.97, "offset": "30 mV" } } )";
    std::string json = outputs();
    json.replace(json.find("\"heatCPerW\""), 0, errors.substr(2) + ", ");
    CrateFixture f(json);
    f.controller().module(0)->setLoadOhms(10);
    send(f, 0x80, 1);
    f.clock.now += 3000000;
    const Block0 m = measure(f, 0);  // the crate advances its time on traffic
    const vsim::OutputReadings truth = f.controller().module(0)->trueReadings();
    EXPECT_NEAR(truth.uSense, 0.97 * 12 + 0.03, 1e-9) << "set point through its error";
    EXPECT_NEAR(m.uSense, 1.03 * truth.uSense + 0.04, 1.0 / 2048);
    EXPECT_NEAR(m.uTerminal, 0.98 * truth.uTerminal - 0.02, 1.0 / 2048);
    EXPECT_NEAR(m.current, 1.02 * truth.current + 0.01, 1.0 / 2048);
}

TEST(OutputPhysics, AnalogErrorOffsetsNeedTheirPathsUnit) {
    std::string error;
    for (const char* bad : {R"({"uSense": {"offset": "40 mA"}})", R"({"current": {"offset": "3 V"}})",
                            R"({"uSense": {"gain": 3}})", R"({"uSet": {"slope": 1}})"}) {
        std::string json = outputs();
        json.replace(json.find("\"heatCPerW\""), 0, std::string("\"analogError\": ") + bad + ", ");
        EXPECT_EQ(vsim::VirtualCrate::fromJsonText(json, error), nullptr) << bad;
        EXPECT_NE(error.find("analogError"), std::string::npos) << error;
    }
}
