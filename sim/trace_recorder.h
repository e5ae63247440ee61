#pragma once
// The trace buffer of an output module at 0xF000: 804 bytes, a header (mode, status, sample count)
// and the samples. Writing a header with mode 1, 2 or 3 and count 0 starts a recording; the module
// then takes one sample each sample period until the mode's series are full. The host marks a
// recording read by writing 0xFFFF to the count.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vsim {

// One sample of modes 1 and 2: the raw measurements as the measurement record reports them.
struct SignalSample {
    int16_t uSense = 0, uModule = 0, iModule = 0;
};

// One sample of mode 3: the module's synchronisation to the crate's sync pulse.
struct SyncSample {
    uint32_t t1 = 0;         // module timer captured at the sync pulse
    uint32_t z1 = 0;         // start of the module's own period, corrected
    int32_t correction = 0;  // correction applied to that period
    int32_t phaseDifference = 0;
};

class TraceRecorder {
  public:
    static constexpr uint32_t kBase = 0xF000;
    static constexpr uint32_t kSize = 804;

    std::vector<uint8_t> read(uint32_t offset, size_t length) const;
    // Stores bytes within the buffer; false when they reach past it. Returns through `started`
    // whether the write started a recording (the caller takes the first sample at once).
    bool write(uint32_t offset, const std::vector<uint8_t>& data, bool& started);

    bool recording() const { return recording_; }
    int mode() const { return buffer_[0]; }
    // Time until the next sample is due, while recording.
    int64_t nsToNextSample() const { return untilNextNs_; }
    void advance(int64_t ns) { untilNextNs_ -= ns; }

    void record(const SignalSample& s);
    void record(const SyncSample& s);

    // Sample periods: mode 1 takes 100 samples in 82.08 ms, mode 2 in 5.13 ms, mode 3 one a sync
    // period of 1 ms.
    static int64_t samplePeriodNs(int mode);
    static int samplesOf(int mode);

  private:
    void stored();  // after a sample: count up, next one due, done when full

    std::array<uint8_t, kSize> buffer_{};
    bool recording_ = false;
    int64_t untilNextNs_ = 0;
};

}  // namespace vsim
