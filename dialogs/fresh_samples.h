#pragma once
// Ten fresh measurement samples for the calibration averages, taken where no repaint feeds them (the
// automatic internal-sense steps, and vzctl, which has no list).
#include <cstdint>
#include <functional>

#include "dialogs/measurement_averages.h"

namespace vz {

// Reads block 0 of the channel into the record; false when the read failed.
using MeasurementRead = std::function<bool(MODULE_MEASURE_DATA&)>;
// Lets a number of milliseconds pass on clock(); a window passes one that keeps its event loop turning.
using MeasurementPause = std::function<void(int64_t ms)>;

// Status bits of the measurement record while the output still moves towards its set point.
inline constexpr uint16_t kStatusRampBits = 0x0006;  // voltage rising, voltage falling
// A ramp that has not ended after this long is a fault, not a slow ramp (48 V at 1 V/s is 48 s).
inline constexpr int64_t kRampSettleLimitMs = 60'000;

enum class FreshSamples { taken, rampDidNotEnd, readFailed };
const char* freshSamplesText(FreshSamples result);

// Waits a second for the new set point to take effect, then until the module reports that its ramp
// has ended (at most settleLimitMs), then reads ten good samples into the averages. Anything but
// `taken` leaves averages that describe no settled output: the caller must not calibrate from them.
// The waits go through pause (clock().sleepMs when empty).
FreshSamples measureFreshSamples(const MeasurementRead& read, MeasurementAverages& averages,
                                 int64_t settleLimitMs = kRampSettleLimitMs,
                                 const MeasurementPause& pause = {});

}  // namespace vz
