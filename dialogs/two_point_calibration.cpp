#include "dialogs/two_point_calibration.h"

#include <cmath>

namespace vz {
namespace {

uint16_t rawGain(double gain, bool& clamped) {
    const double g = std::trunc(gain + 0.5);
    if (!(g >= 0)) {  // negative, or not a number
        clamped = true;
        return 0;
    }
    if (g > 65535.0) {
        clamped = true;
        return 65535;
    }
    return static_cast<uint16_t>(g);
}

int16_t rawOffset(double offset, int exponent, bool& clamped) {
    const double y = std::ldexp(offset, -exponent);
    const double r = y >= 0 ? std::trunc(y + 0.5) : std::trunc(y - 0.5);
    if (std::isnan(r)) {
        clamped = true;
        return 0;
    }
    if (r > 32767.0) {
        clamped = true;
        return 32767;
    }
    if (r < -32768.0) {
        clamped = true;
        return -32768;
    }
    return static_cast<int16_t>(r);
}

}  // namespace

CalibrationPair twoPointCalibration(CalibrationKind kind, CalibrationPoint low, CalibrationPoint high,
                                    CalibrationPair present, int exponent, bool* clamped) {
    bool outside = false;
    const double g = present.gain;
    const double o = std::ldexp(static_cast<double>(present.offset), exponent);
    const double dR = high.real - low.real;
    const double dM = high.module - low.module;
    CalibrationPair next = present;
    if (kind == CalibrationKind::measurement) {
        if (dM != 0) {
            next.gain = rawGain(g * dR / dM, outside);
            next.offset = rawOffset(dR / dM * (low.module + o) - low.real, exponent, outside);
        }
    } else {
        if (dR != 0) next.gain = rawGain(g * dM / dR, outside);
        if (dM != 0)
            next.offset =
                rawOffset((low.real * high.module - high.real * low.module + dR * o) / dM, exponent, outside);
    }
    if (clamped) *clamped = outside;
    return next;
}

}  // namespace vz
