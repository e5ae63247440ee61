#include "channel/bound_setters.h"

#include "base/debug_log.h"

namespace vz {

QOR* outputConfigChannel = nullptr;
QOR* outputCalibrationChannel = nullptr;

namespace {

template <typename Facet, typename T>
bool onChannel(QOR* channel, bool (Facet::*setter)(T), T value, const char* what) {
    if (channel == nullptr) {
        debugLog(kLogError, "%s: the dialog shows no channel, nothing sent", what);
        return false;
    }
    return (channel->*setter)(value);
}

}  // namespace

#define VZ_BOUND(set, dialogChannel, name, Facet, method, T)                     \
    bool set::name(T value) {                                                    \
        return onChannel(dialogChannel, &Facet::method, value, #set "::" #name); \
    }

VZ_BOUND(outputConfig, outputConfigChannel, idGroup, MODULE_USER_CONFIG, setIdGroup, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, Unom, MODULE_USER_CONFIG, setUnom, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, ugain, MODULE_USER_CONFIG, setUgain, float)
VZ_BOUND(outputConfig, outputConfigChannel, Inom, MODULE_USER_CONFIG, setInom, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, igain, MODULE_USER_CONFIG, setIgain, float)
VZ_BOUND(outputConfig, outputConfigChannel, rampUp, MODULE_USER_CONFIG, setRampUp, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, rampDown, MODULE_USER_CONFIG, setRampDown, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, errorAction, MODULE_USER_CONFIG, setErrorAction, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, minUSense, MODULE_USER_CONFIG, setMinUSense, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, maxUSense, MODULE_USER_CONFIG, setMaxUSense, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, maxUModule, MODULE_USER_CONFIG, setMaxUModule, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, maxCurrent, MODULE_USER_CONFIG, setMaxCurrent, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, maxTemperature, MODULE_USER_CONFIG, setMaxTemperature, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, maxPower, MODULE_USER_CONFIG, setMaxPower, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, maxTimeout, MODULE_USER_CONFIG, setMaxTimeout, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, flags, MODULE_USER_CONFIG, setFlags, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, delayMinUSense, MODULE_USER_CONFIG, setDelayMinUSense, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, delayMaxUSense, MODULE_USER_CONFIG, setDelayMaxUSense, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, delayMaxUModule, MODULE_USER_CONFIG, setDelayMaxUModule, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, delayMaxCurrent, MODULE_USER_CONFIG, setDelayMaxCurrent, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, delayMaxTemperature, MODULE_USER_CONFIG, setDelayMaxTemperature,
         uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, delayMaxPower, MODULE_USER_CONFIG, setDelayMaxPower, uint16_t)
VZ_BOUND(outputConfig, outputConfigChannel, systemMaxUnom, MODULE_SYSTEM_CONFIG, setMaxUnom, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, systemMaxInom, MODULE_SYSTEM_CONFIG, setMaxInom, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, systemMaxUSense, MODULE_SYSTEM_CONFIG, setMaxUSense, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, systemMaxUTerminal, MODULE_SYSTEM_CONFIG, setMaxUTerminal,
         int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, systemMaxCurrent, MODULE_SYSTEM_CONFIG, setMaxCurrent, int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, systemMaxTemperature, MODULE_SYSTEM_CONFIG, setMaxTemperature,
         int16_t)
VZ_BOUND(outputConfig, outputConfigChannel, systemMaxPower, MODULE_SYSTEM_CONFIG, setMaxPower, uint16_t)

VZ_BOUND(outputCalibration, outputCalibrationChannel, serialNumber, MODULE_SYSTEM_CONFIG, setSerialNumber,
         uint32_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, flags, MODULE_SYSTEM_CONFIG, setFlags, uint32_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, exponent, MODULE_SYSTEM_CONFIG, setExponent, uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUModGain, MODULE_SYSTEM_CONFIG, setCalUModGain,
         uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUModOffset, MODULE_SYSTEM_CONFIG, setCalUModOffset,
         int16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calIModGain, MODULE_SYSTEM_CONFIG, setCalIModGain,
         uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calIModOffset, MODULE_SYSTEM_CONFIG, setCalIModOffset,
         int16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUSenGain, MODULE_SYSTEM_CONFIG, setCalUSenGain,
         uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUSenOffset, MODULE_SYSTEM_CONFIG, setCalUSenOffset,
         int16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUSetGain, MODULE_SYSTEM_CONFIG, setCalUSetGain,
         uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUSetOffset, MODULE_SYSTEM_CONFIG, setCalUSetOffset,
         int16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calISetGain, MODULE_SYSTEM_CONFIG, setCalISetGain,
         uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calISetOffset, MODULE_SYSTEM_CONFIG, setCalISetOffset,
         int16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, phase, MODULE_SYSTEM_CONFIG, setPhase, uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, pwmOffset, MODULE_SYSTEM_CONFIG, setPwmOffset, int16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUIntGain, MODULE_SYSTEM_CONFIG, setCalUIntGain,
         uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, calUIntOffset, MODULE_SYSTEM_CONFIG, setCalUIntOffset,
         int16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, pwmMaxOnTime, MODULE_SYSTEM_CONFIG, setPwmMaxOnTime,
         uint16_t)
VZ_BOUND(outputCalibration, outputCalibrationChannel, pwmMinPeriod, MODULE_SYSTEM_CONFIG, setPwmMinPeriod,
         uint16_t)

#undef VZ_BOUND

}  // namespace vz
