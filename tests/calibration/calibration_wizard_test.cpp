// The calibration wizard on a virtual crate whose module is off by a known analogue error: the steps,
// the set points it drives, and that a calibration run makes the module agree with the multimeter.
#include "dialogs/calibration_wizard.h"

#include <cmath>
#include <cstring>

#include "base/clock.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/composite_setters.h"
#include "channel/measurement_block.h"
#include "config_crate_fixture.h"
#include "dialogs/formless_controls.h"
#include "dialogs/fresh_samples.h"
#include "sim/controller.h"

namespace vz::test {
namespace {

constexpr double kStep = 1.0 / 2048;  // one raw step at exponent -11

// 3 % gain error and 40 mV (40 mA) offset on every measurement path; set points off as well.
const char* kModule = R"({"channel": 0, "serialNumber": 11, "on": true, "cableOhms": 0.01,
  "system": {"voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
  "user": {"idGroup": 1, "Unom": "5 V", "Inom": "10 A"},
  "analogError": {"uSense": {"gain": 1.03, "offset": "40 mV"}, "uTerminal": {"gain": 1.03, "offset": "40 mV"},
    "current": {"gain": 1.03, "offset": "40 mA"}, "uSet": {"gain": 0.98, "offset": "-25 mV"},
    "uInternal": {"gain": 1.02, "offset": "15 mV"}, "iSet": {"gain": 0.97, "offset": "20 mA"}}})";

// A 48 V module: the internal-sense points follow set-point steps of 25 V at 10 V/s, longer than the
// second the wizard waits before it samples. Its set points and readings are off by errors of its own.
const char* k48V = R"({"channel": 0, "serialNumber": 12, "on": true,
  "system": {"voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A"},
  "user": {"idGroup": 1, "Unom": "24 V", "Inom": "1.5 A", "rampUp": 10, "rampDown": 10},
  "analogError": {"uSense": {"gain": 1.023, "offset": "35 mV"}, "uTerminal": {"gain": 1.023, "offset": "35 mV"},
    "uSet": {"gain": 0.953, "offset": "-55 mV"}, "uInternal": {"gain": 1.047, "offset": "55 mV"}}})";

std::set<int> calibrationIds() {
    std::set<int> ids{cal::kMessage};
    for (int id = 1052; id <= 1099; ++id) ids.insert(id);
    return ids;
}

class CalibrationWizardTest : public ConfigCrateFixture {
  protected:
    void start(int type, const char* moduleJson = kModule) {
        connect(moduleJson, type);
        crateSettings().fCmdLine |= kExpertView;
        CalibrationHooks hooks;
        hooks.measureFresh = [this] {
            ++freshMeasures;
            const bool taken = measureFreshSamples(readBlock0, wizard->averages()) == FreshSamples::taken;
            freshStatus.push_back(wizard->averages().status());
            return taken;
        };
        hooks.restored = [this](const std::string& line) { restoredLines.push_back(line); };
        wizard = std::make_unique<CalibrationWizard>(controls, type, hooks);
        wizard->setChannel(&q());
        wizard->showValues();
    }
    QOR& q() { return channelState().channelTable.channels[0]; }
    static bool readBlock0(MODULE_MEASURE_DATA& m) { return readMeasurementBlock(0, 0, &m) == 0; }
    vsim::Module& module() { return *crate->controller(0).module(0); }
    // The repaints before the operator presses OK: the output settles, ten samples feed the averages.
    void repaints() {
        clock_.advanceUs(3'000'000);
        for (int i = 0; i < 10; ++i) {
            MODULE_MEASURE_DATA m;
            ASSERT_EQ(readMeasurementBlock(0, 0, &m), 0);
            wizard->averages().push(m);
        }
    }
    // The operator reads the multimeter into the field the wizard focused, then presses OK.
    void runWizard() {
        while (wizard->running()) {
            repaints();
            const vsim::OutputReadings truth = module().trueReadings();
            const bool current =
                controls.focus() == cal::kCurLowReal || controls.focus() == cal::kCurHighReal;
            controls.type(controls.focus(), std::to_string(current ? truth.current : truth.uSense));
            wizard->step();
        }
    }
    // The output settles (the crate advances on traffic) and reports.
    MODULE_MEASURE_DATA settled() {
        clock_.advanceUs(3'000'000);
        MODULE_MEASURE_DATA m;
        EXPECT_EQ(readMeasurementBlock(0, 0, &m), 0);
        return m;
    }
    // Largest difference, in raw steps, between what the module reports and the multimeter's value
    // in the same raw steps.
    int worstError(bool current) {
        const MODULE_MEASURE_DATA m = settled();
        const vsim::OutputReadings t = module().trueReadings();
        auto off = [](int16_t reported, double truth) {
            return std::abs(reported - std::lround(truth / kStep));
        };
        if (current) return static_cast<int>(off(m.current, t.current));
        return static_cast<int>(std::max(off(m.uSense, t.uSense), off(m.uTerminal, t.uTerminal)));
    }

