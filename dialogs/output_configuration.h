#pragma once
// The output configuration dialog's logic: one channel's user configuration (and, in the expert
// view, its hardware maxima) shown in a dialog's controls and written back field by field through the
// channel's bound setters. The window around it is the Qt half's business.
#include <cstdint>

#include "channel/channel_classes.h"
#include "dialogs/dialog_controls.h"

namespace vz {

// Control ids of the two templates.
namespace occ {
constexpr int kOk = 1, kCancel = 2, kOff = 3, kOn = 4;
constexpr int kUnom = 1007, kMaxUnom = 1008, kInom = 1033, kMaxInom = 1034;
constexpr int kRampUp = 1029, kRampDown = 1030;
constexpr int kNoRampAtOff = 1117, kModerateRegulation = 1118, kSlowRegulation = 1119, kInternalSense = 1126,
              kExternalInhibit = 1129, kDisableGlobalInhibit = 1127, kAutoPowerOn = 1128,
              kRelaxedSupervision = 1168;
constexpr int kMinUSense = 1069, kMaxUSense = 1070, kMaxUModule = 1071, kMaxCurrent = 1072,
              kMaxTemperature = 1073, kMaxPower = 1076, kMaxTimeout = 1078;
constexpr int kSysMaxUSense = 1075, kSysMaxUTerminal = 1077, kSysMaxCurrent = 1079, kSysMaxPower = 1080,
              kSysMaxTemperature = 1081;
constexpr int kActionMinUSense = 1063, kActionMaxUSense = 1065, kActionMaxUModule = 1066,
              kActionMaxCurrent = 1067, kActionTemperature = 1068, kActionPower = 1093, kActionTimeout = 1094;
constexpr int kDelayMinUSense = 1163, kDelayMaxUSense = 1164, kDelayMaxUModule = 1165,
              kDelayMaxCurrent = 1162, kDelayMaxTemperature = 1167, kDelayMaxPower = 1166;
constexpr int kGroup = 1021, kVoltageScaling = 1031, kCurrentScaling = 1032;
constexpr int kCheckBoxes[] = {kNoRampAtOff,     kModerateRegulation,   kSlowRegulation, kInternalSense,
                               kExternalInhibit, kDisableGlobalInhibit, kAutoPowerOn,    kRelaxedSupervision};
}  // namespace occ

enum class OutputConfigurationTemplate { none, full131, pelique139 };

// The template for a channel: 131 on QX308 and KRAT, 139 elsewhere. A JOVA board (kind 4) on a QX308
// has a dialog of its own, so it gets none here.
OutputConfigurationTemplate outputConfigurationTemplate(int controllerType, uint32_t moduleKind);

class OutputConfiguration {
  public:
    // The controller type and the expert view (-ac) are fixed for the dialog's life.
    OutputConfiguration(DialogControls& controls, int controllerType, bool expertView);

    // Shows channel index 0..126 of the table and re-reads it (opening, and a change of selection).
    void select(int channelIndex);
    // Caption, every field from the local records, the read-only rules, the status area; with
    // reread the module's configuration is read first (a failed read leaves the old values shown).
    void refresh(bool reread);
    // After the list showed new measurements: the status area only, so typing is not disturbed.
    void refreshStatus();
    // Writes every field that differs from the local records, in the module's dependency order.
    void apply();
    // OK and the check boxes: apply, then show what the module holds.
    void applyAndRefresh();
    // ON and OFF: apply, refresh, then the switch word to the channel.
    void applyAndSwitch(uint16_t word);

    int channelIndex() const { return index_; }
    QOR* channel() const { return channel_; }

  private:
    bool fullTemplate() const;
    bool wdx() const;
    void applyUserFlags();

    DialogControls& d_;
    int controllerType_;
    bool expertView_;
    int index_ = -1;
    QOR* channel_ = nullptr;  // the bound setters read it when called
};

}  // namespace vz
