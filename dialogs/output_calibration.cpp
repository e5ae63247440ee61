#include "dialogs/output_calibration.h"

#include <string>
#include <tuple>

#include "base/controller_type.h"
#include "base/debug_log.h"
#include "base/message_boxes.h"
#include "base/text_format.h"
#include "channel/bound_setters.h"
#include "channel/channel_table.h"
#include "channel/composite_setters.h"
#include "channel/firmware_version.h"
#include "channel/raw_scaling.h"
#include "dialogs/field_helpers.h"
#include "dialogs/field_parsing.h"
#include "link/module_access.h"
#include "link/usb_link.h"

namespace vz {
namespace {

constexpr int kCalButtons[] = {cal::kCalSense,    cal::kCalTerminal,  cal::kCalCurrent,
                               cal::kCalUNominal, cal::kCalUInternal, cal::kCalINominal};
constexpr CalQuantity kCalButtonQuantities[] = {CalQuantity::uSense,    CalQuantity::uTerminal,
                                                CalQuantity::current,   CalQuantity::uNominal,
                                                CalQuantity::uInternal, CalQuantity::iNominal};

// The real values an operator types; the module values and the set-point reals are the program's.
constexpr int kTypedReals132[] = {cal::kSenseLowReal, cal::kSenseHighReal, cal::kTermLowReal,
                                  cal::kTermHighReal, cal::kCurLowReal,    cal::kCurHighReal,
                                  cal::kUIntLowReal,  cal::kUIntHighReal};
constexpr int kTypedReals140[] = {cal::kSenseLowReal, cal::kSenseHighReal, cal::kCurLowReal,
                                  cal::kCurHighReal};
constexpr int kProgramValues[] = {cal::kSenseLowModule, cal::kSenseHighModule, cal::kTermLowModule,
                                  cal::kTermHighModule, cal::kCurLowModule,    cal::kCurHighModule,
                                  cal::kUNomLowReal,    cal::kUNomLowModule,   cal::kUNomHighReal,
                                  cal::kUNomHighModule, cal::kUIntLowModule,   cal::kUIntHighModule,
                                  cal::kINomLowReal,    cal::kINomLowModule,   cal::kINomHighReal,
                                  cal::kINomHighModule, cal::kMessage,         ocal::kFirmware};
// The factory fields each template reads back.
constexpr int kFactory132[] = {ocal::kModuleId,        ocal::kSerial,          ocal::kModuleSerial,
                               ocal::kVoltageExponent, ocal::kCurrentExponent, ocal::kPhase,
                               ocal::kPwmOffset,       ocal::kPwmMaxOnTime,    ocal::kPwmMinPeriod,
                               ocal::kUSenseOffset,    ocal::kUSenseGain,      ocal::kUModulOffset,
                               ocal::kUModulGain,      ocal::kIModulOffset,    ocal::kIModulGain,
                               ocal::kUNominalOffset,  ocal::kUNominalGain,    ocal::kUInternalOffset,
                               ocal::kUInternalGain,   ocal::kINominalOffset,  ocal::kINominalGain};
// Serial and exponents are written only on QX308 and KRAT; elsewhere they are shown, not edited.
constexpr int kFactory140[] = {ocal::kModuleId, ocal::kUSenseOffset, ocal::kUSenseGain, ocal::kIModulOffset,
                               ocal::kIModulGain};
constexpr int kShownOnly140[] = {ocal::kSerial, ocal::kModuleSerial, ocal::kVoltageExponent,
                                 ocal::kCurrentExponent};

uint32_t moduleSerialShown(uint32_t serial) {
    return serial >= ocal::kSerialWithModuleByte ? serial / 256 : serial;
}

std::string offsetFormat(int exponent) {
    return formatText(15, "%%.%df", decimalsForExponent(exponent));
}

}  // namespace

OutputCalibrationTemplate outputCalibrationTemplate(int controllerType, uint32_t moduleKind) {
    if (controllerType == kQx308 && moduleKind == kKindBolanJova) return OutputCalibrationTemplate::none;
    if (controllerType == kQx308 || controllerType == kKrat) return OutputCalibrationTemplate::full132;
    return OutputCalibrationTemplate::wdx140;
}

OutputCalibration::OutputCalibration(DialogControls& controls, int controllerType, bool expertView,
                                     OutputCalibrationHooks hooks, CalibrationMemory& memory)
    : d_(controls),
      controllerType_(controllerType),
      expertView_(expertView),
      hooks_(std::move(hooks)),
      wizard_(controls, controllerType, hooks_.wizard, &memory) {}

bool OutputCalibration::fullTemplate() const {
    return controllerType_ == kQx308 || controllerType_ == kKrat;
}

bool OutputCalibration::editable() const {
    return expertView_ && channel_ && channel_->configurable();
}

void OutputCalibration::initialise(int channelIndex) {
    wizard_.reset();
    index_ = channelIndex;
    channel_ = channelIndex >= 0 && channelIndex < kChannelCount
                   ? &channelState().channelTable.channels[static_cast<std::size_t>(channelIndex)]
                   : nullptr;
    wizard_.setChannel(channel_);
    setEditRules();
    refresh(true);
}

void OutputCalibration::setEditRules() {
    const bool edit = editable();
    if (!edit) debugLog(kLogDebug, "-------- Setting all child windows to read only");
    auto rule = [&](int id, bool readOnly) {
        if (!d_.text(id)) return;
        d_.setReadOnly(id, readOnly);
        if (readOnly && !edit)
            debugLog(kLogDebug, "-------- Found child window %x, send message returns %d", id, 1);
    };
    // Set both ways: following the selection from a JOVA board to an output makes it editable again.
    if (fullTemplate()) {
        for (int id : kFactory132) rule(id, !edit);
        for (int id : kTypedReals132) rule(id, !edit);
    } else {
        for (int id : kFactory140) rule(id, !edit);
        for (int id : kShownOnly140) rule(id, true);
        for (int id : kTypedReals140) rule(id, !edit);
    }
    for (int id : kProgramValues) rule(id, true);
    for (int id : ocal::kFlagBoxes) d_.setReadOnly(id, !edit);
}

void OutputCalibration::refresh(bool reload) {
    if (!channel_) {
        d_.setCaption(formatText(255, "[SN %s] Ux Output Calibration", usbSerial().c_str()));
    } else {
        d_.setCaption(formatText(255, "[SN %s] U%d Output Calibration%s", usbSerial().c_str(), index_,
                                 expertView_ ? "" : " (read only)"));
        if (reload && channel_->configurable()) {
            channel_->system().readFromModule();
            channel_->user().readFromModule();
        }
    }
    wizard_.showValues();
    showFields();
    const bool running = wizard_.running();
    d_.setText(cal::kMessage, wizard_.message());
    showItem(d_, cal::kMessage, running);
    for (int id : kCalButtons) showItem(d_, id, !running);
    d_.selectFocusedText();
}

void OutputCalibration::showFields() {
    if (!channel_) return;
    const QOR& q = *channel_;
    const MODULE_SYSTEM_CONFIG& s = q.system();
    const std::string vf = offsetFormat(s.voltageExponent), af = offsetFormat(s.currentExponent);
    auto volts = [&](int id, int16_t raw) { setEditDouble(d_, id, q.voltageFromRaw(raw), vf.c_str()); };
    auto amperes = [&](int id, int16_t raw) { setEditDouble(d_, id, q.currentFromRaw(raw), af.c_str()); };

    setEditInt(d_, ocal::kModuleId, s.idModule);
    setEditInt(d_, ocal::kSerial, s.serialNumber);
    setEditInt(d_, ocal::kModuleSerial, moduleSerialShown(s.serialNumber));
    d_.setText(ocal::kFirmware, firmwareVersionText(q.firmware()));
    setEditInt(d_, ocal::kVoltageExponent, s.voltageExponent);
    setEditInt(d_, ocal::kCurrentExponent, s.currentExponent);
    volts(ocal::kUSenseOffset, s.calUSenOffset);
    setEditInt(d_, ocal::kUSenseGain, s.calUSenGain);
    amperes(ocal::kIModulOffset, s.calIModOffset);
    setEditInt(d_, ocal::kIModulGain, s.calIModGain);
    if (!fullTemplate()) return;

    setEditInt(d_, ocal::kPhase, s.phase);
    setEditDouble(d_, ocal::kPwmOffset, q.voltageFromRaw(s.pwmOffset), "%.3f");
    setEditInt(d_, ocal::kPwmMaxOnTime, s.pwmMaxOnTime);
    setEditInt(d_, ocal::kPwmMinPeriod, s.pwmMinPeriod);
    volts(ocal::kUModulOffset, s.calUModOffset);
    setEditInt(d_, ocal::kUModulGain, s.calUModGain);
    volts(ocal::kUNominalOffset, s.calUSetOffset);
    setEditInt(d_, ocal::kUNominalGain, s.calUSetGain);
    volts(ocal::kUInternalOffset, s.calUIntOffset);
    setEditInt(d_, ocal::kUInternalGain, s.calUIntGain);
    amperes(ocal::kINominalOffset, s.calISetOffset);
    setEditInt(d_, ocal::kINominalGain, s.calISetGain);
    for (int bit = 0; bit < 8; ++bit) setCheck(d_, ocal::kFlagBoxes[bit], (s.flags >> bit) & 1);
}

void OutputCalibration::listRepainted() {
    if (channel_) wizard_.averages().push(channel_->measure());
}

void OutputCalibration::command(int id) {
    if (!expertView_ || id == ocal::kCancel) return;
    debugLog(kLogDebug, "DLG_MODULE_SYSTEM_CONFIG::DlgModuleSysConfigWM_COMAND: wID 0x%X, wNotifyCode 0x%X",
             static_cast<unsigned>(id), 0u);
    bool flagBox = false;
    for (int box : ocal::kFlagBoxes) flagBox = flagBox || box == id;
    if (id == ocal::kOk || flagBox) {
        if (wizard_.running()) {
            wizard_.step();
            refresh(false);
        } else {
            apply();
            refresh(true);
        }
        return;
    }
    for (std::size_t i = 0; i < std::size(kCalButtons); ++i) {
        if (kCalButtons[i] == id) {
            apply();
            wizard_.calibrate(kCalButtonQuantities[i]);
            refresh(true);
            return;
        }
    }
    switch (id) {
        case cal::kAllLow:
            apply();
            wizard_.allLow();
            refresh(true);
            break;
        case cal::kAllHigh:
            apply();
            wizard_.allHigh();
            refresh(true);
            break;
        case cal::kCalibrateU:
            wizard_.toggleVoltage();
            refresh(false);
            break;
        case cal::kCalibrateI:
            wizard_.toggleCurrent();
            refresh(false);
            break;
        default:
            break;
    }
}

void OutputCalibration::apply() {
    if (!channel_) return;
    if (!wizard_.running()) wizard_.takeOverRealValues();
    if (!channel_->configurable()) return;
    applyModuleId();
    if (fullTemplate()) applyFactoryData();
    applyPair(ocal::kUSenseOffset, ocal::kUSenseGain, channel_->system().calUSenOffset,
              channel_->system().calUSenGain, false, parameter("system.calUSenOffset"),
              parameter("system.calUSenGain"));
    applyPair(ocal::kIModulOffset, ocal::kIModulGain, channel_->system().calIModOffset,
              channel_->system().calIModGain, true, parameter("system.calIModOffset"),
              parameter("system.calIModGain"));
    if (fullTemplate()) {
        MODULE_SYSTEM_CONFIG& s = channel_->system();
        for (int bit = 0; bit < 8; ++bit)
            getCheckBit(d_, ocal::kFlagBoxes[bit], s.flags, bit,
                        bindSetter<uint32_t>(channel_, parameter("system.flags")));
    }
}

void OutputCalibration::applyModuleId() {
    QOR& old = *channel_;
    const std::optional<std::string> text = d_.text(ocal::kModuleId);
    if (!text) return;
    const std::optional<long long> typed = parseFieldInteger(*text);
    if (!typed || *typed == old.system().idModule) return;
    if (*typed < 0 || *typed >= kChannelCount) {
        printBox("Module ID %lld is out of range (0 ... %d)", *typed, kChannelCount - 1);
        return;
    }
    const int newId = static_cast<int>(*typed);
    QOR& target = channelState().channelTable.channels[static_cast<std::size_t>(newId)];
    if (target.foundSerial != 0) {
        printBox("Module ID %d is already used by module with serial number %d", newId,
                 static_cast<int>(target.foundSerial));
        return;
    }
    if (assignBySerial(old.system().serialNumber, static_cast<uint16_t>(newId), old.user().idGroup) < 0) {
        debugLog(kLogError, "module id %d: the module did not take it, the channel stays at U%d", newId,
                 index_);
        // Shown like the other refusals: a field that silently reverts looks like a typing slip.
        printBox("Module ID %d was not taken by the module with serial number %u; it stays at U%d", newId,
                 static_cast<unsigned>(old.system().serialNumber), index_);
        return;
    }
    static_cast<MODULE_MEASURE_DATA&>(target) = old.measure();
    static_cast<MODULE_USER_CONFIG_DATA&>(target) = old.user();
    static_cast<MODULE_SYSTEM_CONFIG_DATA&>(target) = old.system();
    static_cast<MODULE_FIRMWARE_DATA&>(target) = old.firmware();
    target.foundSerial = old.foundSerial;
    target.rowTop = old.rowTop;
    target.cacheWordLow = old.cacheWordLow;
    target.cacheWordHigh = old.cacheWordHigh;
    target.moduleKind = old.moduleKind;
    target.system().idModule = static_cast<uint16_t>(newId);
    target.moduleAddress = static_cast<uint16_t>(newId);
    old.foundSerial = 0;
    old.moduleAddress = MODULE::kUnassigned;
    index_ = newId;
    channel_ = &target;
    wizard_.setChannel(channel_);
    channelState().selectedChannel = newId;
    if (hooks_.channelMoved) hooks_.channelMoved(newId);
}

void OutputCalibration::applyFactoryData() {
    QOR* const& ch = channel_;
    MODULE_SYSTEM_CONFIG& s = channel_->system();
    bool exponentChanged = false;
    // The exponents are signed bytes: -10 is a common one.
    for (auto [id, which, held] :
         {std::tuple{ocal::kVoltageExponent, ExponentByte::voltage, s.voltageExponent},
          std::tuple{ocal::kCurrentExponent, ExponentByte::current, s.currentExponent}}) {
        int16_t exponent = held;
        exponentChanged |= getEditI16(d_, id, exponent, [&ch, which = which](int16_t value) {
            if (value < -128 || value > 127) return false;
            return setExponentByte(ch, which, static_cast<uint8_t>(value));
        });
    }
    getEditU16(d_, ocal::kPhase, s.phase, bindSetter<uint16_t>(ch, parameter("system.phase")));
    getEditScaled(d_, ocal::kPwmOffset, s.pwmOffset, s.voltageExponent,
                  bindSetter<int16_t>(ch, parameter("system.pwmOffset")));
    getEditU16(d_, ocal::kPwmMaxOnTime, s.pwmMaxOnTime,
               bindSetter<uint16_t>(ch, parameter("system.pwmMaxOnTime")));
    getEditU16(d_, ocal::kPwmMinPeriod, s.pwmMinPeriod,
               bindSetter<uint16_t>(ch, parameter("system.pwmMinPeriod")));
    applySerialNumber();
    applyPair(ocal::kUModulOffset, ocal::kUModulGain, s.calUModOffset, s.calUModGain, false,
              parameter("system.calUModOffset"), parameter("system.calUModGain"));
    applyPair(ocal::kUNominalOffset, ocal::kUNominalGain, s.calUSetOffset, s.calUSetGain, false,
              parameter("system.calUSetOffset"), parameter("system.calUSetGain"));
    applyPair(ocal::kUInternalOffset, ocal::kUInternalGain, s.calUIntOffset, s.calUIntGain, false,
              parameter("system.calUIntOffset"), parameter("system.calUIntGain"));
    applyPair(ocal::kINominalOffset, ocal::kINominalGain, s.calISetOffset, s.calISetGain, true,
              parameter("system.calISetOffset"), parameter("system.calISetGain"));
    if (exponentChanged && hooks_.exponentsChanged) hooks_.exponentsChanged();
}

void OutputCalibration::applySerialNumber() {
    MODULE_SYSTEM_CONFIG& s = channel_->system();
    uint32_t candidate = s.serialNumber;
    getEditU32(d_, ocal::kSerial, candidate);
    // The module's own number, without the id byte: typed here, the id byte is added back.
    uint32_t moduleSerial = moduleSerialShown(s.serialNumber);
    if (getEditU32(d_, ocal::kModuleSerial, moduleSerial, [](uint32_t value) { return value <= 0xFFFFFF; }))
        candidate = moduleSerial * 256 + (s.idModule & 0xFF);
    if (candidate != s.serialNumber) s.setSerialNumber(candidate);
}

void OutputCalibration::applyPair(int offsetId, int gainId, int16_t& offset, uint16_t& gain, bool current,
                                  const ParameterInfo& offsetParameter, const ParameterInfo& gainParameter) {
    QOR* const& ch = channel_;
    const int exponent = current ? channel_->system().currentExponent : channel_->system().voltageExponent;
    getEditScaled(d_, offsetId, offset, exponent, bindSetter<int16_t>(ch, offsetParameter));
    getEditU16(d_, gainId, gain, bindSetter<uint16_t>(ch, gainParameter));
}

}  // namespace vz