    template <typename T>
    T systemField(std::size_t offset) {
        T value;
        std::memcpy(&value, module().system().data() + offset, sizeof value);
        return value;
    }

    FormlessControls controls{calibrationIds()};
    std::unique_ptr<CalibrationWizard> wizard;
    int freshMeasures = 0;
    std::vector<uint16_t> freshStatus;  // the status of the last sample of each fresh measurement
    std::vector<std::string> restoredLines;
};

TEST_F(CalibrationWizardTest, VoltageAndCurrentWizardsMakeTheReadingsAgreeWithTheMultimeter) {
    start(18);
    const double volts[] = {2.0, 7.0, 13.0};
    const double amperes[] = {1.5, 4.5, 8.0};
    auto worstOver = [&](bool current) {
        int worst = 0;
        for (int i = 0; i < 3; ++i) {
            if (current) {
                module().setLoadOhms(0.01);  // a short: the current limit holds the output
                EXPECT_TRUE(setNominalVolts(&q(), 15.0));
                EXPECT_TRUE(q().user().setInom(q().currentToRaw(amperes[i])));
            } else {
                module().setLoadOhms(1000);  // almost no load
                EXPECT_TRUE(setNominalVolts(&q(), volts[i]));
            }
            worst = std::max(worst, worstError(current));
        }
        return worst;
    };
    EXPECT_GT(worstOver(false), 50) << "the error shows before calibrating";
    EXPECT_GT(worstOver(true), 50);

    module().setLoadOhms(1000);
    EXPECT_TRUE(setNominalVolts(&q(), 5.0));
    wizard->toggleVoltage();
    EXPECT_EQ(wizard->state(), kVoltageLow);
    EXPECT_EQ(controls.focus(), cal::kSenseLowReal);
    EXPECT_NE(controls.text(cal::kMessage)->find("Measure Sense Voltage low"), std::string::npos);
    runWizard();
    EXPECT_EQ(freshMeasures, 2) << "UInternal high and low on a controller of type 18";
    EXPECT_EQ(q().voltageFromRaw(q().user().Unom), 5.0) << "the saved set voltage is restored";
    EXPECT_EQ(*controls.text(cal::kMessage), "");

    module().setLoadOhms(0.01);
    const int16_t inom = q().user().Inom;
    wizard->toggleCurrent();
    EXPECT_EQ(controls.focus(), cal::kCurLowReal);
    runWizard();
    EXPECT_EQ(q().user().Inom, inom) << "Inom back at what it was, not at its maximum";

    EXPECT_LE(worstOver(false), 1);
    EXPECT_LE(worstOver(true), 1);
    // The set points were calibrated too: 7 V asked is 7 V produced, within a few steps.
    module().setLoadOhms(1000);
    EXPECT_TRUE(q().user().setFlags(q().user().flags & ~kSwitchInternalSense));
    EXPECT_TRUE(setNominalVolts(&q(), 7.0));
    settled();
    EXPECT_NEAR(module().trueReadings().uSense, 7.0, 4 * kStep);
    EXPECT_GE(logged('D', "calibrationWizard: State 3 -> 0"), 1);
}

