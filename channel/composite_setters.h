#pragma once
// Setters that change part of a parameter or derive it from another value, built on the single
// parameter setters and acting on the channel the respective dialog shows.
#include <cstdint>
#include <functional>

#include "channel/channel_records.h"

namespace vz {

// Called after a composite setter changed what the output configuration dialog shows, so that it
// re-reads its channel. The GUI installs it; none by default.
void setOutputConfigRefreshHook(std::function<void()> hook);

namespace outputConfig {
// Replaces one 2-bit reaction code in errorAction and writes the whole word. Codes above 3 are
// refused without sending.
bool errorActionField(ErrorActionField field, unsigned code);
bool errorActionMinUSense(unsigned code);
bool errorActionMaxUSense(unsigned code);
bool errorActionMaxUModule(unsigned code);
bool errorActionMaxCurrent(unsigned code);
bool errorActionTemperature(unsigned code);
bool errorActionPower(unsigned code);
bool errorActionTimeout(unsigned code);

// Unom := maxUnom · fraction and Inom := maxInom · fraction, truncated toward zero and kept within
// 16 bits. Stops at the first refusal; refreshes the dialog when anything was stored.
bool nominalFromFraction(double fraction);

// true: the output senses at the load (clears internal sense, user flag bit 3); false: sets it.
bool externalSense(bool atLoad);

// Unom := voltageToRaw(volts).
bool nominalVolts(double volts);
}  // namespace outputConfig

namespace outputCalibration {
// Write the exponent pair with one byte replaced and the other as held.
bool voltageExponent(uint8_t exponent);
bool currentExponent(uint8_t exponent);
}  // namespace outputCalibration

}  // namespace vz
