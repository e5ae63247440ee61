#pragma once
// A trace run to its end in one call (the terminal tool): the steps of TraceJob with the pauses slept.
#include <functional>

#include "trace/trace_buffer.h"
#include "trace/trace_job.h"

namespace vz {

// Told the samples recorded so far and the number waited for, before each pause of the wait and once
// when enough were recorded; returning false before a pause ends the wait.
using TraceProgress = std::function<bool(int recorded, int needed)>;

// Starts a recording in `modeSetting` when the module is idle or its last recording was read out,
// waits for `samplesToWait` samples (at most what the recording's mode holds), looking every 500 ms,
// reads the whole buffer and marks it read out. A non-zero status is reported with
// "Special Trace Status 0x%X" and the samples are still returned; a module that does not answer
// with "Trace of U%d stopped: the module did not answer.".
TraceOutcome acquireTrace(int channel, int modeSetting, int samplesToWait, TraceBuffer& buffer,
                          const TraceProgress& progress);

// The reports of a finished trace, for a caller that runs TraceJob itself: the special status of a
// complete trace, or that the module did not answer.
void reportTraceOutcome(const TraceJob& job);

}  // namespace vz
