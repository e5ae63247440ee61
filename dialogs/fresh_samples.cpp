#include "dialogs/fresh_samples.h"

#include "base/clock.h"
#include "base/debug_log.h"

namespace vz {

int measureFreshSamples(const MeasurementRead& read, MeasurementAverages& averages) {
    clock().sleepMs(1000);
    int failed = 0;
    for (size_t i = 0; i < MeasurementAverages::kSamples; ++i) {
        MODULE_MEASURE_DATA m;
        if (read(m))
            averages.push(m);
        else
            ++failed;
    }
    if (failed) debugLog(kLogWarning, "calibration: %d of 10 measurement reads failed", failed);
    return failed;
}

}  // namespace vz