// The internal-sense pair of a 48 V module equals the two-point formula on what the multimeter shows at
// the two set points once the output has settled there; samples of the falling output would give
// another pair and an output above its maximum.
TEST_F(CalibrationWizardTest, InternalSensePointsOfA48VModuleAreTakenOnceTheRampHasEnded) {
    start(18, k48V);
    module().setLoadOhms(1000);
    QOR& c = q();
    const double step = std::ldexp(1.0, -9);
    const int16_t maxUnom = c.system().maxUnom;
    const double maxVolts = c.voltageFromRaw(maxUnom);
    const double ml = c.voltageFromRaw(static_cast<int16_t>(maxUnom * 0.25));
    const double mh = c.voltageFromRaw(static_cast<int16_t>(maxUnom * 0.75));
    // The multimeter at the terminals with the internal loop at each set point, the pair still the old.
    auto terminalAt = [&](double volts) {
        EXPECT_TRUE(c.user().setFlags(c.user().flags | kSwitchInternalSense));
        EXPECT_TRUE(setNominalVolts(&c, volts));
        settled();
        settled();
        return module().trueReadings().uTerminal;
    };
    const double rl = terminalAt(ml), rh = terminalAt(mh);
    EXPECT_TRUE(c.user().setFlags(c.user().flags & ~kSwitchInternalSense));
    EXPECT_TRUE(setNominalVolts(&c, 24.0));
    settled();
    settled();
    const uint16_t g0 = systemField<uint16_t>(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUIntGain));
    const double o0 = systemField<int16_t>(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUIntOffset)) * step;

    wizard->toggleVoltage();
    runWizard();
    ASSERT_EQ(freshMeasures, 2);
    for (uint16_t status : freshStatus) EXPECT_EQ(status & 0x0006, 0) << "sampled while the output ramped";
    const double gain = g0 * (mh - ml) / (rh - rl);
    const double offset = (rl * mh - rh * ml + (rh - rl) * o0) / (mh - ml);
    EXPECT_NEAR(systemField<uint16_t>(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUIntGain)), gain, gain * 3e-4);
    EXPECT_NEAR(systemField<int16_t>(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUIntOffset)), offset / step, 3);

    // The output put back as the operator had it, and at its maximum set point within its maximum.
    EXPECT_EQ(c.user().flags & kSwitchInternalSense, 0);
    settled();
    EXPECT_NEAR(module().trueReadings().uSense, 24.0, 3 * step);
    EXPECT_TRUE(c.user().setFlags(c.user().flags | kSwitchInternalSense));
    EXPECT_TRUE(setNominalVolts(&c, maxVolts));
    settled();
    settled();
    EXPECT_LE(module().trueReadings().uTerminal, maxVolts + 2 * step);
    EXPECT_GE(module().trueReadings().uTerminal, maxVolts - 2 * step);
}

// A ramp that does not end is no settled point: after a bounded wait, no internal-sense pair; the
// operator's points still give the other pairs, and the settings are put back.
TEST_F(CalibrationWizardTest, AnOutputThatNeverSettlesWritesNoInternalSensePair) {
    start(18, k48V);
    module().setLoadOhms(1000);
    int64_t waitedUs = 0;
    const MeasurementRead ramping = [](MODULE_MEASURE_DATA& m) {
        m = {};
        m.status = 0x0005;  // on, falling
        return true;
    };
    CalibrationHooks hooks;
    hooks.measureFresh = [&] {
        const int64_t start = clock_.nowUs();
        const FreshSamples r = measureFreshSamples(ramping, wizard->averages());
        waitedUs = clock_.nowUs() - start;
        EXPECT_EQ(r, FreshSamples::rampDidNotEnd);
        return r == FreshSamples::taken;
    };
    wizard = std::make_unique<CalibrationWizard>(controls, 18, hooks);
    wizard->setChannel(&q());
    wizard->showValues();
    wizard->toggleVoltage();
    runWizard();
    EXPECT_GE(waitedUs, kRampSettleLimitMs * 1000);
    EXPECT_LT(waitedUs, kRampSettleLimitMs * 1000 + 5'000'000) << "bounded";
    EXPECT_FALSE(commandsTo(0x1000 + 20).empty()) << "the sense pair, from the operator's points";
    EXPECT_TRUE(commandsTo(0x1000 + 50).empty());
    EXPECT_TRUE(commandsTo(0x1000 + 52).empty());
    EXPECT_GE(logged('E', "no settled output"), 1);
    EXPECT_EQ(q().user().flags & kSwitchInternalSense, 0) << "external sense, as before the run";
}

