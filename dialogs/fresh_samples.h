#pragma once
// Ten fresh measurement samples for the calibration averages, taken where no repaint feeds them (the
// automatic internal-sense steps, and vzctl, which has no list).
#include <functional>

#include "dialogs/measurement_averages.h"

namespace vz {

// Reads block 0 of the channel into the record; false when the read failed.
using MeasurementRead = std::function<bool(MODULE_MEASURE_DATA&)>;

// Waits a second for the output to settle, then reads ten times into the averages; returns how many
// reads failed (a failed read feeds nothing, and is logged).
int measureFreshSamples(const MeasurementRead& read, MeasurementAverages& averages);

}  // namespace vz
