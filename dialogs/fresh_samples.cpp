#include "dialogs/fresh_samples.h"

#include "base/clock.h"
#include "base/debug_log.h"

namespace vz {

namespace {
constexpr int64_t kPollMs = 100;
// A few lost answers on a busy line are retried; a module that stops answering is not.
constexpr int kReadAttempts = 2 * static_cast<int>(MeasurementAverages::kSamples);
}  // namespace

const char* freshSamplesText(FreshSamples result) {
    switch (result) {
        case FreshSamples::taken:
            return "ten samples taken";
        case FreshSamples::rampDidNotEnd:
            return "the output did not reach its set point (the module still reports a ramp)";
        case FreshSamples::readFailed:
            return "the module did not answer the measurement reads";
    }
    return "";
}

FreshSamples measureFreshSamples(const MeasurementRead& read, MeasurementAverages& averages,
                                 int64_t settleLimitMs, const MeasurementPause& pause) {
    const auto wait = [&pause](int64_t ms) { pause ? pause(ms) : clock().sleepMs(ms); };
    wait(1000);
    // A sample taken while the output still ramps belongs to no set point: wait for the ramp to end.
    const int64_t start = clock().nowMs();
    for (;;) {
        MODULE_MEASURE_DATA m;
        if (read(m) && !(m.status & kStatusRampBits)) break;
        if (clock().nowMs() - start >= settleLimitMs) {
            debugLog(kLogError, "calibration: no settled output after %lld ms, no samples taken",
                     static_cast<long long>(clock().nowMs() - start));
            return FreshSamples::rampDidNotEnd;
        }
        wait(kPollMs);
    }
    size_t taken = 0;
    for (int attempt = 0; attempt < kReadAttempts && taken < MeasurementAverages::kSamples; ++attempt) {
        MODULE_MEASURE_DATA m;
        if (read(m)) {
            averages.push(m);
            ++taken;
        }
        wait(0);  // a window's loop turns between two reads
    }
    if (taken < MeasurementAverages::kSamples) {
        debugLog(kLogError, "calibration: only %zu of 10 measurement reads answered", taken);
        return FreshSamples::readFailed;
    }
    return FreshSamples::taken;
}

}  // namespace vz
