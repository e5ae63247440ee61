#pragma once
// The last ten raw readings of sense voltage, current and terminal voltage of one channel, and their
// averages: a calibration point taken from a single sample would carry the sample's noise.
#include <array>
#include <cstddef>
#include <cstdint>

#include "channel/channel_records.h"

namespace vz {

class MeasurementAverages {
  public:
    static constexpr size_t kSamples = 10;

    // The oldest sample drops out. The histories start at zero.
    void push(const MODULE_MEASURE_DATA& m);
    // Sum of the ten samples divided by ten, truncated toward zero.
    int16_t uSense() const { return average(uSense_); }
    int16_t current() const { return average(current_); }
    int16_t uTerminal() const { return average(uTerminal_); }
    uint16_t status() const { return status_; }

  private:
    static int16_t average(const std::array<int16_t, kSamples>& h);

    std::array<int16_t, kSamples> uSense_{}, current_{}, uTerminal_{};
    size_t next_ = 0;
    uint16_t status_ = 0;
};

}  // namespace vz
