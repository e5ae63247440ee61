#include "dialogs/measurement_averages.h"

namespace vz {

void MeasurementAverages::push(const MODULE_MEASURE_DATA& m) {
    status_ = m.status;
    uSense_[next_] = m.uSense;
    current_[next_] = m.current;
    uTerminal_[next_] = m.uTerminal;
    next_ = (next_ + 1) % kSamples;
}

int16_t MeasurementAverages::average(const std::array<int16_t, kSamples>& h) {
    int sum = 0;
    for (int16_t v : h) sum += v;
    return static_cast<int16_t>(sum / static_cast<int>(kSamples));  // C++ division truncates toward zero
}

}  // namespace vz
