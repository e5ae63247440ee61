#pragma once
// Physical values in scenario files ("12 V", "500 mA") turned into the raw numbers of a channel.
#include <cstdint>
#include <optional>
#include <string>

#include "sim/record_layout.h"

namespace vsim {

// Raw value for `text` in the given unit with power-of-two exponent e (raw = value / 2^e, rounded
// half away from zero). nullopt with a reason in `error` for a bad text, a wrong unit or a value
// outside the signed 16-bit range.
std::optional<int16_t> physicalToRaw(const std::string& text, Unit unit, int exponent, std::string& error);

// Volts or amperes of a raw value.
double rawToPhysical(int raw, int exponent);
// Raw value of a physical one, rounded half away from zero and saturated to 16 bits.
int16_t saturatingRaw(double value, int exponent);

}  // namespace vsim
