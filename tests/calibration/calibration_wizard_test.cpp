// The calibration wizard on a virtual crate whose module is off by a known analogue error: the steps,
// the set points it drives, and that a calibration run makes the module agree with the multimeter.
#include "dialogs/calibration_wizard.h"

#include <cmath>

#include "app/core/polling.h"
#include "base/clock.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/composite_setters.h"
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

std::set<int> calibrationIds() {
    std::set<int> ids{cal::kMessage};
    for (int id = 1052; id <= 1099; ++id) ids.insert(id);
    return ids;
}

class CalibrationWizardTest : public ConfigCrateFixture {
  protected:
    void start(int type) {
        connect(kModule, type);
        fCmdLine |= kExpertView;
        wizard = std::make_unique<CalibrationWizard>(
            controls, type,
            CalibrationHooks{
                [this] { ++freshMeasures, measureFreshSamples(readBlock0, wizard->averages()); }, {}, {}});
        wizard->setChannel(&q());
        wizard->showValues();
    }
    QOR& q() { return channelTable.channels[0]; }
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
            controls.setText(controls.focus(), std::to_string(current ? truth.current : truth.uSense));
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

    FormlessControls controls{calibrationIds()};
    std::unique_ptr<CalibrationWizard> wizard;
    int freshMeasures = 0;
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
    wizard->toggleCurrent();
    EXPECT_EQ(controls.focus(), cal::kCurLowReal);
    runWizard();
    EXPECT_EQ(q().user().Inom, q().system().maxInom) << "Inom back at its maximum";

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

TEST_F(CalibrationWizardTest, CalibrateUTwiceStopsWithUnomAtAQuarter) {
    start(18);
    wizard->toggleVoltage();
    wizard->toggleVoltage();
    EXPECT_EQ(wizard->state(), kWizardIdle);
    EXPECT_EQ(q().user().Unom, static_cast<int16_t>(q().system().maxUnom / 4));
    EXPECT_EQ(*controls.text(cal::kMessage), "");
    EXPECT_TRUE(commandsTo(0x1000 + 20).empty()) << "no gain written";
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
    EXPECT_EQ(measureFreshSamples(readBlock0, wizard->averages()), 0);
    EXPECT_GE(clock_.nowUs() - before, 1'000'000);
    MODULE_MEASURE_DATA now;
    ASSERT_EQ(readMeasurementBlock(0, 0, &now), 0);
    EXPECT_EQ(wizard->averages().uSense(), now.uSense);
}

}  // namespace
}  // namespace vz::test
