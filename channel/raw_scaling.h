#pragma once
// Raw 16-bit module values and physical units: physical = raw · 2^exponent, with a signed 8-bit
// exponent per channel for voltages and one for currents.
#include <cstdint>

namespace vz {

// Exact: a power-of-two scale.
double physicalFromRaw(int16_t raw, int exponent);

// Saturates at -32768 and 32767 and rounds half away from zero; NaN gives 0.
int16_t rawFromPhysical(double value, int exponent);

// Decimals needed to show one raw step: 0 for exponent >= 0, else ceil(-log10(2^exponent)).
int decimalsForExponent(int exponent);

}  // namespace vz