// Whatever the wizard changed on the way is put back when it ends, completed or stopped: the set
// voltage, the current limit and the sense mode, each told to the operator.
TEST_F(CalibrationWizardTest, SettingsTheWizardChangedArePutBack) {
    const struct {
        bool current, complete;
    } cases[] = {{false, true}, {false, false}, {true, true}, {true, false}};
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.current ? "current" : "voltage") +
                     (k.complete ? " completed" : " stopped"));
        TearDown();
        SetUp();
        start(18);
        QOR& c = q();
        module().setLoadOhms(k.current ? 0.01 : 1000);
        ASSERT_TRUE(setNominalVolts(&c, 5.0));
        ASSERT_TRUE(c.user().setInom(c.currentToRaw(4.0)));
        ASSERT_TRUE(c.user().setFlags(c.user().flags | kSwitchInternalSense));
        const int16_t unom = c.user().Unom, inom = c.user().Inom;
        k.current ? wizard->toggleCurrent() : wizard->toggleVoltage();
        if (k.complete) {
            runWizard();
        } else {
            k.current ? wizard->toggleCurrent() : wizard->toggleVoltage();
            EXPECT_EQ(wizard->state(), kWizardIdle);
            EXPECT_EQ(*controls.text(cal::kMessage), "");
        }
        c.user().readFromModule();  // what the module holds
        EXPECT_EQ(c.user().Unom, unom);
        EXPECT_EQ(c.user().Inom, inom);
        EXPECT_NE(c.user().flags & kSwitchInternalSense, 0);
        EXPECT_FALSE(restoredLines.empty());
        EXPECT_GE(logged('I', "put back to"), 1);
        if (!k.complete) {
            EXPECT_TRUE(commandsTo(0x1000 + 20).empty()) << "no gain written";
        }
    }
}

TEST_F(CalibrationWizardTest, VoltageWizardOnOtherTypesLeavesUInternalAlone) {
    start(16);
    module().setLoadOhms(1000);
    wizard->toggleVoltage();
    runWizard();
    EXPECT_EQ(freshMeasures, 0);
    EXPECT_FALSE(commandsTo(0x1000 + 20).empty()) << "sense gain written";
    EXPECT_TRUE(commandsTo(0x1000 + 50).empty());
    EXPECT_TRUE(commandsTo(0x1000 + 52).empty());
    EXPECT_EQ(q().user().flags & kSwitchInternalSense, 0);
}

TEST_F(CalibrationWizardTest, FreshSamplesReplaceTheWholeHistoryAfterASecond) {
    start(18);
    MODULE_MEASURE_DATA stale;
    stale.uSense = 20000;
    for (int i = 0; i < 10; ++i) wizard->averages().push(stale);
    const int64_t before = clock_.nowUs();
    EXPECT_EQ(measureFreshSamples(readBlock0, wizard->averages()), FreshSamples::taken);
    EXPECT_GE(clock_.nowUs() - before, 1'000'000);
    MODULE_MEASURE_DATA now;
    ASSERT_EQ(readMeasurementBlock(0, 0, &now), 0);
    EXPECT_EQ(wizard->averages().uSense(), now.uSense);
}

}  // namespace
}  // namespace vz::test
