#include "trace/trace_acquisition.h"

#include <algorithm>

#include "base/clock.h"
#include "base/message_boxes.h"
#include "link/module_access.h"

namespace vz {
namespace {

bool waiting = false;

struct WaitingFlag {
    WaitingFlag() { waiting = true; }
    ~WaitingFlag() { waiting = false; }
    WaitingFlag(const WaitingFlag&) = delete;
    WaitingFlag& operator=(const WaitingFlag&) = delete;
};

constexpr int kPollPauseMs = 500;

TraceOutcome noAnswer(int channel) {
    printBox("Trace of U%d stopped: the module did not answer.", channel);
    return TraceOutcome::noAnswer;
}

}  // namespace

bool traceWaiting() {
    return waiting;
}

TraceOutcome acquireTrace(int channel, int modeSetting, int samplesToWait, TraceBuffer& buffer,
                          const TraceProgress& progress) {
    const uint8_t module = moduleAddressByte(channel);
    uint8_t bytes[kTraceHeaderSize];
    if (moduleRead(module, 0, kTraceBufferAddress, bytes, kTraceHeaderSize) != kTraceHeaderSize)
        return noAnswer(channel);
    TraceHeader header = traceHeader(bytes);
    const auto start = traceStartHeader(modeSetting);
    auto startRecording = [&] {
        if (moduleWrite(module, 0, kTraceBufferAddress, start.data(), kTraceHeaderSize) != kTraceHeaderSize)
            return false;
        header = traceHeader(start.data());
        return true;
    };
    if (header.mode == 0 && !startRecording()) return noAnswer(channel);
    if (validTraceMode(header.mode) && header.count == kTraceReadOut && !startRecording())
        return noAnswer(channel);

    // A recording holds no more samples than its mode records: waiting for more would never end.
    const int holds = traceSamples(header.mode);
    const int needed = holds > 0 ? std::min(samplesToWait, holds) : samplesToWait;
    int count = header.count == kTraceReadOut ? 0 : header.count;
    {
        const WaitingFlag flag;
        while (count < needed) {
            if (progress && !progress(count, needed)) return TraceOutcome::stopped;
            clock().sleepMs(kPollPauseMs);
            uint8_t c[2];
            if (moduleRead(module, 0, kTraceBufferAddress + 2, c, 2) != 2) return noAnswer(channel);
            count = c[0] | (c[1] << 8);
            if (count == kTraceReadOut) count = 0;  // somebody else read it out: wait for a new one
        }
        if (progress) progress(count, needed);
    }

    TraceBuffer read{};
    if (moduleRead(module, 0, kTraceBufferAddress, read.data(), kTraceBufferSize) != kTraceBufferSize)
        return noAnswer(channel);
    buffer = read;
    if (buffer[1] != 0) printBox("Special Trace Status 0x%X", buffer[1]);
    const uint8_t readOut[2] = {0xFF, 0xFF};
    moduleWrite(module, 0, kTraceBufferAddress + 2, readOut, 2);
    return TraceOutcome::complete;
}

}  // namespace vz
