#pragma once
// The output calibration dialog's logic: a module's factory data (identification, exponents, the
// switching regulator, the six offset/gain pairs) shown in a dialog's controls and written back field by
// field, and the calibration area with its wizard. Editing needs the expert view (-ac); otherwise the
// dialog only shows. The window around it is the Qt half's business.
#include <cstdint>
#include <functional>
#include <memory>

#include "channel/channel_classes.h"
#include "channel/parameter_table.h"
#include "dialogs/calibration_wizard.h"
#include "dialogs/dialog_controls.h"

namespace vz {

// Control ids of the two templates (the calibration area's are in namespace cal).
namespace ocal {
constexpr int kOk = 1, kCancel = 2;
constexpr int kModuleId = 1082, kSerial = 1077, kModuleSerial = 1085, kFirmware = 1083;
constexpr int kVoltageExponent = 1080, kCurrentExponent = 1081;
constexpr int kPhase = 1084, kPwmOffset = 1097, kPwmMaxOnTime = 1100, kPwmMinPeriod = 1101;
constexpr int kUSenseOffset = 1053, kUSenseGain = 1074, kUModulOffset = 1052, kUModulGain = 1075;
constexpr int kIModulOffset = 1055, kIModulGain = 1076, kUNominalOffset = 1058, kUNominalGain = 1079;
constexpr int kUInternalOffset = 1064, kUInternalGain = 1096, kINominalOffset = 1057, kINominalGain = 1078;
// The system flag bits 0..7, in bit order.
constexpr int kFlagBoxes[] = {1116, 1117, 1118, 1119, 1122, 1123, 1124, 1163};
// Serials from here on carry the module id in their low byte; the module's own number is above it.
constexpr uint32_t kSerialWithModuleByte = 5300000;
}  // namespace ocal

enum class OutputCalibrationTemplate { none, full132, wdx140 };

// 132 on QX308 and KRAT, 140 elsewhere; a JOVA board on a QX308 has no calibration.
OutputCalibrationTemplate outputCalibrationTemplate(int controllerType, uint32_t moduleKind);

struct OutputCalibrationHooks {
    CalibrationHooks wizard;
    // An exponent changed: the output configuration dialog must show its values anew.
    std::function<void()> exponentsChanged;
    // The module took a new id: the channel moved in the table, the selection with it.
    std::function<void(int newChannel)> channelMoved;
};

class OutputCalibration {
  public:
    // The controller type and the expert view are fixed for the dialog's life. The points and
    // averages live in memory (the program's, unless a test gives its own).
    OutputCalibration(DialogControls& controls, int typeOfController, bool expertView,
                      OutputCalibrationHooks hooks, CalibrationMemory& memory = programCalibrationMemory());

    // Creation and a change of selection: wizard idle, the channel taken, the edit rules set, reload.
    void initialise(int channelIndex);
    // Caption, every field from the local records (with reload: read from the module first), the
    // wizard's message and buttons, the focused text selected.
    void refresh(bool reload);
    // After the list showed new measurements: the channel's raw readings into the averages.
    void listRepainted();
    // A button or check box of the dialog; CANCEL is the window's to handle.
    void command(int id);
    // The fields to the module: the real values, the module id, the factory data, the pairs, the flags.
    void apply();

    bool editable() const;
    int channelIndex() const { return index_; }
    QOR* channel() const { return channel_; }
    CalibrationWizard& wizard() { return wizard_; }

  private:
    bool fullTemplate() const;
    void setEditRules();
    void showFields();
    void applyModuleId();
    void applyFactoryData();
    void applySerialNumber();
    void applyPair(int offsetId, int gainId, int16_t& offset, uint16_t& gain, bool current,
                   const ParameterInfo& offsetParameter, const ParameterInfo& gainParameter);

    DialogControls& d_;
    int controllerType_;
    bool expertView_;
    OutputCalibrationHooks hooks_;
    CalibrationWizard wizard_;
    int index_ = -1;
    QOR* channel_ = nullptr;  // the bound setters read it when called
};

}  // namespace vz
