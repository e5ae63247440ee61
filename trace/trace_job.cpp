#include "trace/trace_job.h"

#include <algorithm>
#include <chrono>

#include "base/clock.h"
#include "link/module_access.h"

namespace vz {
namespace {

constexpr int kPiece = 8;  // what one read exchange carries

}  // namespace

TraceJob::TraceJob(int channel, int modeSetting, int samplesToWait)
    : channel_(channel),
      module_(moduleAddressByte(channel)),
      modeSetting_(modeSetting),
      samplesToWait_(samplesToWait),
      needed_(samplesToWait) {}

bool TraceJob::due() const {
    return phase_ != Phase::waiting || clock().nowUs() >= nextLookUs_;
}

int64_t TraceJob::untilDueUs() const {
    return phase_ == Phase::waiting ? std::max<int64_t>(0, nextLookUs_ - clock().nowUs()) : 0;
}

void TraceJob::step() {
    switch (phase_) {
        case Phase::start:
            startStep();
            break;
        case Phase::waiting:
            countStep();
            break;
        case Phase::reading:
            readStep();
            break;
        case Phase::finished:
            break;
    }
}

void TraceJob::cancel() {
    if (phase_ != Phase::finished) finish(TraceOutcome::stopped);
}

void TraceJob::finish(TraceOutcome outcome) {
    outcome_ = outcome;
    phase_ = Phase::finished;
}

void TraceJob::startStep() {
    uint8_t bytes[kTraceHeaderSize];
    if (moduleRead(module_, 0, kTraceBufferAddress, bytes, kTraceHeaderSize) != kTraceHeaderSize)
        return finish(TraceOutcome::noAnswer);
    TraceHeader header = traceHeader(bytes);
    const auto start = traceStartHeader(modeSetting_);
    auto startRecording = [&] {
        if (moduleWrite(module_, 0, kTraceBufferAddress, start.data(), kTraceHeaderSize) != kTraceHeaderSize)
            return false;
        header = traceHeader(start.data());
        return true;
    };
    if (header.mode == 0 && !startRecording()) return finish(TraceOutcome::noAnswer);
    if (validTraceMode(header.mode) && header.count == kTraceReadOut && !startRecording())
        return finish(TraceOutcome::noAnswer);

    // A recording holds no more samples than its mode records: waiting for more would never end.
    const int holds = traceSamples(header.mode);
    needed_ = holds > 0 ? std::min(samplesToWait_, holds) : samplesToWait_;
    count_ = header.count == kTraceReadOut ? 0 : header.count;
    if (count_ >= needed_) {
        phase_ = Phase::reading;
    } else {
        phase_ = Phase::waiting;
        nextLookUs_ = clock().nowUs() + kPollPauseMs * 1000;
    }
}

void TraceJob::countStep() {
    uint8_t c[2];
    if (moduleRead(module_, 0, kTraceBufferAddress + 2, c, 2) != 2) return finish(TraceOutcome::noAnswer);
    count_ = c[0] | (c[1] << 8);
    if (count_ == kTraceReadOut) count_ = 0;  // somebody else read it out: wait for a new one
    if (count_ >= needed_) {
        phase_ = Phase::reading;
        return;
    }
    nextLookUs_ = clock().nowUs() + kPollPauseMs * 1000;
}

void TraceJob::readStep() {
    // A few pieces at a time: the whole buffer is a hundred exchanges, far too long to hold a window.
    const auto sliceEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadOutSliceMs);
    do {
        const int n = std::min(kPiece, kTraceBufferSize - readBytes_);
        if (moduleRead(module_, 0, kTraceBufferAddress + static_cast<uint32_t>(readBytes_),
                       buffer_.data() + readBytes_, n) != n)
            return finish(TraceOutcome::noAnswer);
        readBytes_ += n;
    } while (readBytes_ < kTraceBufferSize && std::chrono::steady_clock::now() < sliceEnd);
    if (readBytes_ < kTraceBufferSize) return;
    const uint8_t readOut[2] = {0xFF, 0xFF};
    moduleWrite(module_, 0, kTraceBufferAddress + 2, readOut, 2);
    finish(TraceOutcome::complete);
}

}  // namespace vz
