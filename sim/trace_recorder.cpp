#include "sim/trace_recorder.h"

#include "sim/byte_order.h"

namespace vsim {
namespace {

constexpr size_t kCount = 2;
constexpr size_t kSignalSeries = 16, kSyncSeries = 4, kSeriesStride = 200;

}  // namespace

int64_t TraceRecorder::samplePeriodNs(int mode) {
    switch (mode) {
        case 1:
            return 820800;  // 82.08 ms / 100
        case 2:
            return 51300;  // 5.13 ms / 100
        case 3:
            return 1000000;
        default:
            return 0;
    }
}

int TraceRecorder::samplesOf(int mode) {
    if (mode == 1 || mode == 2) return 100;
    return mode == 3 ? 50 : 0;
}

std::vector<uint8_t> TraceRecorder::read(uint32_t offset, size_t length) const {
    std::vector<uint8_t> out(length, 0);  // past the buffer the page reads as zero
    for (size_t i = 0; i < length; ++i)
        if (offset + i < kSize) out[i] = buffer_[offset + i];
    return out;
}

bool TraceRecorder::write(uint32_t offset, const std::vector<uint8_t>& data, bool& started) {
    started = false;
    if (offset >= kSize || data.size() > kSize - offset) return false;
    for (size_t i = 0; i < data.size(); ++i) buffer_[offset + i] = data[i];
    // The header decides: a mode with a zero count starts a recording, anything else stops one.
    if (offset < 4) {
        const int m = buffer_[0];
        const uint16_t count = getU16(buffer_.data() + kCount);
        recording_ = samplesOf(m) > 0 && count == 0;
        if (recording_) {
            for (size_t i = 4; i < kSize; ++i) buffer_[i] = 0;
            buffer_[1] = 0;
            untilNextNs_ = 0;
            started = true;
        }
    }
    return true;
}

void TraceRecorder::record(const SignalSample& s) {
    if (!recording_) return;
    const size_t i = getU16(buffer_.data() + kCount);
    putU16(&buffer_[kSignalSeries + 2 * i], static_cast<uint16_t>(s.uSense));
    putU16(&buffer_[kSignalSeries + kSeriesStride + 2 * i], static_cast<uint16_t>(s.uModule));
    putU16(&buffer_[kSignalSeries + 2 * kSeriesStride + 2 * i], static_cast<uint16_t>(s.iModule));
    stored();
}

void TraceRecorder::record(const SyncSample& s) {
    if (!recording_) return;
    const size_t i = getU16(buffer_.data() + kCount);
    putU32(&buffer_[kSyncSeries + 4 * i], s.t1);
    putU32(&buffer_[kSyncSeries + kSeriesStride + 4 * i], s.z1);
    putU32(&buffer_[kSyncSeries + 2 * kSeriesStride + 4 * i], static_cast<uint32_t>(s.correction));
    putU32(&buffer_[kSyncSeries + 3 * kSeriesStride + 4 * i], static_cast<uint32_t>(s.phaseDifference));
    stored();
}

void TraceRecorder::stored() {
    const uint16_t count = static_cast<uint16_t>(getU16(buffer_.data() + kCount) + 1);
    putU16(buffer_.data() + kCount, count);
    untilNextNs_ = samplePeriodNs(mode());
    if (count >= samplesOf(mode())) recording_ = false;
}

}  // namespace vsim
