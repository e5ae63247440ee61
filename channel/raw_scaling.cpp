#include "channel/raw_scaling.h"

#include <cmath>

namespace vz {

double physicalFromRaw(int16_t raw, int exponent) {
    return std::ldexp(static_cast<double>(raw), exponent);
}

int16_t rawFromPhysical(double value, int exponent) {
    // A NaN would pass both range checks and make the integer conversion undefined.
    if (std::isnan(value)) return 0;
    if (value > std::ldexp(32767.0, exponent)) return 32767;
    if (value < std::ldexp(-32768.0, exponent)) return -32768;
    const double y = std::ldexp(value, -exponent);
    return static_cast<int16_t>(std::round(y));  // std::round rounds halves away from zero
}

int decimalsForExponent(int exponent) {
    if (exponent >= 0) return 0;
    // 2^-e is never a power of ten, so the ceiling is never an exact integer boundary.
    return static_cast<int>(std::ceil(-std::log10(std::ldexp(1.0, exponent))));
}

}  // namespace vz
