#include "dialogs/output_configuration.h"

#include <algorithm>
#include <string>

#include "base/controller_type.h"
#include "base/text_format.h"
#include "channel/bound_setters.h"
#include "channel/channel_table.h"
#include "channel/raw_scaling.h"
#include "channel/status_texts.h"
#include "channel/switch_commands.h"
#include "dialogs/field_helpers.h"
#include "dialogs/field_parsing.h"
#include "link/usb_link.h"

namespace vz {

namespace {

constexpr const char* kErrorActionTexts[] = {"Ignore this failure.", "Switch this channel off.",
                                             "Switch this group off.", "Switch all channels off."};

struct ReactionCombo {
    int id;
    ErrorActionField field;
};
// In the order they are applied.
constexpr ReactionCombo kReactionCombos[] = {
    {occ::kActionMinUSense, ErrorActionField::minUSense},
    {occ::kActionMaxUSense, ErrorActionField::maxUSense},
    {occ::kActionMaxUModule, ErrorActionField::maxUModule},
    {occ::kActionMaxCurrent, ErrorActionField::maxCurrent},
    {occ::kActionTemperature, ErrorActionField::temperature},
    {occ::kActionPower, ErrorActionField::power},
    {occ::kActionTimeout, ErrorActionField::timeout},
};

struct FlagBox {
    int id;
    uint16_t bit;
};
constexpr FlagBox kFlagBoxes[] = {
    {occ::kNoRampAtOff, kSwitchOffNoRamp},
    {occ::kModerateRegulation, kSwitchModuleReg},
    {occ::kSlowRegulation, kSwitchSlowReg},
    {occ::kInternalSense, kSwitchInternalSense},
    {occ::kExternalInhibit, kEnableExternalInhibit},
    {occ::kDisableGlobalInhibit, kDisableGlobalInhibit},
    {occ::kAutoPowerOn, kAutoPowerOn},
    {occ::kRelaxedSupervision, kRelaxSupervOnPowerup},
};

int bitIndex(uint16_t bit) {
    int n = 0;
    while (!(bit & 1)) bit >>= 1, ++n;
    return n;
}

// "%.3f" for an exponent whose raw step needs four decimals: one fewer than a step needs.
std::string formatForExponent(int exponent) {
    return formatText(15, "%%.%df", std::max(0, decimalsForExponent(exponent) - 1));
}

}  // namespace

OutputConfigurationTemplate outputConfigurationTemplate(int controllerType, uint32_t moduleKind) {
    if (controllerType == kQx308 && moduleKind == kKindBolanJova) return OutputConfigurationTemplate::none;
    if (controllerType == kQx308 || controllerType == kKrat) return OutputConfigurationTemplate::full131;
    return OutputConfigurationTemplate::pelique139;
}

OutputConfiguration::OutputConfiguration(DialogControls& controls, int controllerType, bool expertView)
    : d_(controls), controllerType_(controllerType), expertView_(expertView) {}

bool OutputConfiguration::fullTemplate() const {
    return controllerType_ == kQx308 || controllerType_ == kKrat;
}
bool OutputConfiguration::wdx() const {
    return controllerType_ == kWdx;
}

void OutputConfiguration::select(int channelIndex) {
    if (channelIndex < 0 || channelIndex >= kChannelCount) return;
    index_ = channelIndex;
    channel_ = &channelState().channelTable.channels[static_cast<std::size_t>(channelIndex)];
    refresh(true);
}

void OutputConfiguration::refresh(bool reread) {
    if (!channel_) return;
    QOR& q = *channel_;
    d_.setCaption(formatText(255, "[SN %s] U%d Output Configuration", usbSerial().c_str(), q.moduleAddress));
    if (reread && q.configurable()) {
        q.system().readFromModule();
        q.user().readFromModule();
    }
    const int ev = q.system().voltageExponent;
    const int ei = q.system().currentExponent;
    const std::string vf = formatForExponent(ev), af = formatForExponent(ei);
    const MODULE_USER_CONFIG& u = q.user();
    const MODULE_SYSTEM_CONFIG& s = q.system();
    auto volts = [&](int id, int16_t raw) { setEditDouble(d_, id, q.voltageFromRaw(raw), vf.c_str()); };
    auto amperes = [&](int id, int16_t raw) { setEditDouble(d_, id, q.currentFromRaw(raw), af.c_str()); };
    auto integer = [&](int id, long long value) { setEditInt(d_, id, value); };

    volts(occ::kMaxUnom, s.maxUnom);
    amperes(occ::kMaxInom, s.maxInom);
    volts(occ::kMinUSense, u.minUSense);
    volts(occ::kMaxUSense, u.maxUSense);
    volts(occ::kSysMaxUSense, s.maxUSense);
    volts(occ::kSysMaxUTerminal, s.maxUTerminal);
    amperes(occ::kMaxCurrent, u.maxCurrent);
    amperes(occ::kSysMaxCurrent, s.maxCurrent);
    integer(occ::kMaxPower, u.maxPower);
    integer(occ::kSysMaxPower, s.maxPower);
    integer(occ::kSysMaxTemperature, s.maxTemperature);
    integer(occ::kMaxTimeout, u.maxTimeout);
    integer(occ::kGroup, u.idGroup);
    const SupervisionDelayData& delays = u.SupervisionDelays;
    integer(occ::kDelayMinUSense, delays.minUSense);
    integer(occ::kDelayMaxUSense, delays.maxUSense);
    integer(occ::kDelayMaxUModule, delays.maxUModule);
    integer(occ::kDelayMaxCurrent, delays.maxCurrent);
    integer(occ::kDelayMaxTemperature, delays.maxTemperature);
    integer(occ::kDelayMaxPower, delays.maxPower);
    for (const ReactionCombo& c : kReactionCombos)
        fillCombo(d_, c.id, kErrorActionTexts, 4, (u.errorAction >> static_cast<unsigned>(c.field)) & 3);

    if (wdx()) {
        // The WDX layout keeps two scaling floats where the others keep nominal values and ramps.
        setEditDouble(d_, occ::kVoltageScaling, u.ugain(), vf.c_str());
        setEditDouble(d_, occ::kCurrentScaling, u.igain(), af.c_str());
    } else {
        volts(occ::kUnom, u.Unom);
        amperes(occ::kInom, u.Inom);
        integer(occ::kRampUp, u.rampUp);
        integer(occ::kRampDown, u.rampDown);
        volts(occ::kMaxUModule, u.maxUModule);
        integer(occ::kMaxTemperature, u.maxTemperature);
        for (const FlagBox& f : kFlagBoxes) setCheck(d_, f.id, (u.flags & f.bit) != 0);
        // With the sense wired inside the module, cable length means nothing to the regulation.
        const bool externalSense = (u.flags & kSwitchInternalSense) == 0;
        enableItem(d_, occ::kModerateRegulation, externalSense);
        enableItem(d_, occ::kSlowRegulation, externalSense);
    }

    const bool hardwareMaxima = expertView_ && fullTemplate();
    for (int id : {occ::kMaxUnom, occ::kMaxInom, occ::kSysMaxUTerminal, occ::kSysMaxTemperature})
        d_.setReadOnly(id, !hardwareMaxima);
    const bool supervisionMaxima = expertView_ || wdx();
    for (int id : {occ::kSysMaxUSense, occ::kSysMaxCurrent, occ::kSysMaxPower})
        d_.setReadOnly(id, !supervisionMaxima);

    refreshStatus();
    d_.selectFocusedText();
}

void OutputConfiguration::refreshStatus() {
    if (index_ < 0) return;
    const std::optional<ChannelStatusTexts> texts = showChannelStatus(static_cast<unsigned>(index_));
    if (!texts) return;
    for (const auto& [id, text] : texts->byControl()) d_.setText(id, text);
}

void OutputConfiguration::apply() {
    if (!channel_ || !channel_->configurable()) return;
    QOR& q = *channel_;
    QOR* const& ch = channel_;
    const int ev = q.system().voltageExponent;
    const int ei = q.system().currentExponent;
    MODULE_USER_CONFIG& u = q.user();
    MODULE_SYSTEM_CONFIG& s = q.system();
    auto i16 = [&](const ParameterInfo& p) { return bindSetter<int16_t>(ch, p); };
    auto u16 = [&](const ParameterInfo& p) { return bindSetter<uint16_t>(ch, p); };

    // Hardware maxima first: the module checks the user values against them.
    if (expertView_ && fullTemplate()) {
        getEditScaled(d_, occ::kMaxUnom, s.maxUnom, ev, i16(parameter("system.maxUnom")));
        getEditScaled(d_, occ::kMaxInom, s.maxInom, ei, i16(parameter("system.maxInom")));
        getEditScaled(d_, occ::kSysMaxUTerminal, s.maxUTerminal, ev, i16(parameter("system.maxUTerminal")));
        getEditI16(d_, occ::kSysMaxTemperature, s.maxTemperature, i16(parameter("system.maxTemperature")));
    }
    if (expertView_ || wdx()) {
        getEditScaled(d_, occ::kSysMaxUSense, s.maxUSense, ev, i16(parameter("system.maxUSense")));
        getEditScaled(d_, occ::kSysMaxCurrent, s.maxCurrent, ei, i16(parameter("system.maxCurrent")));
        getEditU16(d_, occ::kSysMaxPower, s.maxPower, u16(parameter("system.maxPower")));
    }

    getEditU16(d_, occ::kGroup, u.idGroup, u16(parameter("user.idGroup")));
    getEditScaled(d_, occ::kMinUSense, u.minUSense, ev, i16(parameter("user.minUSense")));
    getEditScaled(d_, occ::kMaxUSense, u.maxUSense, ev, i16(parameter("user.maxUSense")));
    getEditScaled(d_, occ::kMaxCurrent, u.maxCurrent, ei, i16(parameter("user.maxCurrent")));
    getEditU16(d_, occ::kMaxPower, u.maxPower, u16(parameter("user.maxPower")));
    getEditU16(d_, occ::kMaxTimeout, u.maxTimeout, u16(parameter("user.maxTimeout")));
    SupervisionDelayData& delays = u.SupervisionDelays;
    getEditU16(d_, occ::kDelayMinUSense, delays.minUSense,
               u16(parameter("user.SupervisionDelays.minUSense")));
    getEditU16(d_, occ::kDelayMaxUSense, delays.maxUSense,
               u16(parameter("user.SupervisionDelays.maxUSense")));
    getEditU16(d_, occ::kDelayMaxUModule, delays.maxUModule,
               u16(parameter("user.SupervisionDelays.maxUModule")));
    getEditU16(d_, occ::kDelayMaxCurrent, delays.maxCurrent,
               u16(parameter("user.SupervisionDelays.maxCurrent")));
    getEditU16(d_, occ::kDelayMaxTemperature, delays.maxTemperature,
               u16(parameter("user.SupervisionDelays.maxTemperature")));
    getEditU16(d_, occ::kDelayMaxPower, delays.maxPower, u16(parameter("user.SupervisionDelays.maxPower")));

    if (wdx()) {
        // The floats live in the record's bytes; the setter stores them there when accepted.
        float ugain = u.ugain(), igain = u.igain();
        getEditFloat(d_, occ::kVoltageScaling, ugain, bindSetter<float>(ch, parameter("user.ugain")));
        getEditFloat(d_, occ::kCurrentScaling, igain, bindSetter<float>(ch, parameter("user.igain")));
    } else {
        getEditScaled(d_, occ::kMaxUModule, u.maxUModule, ev, i16(parameter("user.maxUModule")));
        getEditI16(d_, occ::kMaxTemperature, u.maxTemperature, i16(parameter("user.maxTemperature")));
        getEditU16(d_, occ::kRampUp, u.rampUp, u16(parameter("user.rampUp")));
        getEditU16(d_, occ::kRampDown, u.rampDown, u16(parameter("user.rampDown")));
        applyUserFlags();
    }

    for (const ReactionCombo& c : kReactionCombos) {
        unsigned code = (u.errorAction >> static_cast<unsigned>(c.field)) & 3;
        getComboIndex(d_, c.id, code, bindErrorActionField(ch, c.field));
    }

    // The nominal values last: the limits they must respect are in place by now.
    if (fullTemplate()) {
        getEditScaled(d_, occ::kUnom, u.Unom, ev, i16(parameter("user.Unom")));
        getEditScaled(d_, occ::kInom, u.Inom, ei, i16(parameter("user.Inom")));
    }
}

void OutputConfiguration::applyUserFlags() {
    MODULE_USER_CONFIG& u = channel_->user();
    uint32_t flags = u.flags;
    for (int id : {occ::kNoRampAtOff, occ::kExternalInhibit, occ::kDisableGlobalInhibit, occ::kAutoPowerOn}) {
        for (const FlagBox& f : kFlagBoxes)
            if (f.id == id) getCheckBit(d_, id, flags, bitIndex(f.bit));
    }
    // Slow regulation implies moderate regulation: setting slow sets moderate, clearing moderate
    // clears slow. A change of the slow box wins over the moderate box in the same apply.
    if (getCheckBit(d_, occ::kSlowRegulation, flags, bitIndex(kSwitchSlowReg))) {
        if (flags & kSwitchSlowReg) flags |= kSwitchModuleReg;
    } else if (getCheckBit(d_, occ::kModerateRegulation, flags, bitIndex(kSwitchModuleReg))) {
        if (!(flags & kSwitchModuleReg)) flags &= ~uint32_t{kSwitchSlowReg};
    }
    getCheckBit(d_, occ::kInternalSense, flags, bitIndex(kSwitchInternalSense));
    getCheckBit(d_, occ::kRelaxedSupervision, flags, bitIndex(kRelaxSupervOnPowerup));
    if (flags != u.flags)
        bindSetter<uint16_t>(channel_, parameter("user.flags"))(static_cast<uint16_t>(flags));
}

void OutputConfiguration::applyAndRefresh() {
    apply();
    refresh(true);
}

void OutputConfiguration::applyAndSwitch(uint16_t word) {
    apply();
    refresh(true);
    if (channel_ && channel_->hasModuleAddress()) sendSwitchCommand(channel_->addressByte(), word);
}

}  // namespace vz
