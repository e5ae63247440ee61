#pragma once
// New gain and offset of one calibrated quantity from a low and a high reference point. A module
// corrects each of its six quantities with a 16-bit gain (32768 is 1.0) and a 16-bit offset in raw
// steps; this finds the pair that makes the module agree with an external instrument at both points.
#include <cstdint>

namespace vz {

// Measurement quantities (sense voltage, terminal voltage, current) correct what the module reads;
// set-point quantities (UNominal, UInternal, INominal) correct what it produces.
enum class CalibrationKind { measurement, setPoint };

struct CalibrationPoint {
    double real = 0;    // what the external instrument showed, volts or amperes
    double module = 0;  // the module's own reading, or the set point it was given
};

struct CalibrationPair {
    uint16_t gain = 0;
    int16_t offset = 0;  // raw steps of 2^exponent
};

// The new pair. Equal module values (or, for a set-point gain, equal real values) keep the part that
// would divide by zero. A negative gain becomes 0; a gain or offset beyond 16 bits is held at the end
// of the range rather than wrapped into a different value. Either way the pair no longer makes the
// module agree with the instrument: *clamped (when given) tells the caller so.
CalibrationPair twoPointCalibration(CalibrationKind kind, CalibrationPoint low, CalibrationPoint high,
                                    CalibrationPair present, int exponent, bool* clamped = nullptr);

}  // namespace vz
