// The setters of the user and system configuration: one command per parameter at the field's own
// offset, and the local copy changes only after the module said yes.
#include <cstddef>

#include "channel/channel_classes.h"
#include "channel/module_memory_map.h"
#include "channel/parameter_command.h"

namespace vz {
namespace {

template <typename T>
bool commit(uint16_t moduleAddress, uint32_t base, std::size_t offset, T& field, T value, const char* name) {
    if (!commandParameter(moduleAddress, base, static_cast<uint32_t>(offset), &value, sizeof value, name))
        return false;
    field = value;
    return true;
}

using User = MODULE_USER_CONFIG_DATA;
using System = MODULE_SYSTEM_CONFIG_DATA;

constexpr std::size_t delayOffset(std::size_t inDelays) {
    return offsetof(User, SupervisionDelays) + inDelays;
}

}  // namespace

#define VZ_USER(field) kUserConfigBase, offsetof(User, field), field
#define VZ_SYSTEM(field) kSystemConfigBase, offsetof(System, field), field

bool MODULE_USER_CONFIG::setIdGroup(uint16_t v) {
    return commit(moduleAddress, VZ_USER(idGroup), v, "MODULE_USER_CONFIG::idGroup");
}
bool MODULE_USER_CONFIG::setUnom(int16_t v) {
    return commit(moduleAddress, VZ_USER(Unom), v, "MODULE_USER_CONFIG::Unom");
}
bool MODULE_USER_CONFIG::setInom(int16_t v) {
    return commit(moduleAddress, VZ_USER(Inom), v, "MODULE_USER_CONFIG::Inom");
}
bool MODULE_USER_CONFIG::setRampUp(uint16_t v) {
    return commit(moduleAddress, VZ_USER(rampUp), v, "MODULE_USER_CONFIG::rampUp");
}
bool MODULE_USER_CONFIG::setRampDown(uint16_t v) {
    return commit(moduleAddress, VZ_USER(rampDown), v, "MODULE_USER_CONFIG::rampDown");
}
bool MODULE_USER_CONFIG::setErrorAction(uint16_t v) {
    return commit(moduleAddress, VZ_USER(errorAction), v, "MODULE_USER_CONFIG::errorAction");
}
bool MODULE_USER_CONFIG::setMinUSense(int16_t v) {
    return commit(moduleAddress, VZ_USER(minUSense), v, "MODULE_USER_CONFIG::minUSense");
}
bool MODULE_USER_CONFIG::setMaxUSense(int16_t v) {
    return commit(moduleAddress, VZ_USER(maxUSense), v, "MODULE_USER_CONFIG::maxUSense");
}
bool MODULE_USER_CONFIG::setMaxUModule(int16_t v) {
    return commit(moduleAddress, VZ_USER(maxUModule), v, "MODULE_USER_CONFIG::maxUModule");
}
bool MODULE_USER_CONFIG::setMaxCurrent(int16_t v) {
    return commit(moduleAddress, VZ_USER(maxCurrent), v, "MODULE_USER_CONFIG::maxCurrent");
}
bool MODULE_USER_CONFIG::setMaxTemperature(int16_t v) {
    return commit(moduleAddress, VZ_USER(maxTemperature), v, "MODULE_USER_CONFIG::maxTemperature");
}
bool MODULE_USER_CONFIG::setMaxPower(uint16_t v) {
    return commit(moduleAddress, VZ_USER(maxPower), v, "MODULE_USER_CONFIG::maxPower");
}
bool MODULE_USER_CONFIG::setMaxTimeout(uint16_t v) {
    return commit(moduleAddress, VZ_USER(maxTimeout), v, "MODULE_USER_CONFIG::maxTimeout");
}
bool MODULE_USER_CONFIG::setFlags(uint16_t v) {
    return commit(moduleAddress, VZ_USER(flags), v, "MODULE_USER_CONFIG::flags");
}

bool MODULE_USER_CONFIG::setDelayMinUSense(uint16_t v) {
    return commit(moduleAddress, kUserConfigBase, delayOffset(offsetof(SupervisionDelayData, minUSense)),
                  SupervisionDelays.minUSense, v, "MODULE_USER_CONFIG::SupervisionDelays.minUSense");
}
bool MODULE_USER_CONFIG::setDelayMaxUSense(uint16_t v) {
    return commit(moduleAddress, kUserConfigBase, delayOffset(offsetof(SupervisionDelayData, maxUSense)),
                  SupervisionDelays.maxUSense, v, "MODULE_USER_CONFIG::SupervisionDelays.maxUSense");
}
bool MODULE_USER_CONFIG::setDelayMaxUModule(uint16_t v) {
    return commit(moduleAddress, kUserConfigBase, delayOffset(offsetof(SupervisionDelayData, maxUModule)),
                  SupervisionDelays.maxUModule, v, "MODULE_USER_CONFIG::SupervisionDelays.maxUModule");
}
bool MODULE_USER_CONFIG::setDelayMaxCurrent(uint16_t v) {
    return commit(moduleAddress, kUserConfigBase, delayOffset(offsetof(SupervisionDelayData, maxCurrent)),
                  SupervisionDelays.maxCurrent, v, "MODULE_USER_CONFIG::SupervisionDelays.maxCurrent");
}
bool MODULE_USER_CONFIG::setDelayMaxTemperature(uint16_t v) {
    return commit(moduleAddress, kUserConfigBase, delayOffset(offsetof(SupervisionDelayData, maxTemperature)),
                  SupervisionDelays.maxTemperature, v,
                  "MODULE_USER_CONFIG::SupervisionDelays.maxTemperature");
}
bool MODULE_USER_CONFIG::setDelayMaxPower(uint16_t v) {
    return commit(moduleAddress, kUserConfigBase, delayOffset(offsetof(SupervisionDelayData, maxPower)),
                  SupervisionDelays.maxPower, v, "MODULE_USER_CONFIG::SupervisionDelays.maxPower");
}

// The WDX floats overlay integer fields, so they are stored through the bytes.
bool MODULE_USER_CONFIG::setUgain(float v) {
    if (!commandParameter(moduleAddress, kUserConfigBase, kUgainOffset, &v, sizeof v,
                          "MODULE_USER_CONFIG::ugain"))
        return false;
    storeUgain(v);
    return true;
}
bool MODULE_USER_CONFIG::setIgain(float v) {
    if (!commandParameter(moduleAddress, kUserConfigBase, kIgainOffset, &v, sizeof v,
                          "MODULE_USER_CONFIG::igain"))
        return false;
    storeIgain(v);
    return true;
}

bool MODULE_SYSTEM_CONFIG::setSerialNumber(uint32_t v) {
    return commit(moduleAddress, VZ_SYSTEM(serialNumber), v, "MODULE_SYSTEM_CONFIG::serialNumber");
}
bool MODULE_SYSTEM_CONFIG::setFlags(uint32_t v) {
    return commit(moduleAddress, VZ_SYSTEM(flags), v, "MODULE_SYSTEM_CONFIG::flags");
}
bool MODULE_SYSTEM_CONFIG::setExponent(uint16_t pair) {
    if (!commandParameter(moduleAddress, kSystemConfigBase, offsetof(System, voltageExponent), &pair,
                          sizeof pair, "MODULE_SYSTEM_CONFIG::exponent"))
        return false;
    voltageExponent = static_cast<int8_t>(pair & 0xFF);
    currentExponent = static_cast<int8_t>(pair >> 8);
    return true;
}
bool MODULE_SYSTEM_CONFIG::setCalUModGain(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUModGain), v, "MODULE_SYSTEM_CONFIG::calUModGain");
}
bool MODULE_SYSTEM_CONFIG::setCalUModOffset(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUModOffset), v, "MODULE_SYSTEM_CONFIG::calUModOffset");
}
bool MODULE_SYSTEM_CONFIG::setCalIModGain(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calIModGain), v, "MODULE_SYSTEM_CONFIG::calIModGain");
}
bool MODULE_SYSTEM_CONFIG::setCalIModOffset(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calIModOffset), v, "MODULE_SYSTEM_CONFIG::calIModOffset");
}
bool MODULE_SYSTEM_CONFIG::setCalUSenGain(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUSenGain), v, "MODULE_SYSTEM_CONFIG::calUSenGain");
}
bool MODULE_SYSTEM_CONFIG::setCalUSenOffset(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUSenOffset), v, "MODULE_SYSTEM_CONFIG::calUSenOffset");
}
bool MODULE_SYSTEM_CONFIG::setCalUSetGain(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUSetGain), v, "MODULE_SYSTEM_CONFIG::calUSetGain");
}
bool MODULE_SYSTEM_CONFIG::setCalUSetOffset(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUSetOffset), v, "MODULE_SYSTEM_CONFIG::calUSetOffset");
}
bool MODULE_SYSTEM_CONFIG::setCalISetGain(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calISetGain), v, "MODULE_SYSTEM_CONFIG::calISetGain");
}
bool MODULE_SYSTEM_CONFIG::setCalISetOffset(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calISetOffset), v, "MODULE_SYSTEM_CONFIG::calISetOffset");
}
bool MODULE_SYSTEM_CONFIG::setPhase(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(phase), v, "MODULE_SYSTEM_CONFIG::phase");
}
bool MODULE_SYSTEM_CONFIG::setMaxUnom(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(maxUnom), v, "MODULE_SYSTEM_CONFIG::maxUnom");
}
bool MODULE_SYSTEM_CONFIG::setMaxInom(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(maxInom), v, "MODULE_SYSTEM_CONFIG::maxInom");
}
bool MODULE_SYSTEM_CONFIG::setMaxUSense(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(maxUSense), v, "MODULE_SYSTEM_CONFIG::maxUSense");
}
bool MODULE_SYSTEM_CONFIG::setMaxUTerminal(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(maxUTerminal), v, "MODULE_SYSTEM_CONFIG::maxUTerminal");
}
bool MODULE_SYSTEM_CONFIG::setMaxCurrent(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(maxCurrent), v, "MODULE_SYSTEM_CONFIG::maxCurrent");
}
bool MODULE_SYSTEM_CONFIG::setMaxTemperature(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(maxTemperature), v, "MODULE_SYSTEM_CONFIG::maxTemperature");
}
bool MODULE_SYSTEM_CONFIG::setMaxPower(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(maxPower), v, "MODULE_SYSTEM_CONFIG::maxPower");
}
bool MODULE_SYSTEM_CONFIG::setPwmOffset(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(pwmOffset), v, "MODULE_SYSTEM_CONFIG::pwmOffset");
}
bool MODULE_SYSTEM_CONFIG::setCalUIntGain(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUIntGain), v, "MODULE_SYSTEM_CONFIG::calUIntGain");
}
bool MODULE_SYSTEM_CONFIG::setCalUIntOffset(int16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(calUIntOffset), v, "MODULE_SYSTEM_CONFIG::calUIntOffset");
}
bool MODULE_SYSTEM_CONFIG::setPwmMaxOnTime(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(pwmMaxOnTime), v, "MODULE_SYSTEM_CONFIG::pwmMaxOnTime");
}
bool MODULE_SYSTEM_CONFIG::setPwmMinPeriod(uint16_t v) {
    return commit(moduleAddress, VZ_SYSTEM(pwmMinPeriod), v, "MODULE_SYSTEM_CONFIG::pwmMinPeriod");
}

#undef VZ_USER
#undef VZ_SYSTEM

}  // namespace vz
