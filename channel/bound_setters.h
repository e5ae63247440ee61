#pragma once
// Setters bound to the channel a dialog shows: plain one-argument functions, so the dialog field
// helpers can take them as accept callbacks. Each returns false, sending nothing, while its dialog
// shows no channel.
#include <cstdint>

#include "channel/channel_classes.h"

namespace vz {

// The channel of the output configuration dialog and of the output calibration dialog (and its
// calibration wizard); nullptr while the dialog is closed.
extern QOR* outputConfigChannel;
extern QOR* outputCalibrationChannel;

namespace outputConfig {
bool idGroup(uint16_t value);
bool Unom(int16_t value);
bool ugain(float value);
bool Inom(int16_t value);
bool igain(float value);
bool rampUp(uint16_t value);
bool rampDown(uint16_t value);
bool errorAction(uint16_t value);
bool minUSense(int16_t value);
bool maxUSense(int16_t value);
bool maxUModule(int16_t value);
bool maxCurrent(int16_t value);
bool maxTemperature(int16_t value);
bool maxPower(uint16_t value);
bool maxTimeout(uint16_t value);
bool flags(uint16_t value);
bool delayMinUSense(uint16_t value);
bool delayMaxUSense(uint16_t value);
bool delayMaxUModule(uint16_t value);
bool delayMaxCurrent(uint16_t value);
bool delayMaxTemperature(uint16_t value);
bool delayMaxPower(uint16_t value);
// The hardware maxima of the system configuration, shown in the expert view.
bool systemMaxUnom(int16_t value);
bool systemMaxInom(int16_t value);
bool systemMaxUSense(int16_t value);
bool systemMaxUTerminal(int16_t value);
bool systemMaxCurrent(int16_t value);
bool systemMaxTemperature(int16_t value);
bool systemMaxPower(uint16_t value);
}  // namespace outputConfig

namespace outputCalibration {
bool serialNumber(uint32_t value);
bool flags(uint32_t value);
bool exponent(uint16_t pair);
bool calUModGain(uint16_t value);
bool calUModOffset(int16_t value);
bool calIModGain(uint16_t value);
bool calIModOffset(int16_t value);
bool calUSenGain(uint16_t value);
bool calUSenOffset(int16_t value);
bool calUSetGain(uint16_t value);
bool calUSetOffset(int16_t value);
bool calISetGain(uint16_t value);
bool calISetOffset(int16_t value);
bool phase(uint16_t value);
bool pwmOffset(int16_t value);
bool calUIntGain(uint16_t value);
bool calUIntOffset(int16_t value);
bool pwmMaxOnTime(uint16_t value);
bool pwmMinPeriod(uint16_t value);
}  // namespace outputCalibration

}  // namespace vz
