#pragma once
// The calibration area of the output calibration dialog: the low and high reference points of the six
// calibrated quantities, the two-point calculation behind the "CAL" buttons, and the wizard that walks
// an operator (or a meter command) through a voltage or a current calibration, moving the module's
// set points on the way. Works on DialogControls, so the Qt dialog and vzctl run the same steps.
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "channel/channel_classes.h"
#include "dialogs/dialog_controls.h"
#include "dialogs/measurement_averages.h"
#include "dialogs/two_point_calibration.h"

namespace vz {

// Control ids of the calibration area.
namespace cal {
constexpr int kSenseLowReal = 1054, kSenseLowModule = 1086, kSenseHighReal = 1056, kSenseHighModule = 1087;
constexpr int kTermLowReal = 1059, kTermLowModule = 1088, kTermHighReal = 1061, kTermHighModule = 1089;
constexpr int kCurLowReal = 1062, kCurLowModule = 1090, kCurHighReal = 1063, kCurHighModule = 1091;
constexpr int kUNomLowReal = 1060, kUNomLowModule = 1092, kUNomHighReal = 1066, kUNomHighModule = 1093;
constexpr int kUIntLowReal = 1070, kUIntLowModule = 1098, kUIntHighReal = 1069, kUIntHighModule = 1099;
constexpr int kINomLowReal = 1067, kINomLowModule = 1094, kINomHighReal = 1068, kINomHighModule = 1095;
constexpr int kCalSense = 1113, kCalTerminal = 1114, kCalCurrent = 1115, kCalUNominal = 1120,
              kCalUInternal = 1125, kCalINominal = 1121;
constexpr int kAllLow = 1128, kAllHigh = 1065, kCalibrateU = 1133, kCalibrateI = 1134, kMessage = 1135;
// Controls of the output configuration dialog the wizard hands the focus to when it ends.
constexpr int kOutputUnom = 1007, kOutputInom = 1033;
}  // namespace cal

enum class CalQuantity { uSense, uTerminal, current, uNominal, uInternal, iNominal };
inline constexpr size_t kCalQuantities = 6;
const char* calQuantityName(CalQuantity q);

struct CalibrationValues {
    std::array<CalibrationPoint, kCalQuantities> low{}, high{};
};

// The calibration area's points and averages. The program keeps one for its whole run, so closing
// and reopening the dialog (or following another channel) loses no point already taken.
struct CalibrationMemory {
    MeasurementAverages averages;
    CalibrationValues values;
};
CalibrationMemory& programCalibrationMemory();

enum WizardState : int {
    kWizardIdle = 0,
    kVoltageStarted = 1,
    kVoltageLow = 2,
    kVoltageHigh = 3,
    kInternalHigh = 4,
    kInternalLow = 5,
    kCurrentStarted = 7,
    kCurrentLow = 8,
    kCurrentHigh = 9,
};

// One new pair as written: the pair it replaced, the pair the channel holds now, whether the module
// took both values (a refusal has been reported to the operator already), and whether the computed
// pair did not fit 16 bits and was clamped (then it does not make the module agree with the meter).
struct CalibrationOutcome {
    CalQuantity quantity;
    CalibrationPair before, after;
    bool accepted = false;
    bool clamped = false;
};

struct CalibrationHooks {
    // Waits until the output has settled at its new set point, then reads ten fresh measurement
    // samples into the averages (the automatic internal-sense steps, where nobody presses OK after the
    // repaints). False when no settled samples could be taken (the hook tells the operator why); the
    // wizard then writes no pair from them. Without a hook the averages are used as they are.
    std::function<bool()> measureFresh;
    // Moves the focus to a control of the output configuration dialog when a wizard ends.
    std::function<void(int)> focusOutputConfiguration;
    // Told each new pair as it is written.
    std::function<void(const CalibrationOutcome&)> calibrated;
    // Told each setting put back when a wizard ends, as a line for the operator.
    std::function<void(const std::string&)> restored;
    // Told after the wizard changed the sense mode, which the output configuration dialog shows.
    std::function<void()> outputConfigChanged;
};

class CalibrationWizard {
  public:
    // Without a memory the wizard keeps points and averages of its own.
    CalibrationWizard(DialogControls& controls, int crateType, CalibrationHooks hooks = {},
                      CalibrationMemory* memory = nullptr);
    CalibrationWizard(const CalibrationWizard&) = delete;
    CalibrationWizard& operator=(const CalibrationWizard&) = delete;

    void setChannel(QOR* channel) { channel_ = channel; }
    QOR* channel() const { return channel_; }
    MeasurementAverages& averages() { return memory_.averages; }
    CalibrationValues& values() { return memory_.values; }
    int state() const { return state_; }
    bool running() const { return state_ != kWizardIdle; }
    const std::string& message() const { return message_; }

    // Writes the 24 point values into their fields, in the channel's units.
    void showValues();
    // The operator typed real values outside a wizard: each changed one takes its module values now.
    void takeOverRealValues();
    // The two-point calculation, written to the module as offset, then gain.
    void calibrate(CalQuantity q);
    void allLow();
    void allHigh();
    // "Calibrate U" / "Calibrate I": start when idle, stop otherwise; then one step.
    void toggleVoltage();
    void toggleCurrent();
    // One wizard step for the state found on entry.
    void step();
    // Back to idle without a step, the settings the wizard changed put back (the dialog shows a new
    // channel).
    void reset();

  private:
    void captureSense(bool high);
    void captureCurrent(bool high);
    double averageVolts(int16_t raw) const;
    double averageAmperes(int16_t raw) const;
    double presentUnom() const;
    double presentInom() const;
    void setUnomFraction(double fraction);
    void setInomFraction(double fraction);
    // The operator's set points and sense mode, taken when a wizard starts and put back when it ends
    // (completed, stopped or left for another channel): a current limit left at the maximum would be
    // a hazard for the next load.
    void saveSettings();
    void restoreSettings();
    void focus(int id) { d_.requestFocus(id); }
    void readReal(int id, double& target);

    DialogControls& d_;
    int controllerType_;
    CalibrationHooks hooks_;
    QOR* channel_ = nullptr;
    CalibrationMemory own_;
    CalibrationMemory& memory_;
    MeasurementAverages& averages_ = memory_.averages;
    CalibrationValues& values_ = memory_.values;
    int state_ = kWizardIdle;
    struct SavedSettings {
        QOR* channel;
        int16_t unom, inom;
        bool internalSense;
    };
    std::optional<SavedSettings> saved_;
    std::string message_;
};

}  // namespace vz
