#include "app/core/fresh_measurements.h"

#include "app/core/polling.h"
#include "base/clock.h"
#include "base/debug_log.h"

namespace vz {

int measureFreshSamples(int channel, MeasurementAverages& averages) {
    clock().sleepMs(1000);
    int failed = 0;
    for (size_t i = 0; i < MeasurementAverages::kSamples; ++i) {
        MODULE_MEASURE_DATA m;
        if (readMeasurementBlock(channel, 0, &m) == 0)
            averages.push(m);
        else
            ++failed;
    }
    if (failed)
        debugLog(kLogWarning, "calibration: %d of 10 measurement reads of channel %d failed", failed,
                 channel);
    return failed;
}

}  // namespace vz
