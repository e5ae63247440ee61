#include "configfile/output_file_fields.h"

namespace vz {
namespace {

using K = FileFieldKind;

// A key that is not in the parameter table does not compile.
consteval const ParameterInfo* P(std::string_view key) {
    return &parameter(key);
}
constexpr FileRule kAny = FileRule::any;
constexpr FileRule kFull = FileRule::fullFieldSet;

constexpr OutputFileField kFields[] = {
    {"Calibration", nullptr, "serialNumber", P("system.serialNumber"), kFull, K::information},
    {"Calibration", nullptr, "voltageExponent", P("system.exponent"), kFull, K::voltageExponent},
    {"Calibration", nullptr, "currentExponent", P("system.exponent"), kFull, K::currentExponent},
    {"Calibration", nullptr, "pwmOffset", P("system.pwmOffset"), kFull},
    {"Calibration", nullptr, "pwmMaxOnTime", P("system.pwmMaxOnTime"), kFull},
    {"Calibration", nullptr, "pwmMinPeriod", P("system.pwmMinPeriod"), kFull},
    {"Calibration", "calIMod", "gain", P("system.calIModGain"), kAny},
    {"Calibration", "calIMod", "offset", P("system.calIModOffset"), kAny},
    {"Calibration", "calUSen", "gain", P("system.calUSenGain"), kAny},
    {"Calibration", "calUSen", "offset", P("system.calUSenOffset"), kAny},
    {"Calibration", "calUMod", "gain", P("system.calUModGain"), kFull},
    {"Calibration", "calUMod", "offset", P("system.calUModOffset"), kFull},
    {"Calibration", "calUSet", "gain", P("system.calUSetGain"), kFull},
    {"Calibration", "calUSet", "offset", P("system.calUSetOffset"), kFull},
    {"Calibration", "calUInt", "gain", P("system.calUIntGain"), kFull},
    {"Calibration", "calUInt", "offset", P("system.calUIntOffset"), kFull},
    {"Calibration", "calISet", "gain", P("system.calISetGain"), kFull},
    {"Calibration", "calISet", "offset", P("system.calISetOffset"), kFull},

    {"Configuration", nullptr, "idModule", nullptr, kFull, K::moduleId},
    {"Configuration", nullptr, "phase", P("system.phase"), kFull},
    {"Configuration", nullptr, "maxUnom", P("system.maxUnom"), kFull},
    {"Configuration", nullptr, "maxInom", P("system.maxInom"), kFull},
    {"Configuration", nullptr, "maxUModule", P("system.maxUTerminal"), kFull},
    {"Configuration", nullptr, "maxTemperature", P("system.maxTemperature"), kFull},
    {"Configuration", nullptr, "maxUSense", P("system.maxUSense"), kAny},
    {"Configuration", nullptr, "maxCurrent", P("system.maxCurrent"), kAny},
    {"Configuration", nullptr, "maxPower", P("system.maxPower"), kAny},
    {"Configuration", nullptr, "ugain", P("user.ugain"), FileRule::wdx, K::wdxGain},
    {"Configuration", nullptr, "igain", P("user.igain"), FileRule::wdx, K::wdxGain},
    {"Configuration", "Flags", nullptr, P("system.flags"), kFull, K::namedBits, cfgnames::kSystemFlags},

    {"User", nullptr, "idGroup", P("user.idGroup"), kAny},
    {"User", nullptr, "minUSense", P("user.minUSense"), kAny},
    {"User", nullptr, "maxUSense", P("user.maxUSense"), kAny},
    {"User", nullptr, "maxCurrent", P("user.maxCurrent"), kAny},
    {"User", nullptr, "maxPower", P("user.maxPower"), kAny},
    {"User", nullptr, "maxTimeout", P("user.maxTimeout"), kAny},
    {"User", nullptr, "maxUModule", P("user.maxUModule"), kFull},
    {"User", nullptr, "maxTemperature", P("user.maxTemperature"), kFull},
    {"User", nullptr, "unom", P("user.Unom"), kFull},
    {"User", nullptr, "inom", P("user.Inom"), kFull},
    {"User", nullptr, "rampUp", P("user.rampUp"), kFull},
    {"User", nullptr, "rampDown", P("user.rampDown"), kFull},
    {"User", "ErrorAction", nullptr, P("user.errorAction"), kAny, K::namedBits, cfgnames::kErrorActions, 2},
    {"User", "Flags", nullptr, P("user.flags"), kFull, K::namedBits, cfgnames::kUserFlags},
    {"User", "SupervisionDelay", "minUSense", P("user.SupervisionDelays.minUSense"), kFull},
    {"User", "SupervisionDelay", "maxUSense", P("user.SupervisionDelays.maxUSense"), kFull},
    {"User", "SupervisionDelay", "maxUModule", P("user.SupervisionDelays.maxUModule"), kFull},
    {"User", "SupervisionDelay", "maxCurrent", P("user.SupervisionDelays.maxCurrent"), kFull},
    {"User", "SupervisionDelay", "temperature", P("user.SupervisionDelays.maxTemperature"), kFull},
    {"User", "SupervisionDelay", "power", P("user.SupervisionDelays.maxPower"), kFull},
};

}  // namespace

std::span<const OutputFileField> outputFileFields() {
    return kFields;
}

bool fileRuleHolds(FileRule rule, int controllerType) {
    switch (rule) {
        case FileRule::any:
            return true;
        case FileRule::fullFieldSet:
            return cfgnames::fullFieldSet(controllerType);
        case FileRule::wdx:
            return cfgnames::wdxController(controllerType);
    }
    return false;
}

}  // namespace vz
