#pragma once
// Ten fresh measurement samples of one channel for the calibration averages, taken where no repaint
// feeds them (the automatic internal-sense calibration steps, and vzctl, which has no list).
#include "dialogs/measurement_averages.h"

namespace vz {

// Waits a second for the output to settle, then reads block 0 of the channel ten times into the
// averages; returns how many reads failed (a failed read feeds nothing).
int measureFreshSamples(int channel, MeasurementAverages& averages);

}  // namespace vz
