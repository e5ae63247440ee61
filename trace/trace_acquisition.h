#pragma once
// A trace: the module records a burst of samples in its trace buffer, the host waits until the
// burst is complete, reads it out and marks it read.
#include <functional>

#include "trace/trace_buffer.h"

namespace vz {

enum class TraceOutcome {
    complete,  // the buffer was read and marked read out
    stopped,   // the wait was ended by the caller (operator or time limit)
    noAnswer,  // the module did not answer; reported
};

// Told the samples recorded so far and the number waited for, before each pause of the wait;
// returning false ends the wait.
using TraceProgress = std::function<bool(int recorded, int needed)>;

// Starts a recording in `modeSetting` when the module is idle or its last recording was read out,
// waits for `samplesToWait` samples (at most what the recording's mode holds), looking every 500 ms,
// reads the whole buffer and marks it read out. A non-zero status is reported with
// "Special Trace Status 0x%X" and the samples are still returned.
TraceOutcome acquireTrace(int channel, int modeSetting, int samplesToWait, TraceBuffer& buffer,
                          const TraceProgress& progress);

// True while acquireTrace waits: the polling tick leaves the link alone meanwhile.
bool traceWaiting();

}  // namespace vz
