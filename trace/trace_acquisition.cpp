#include "trace/trace_acquisition.h"

#include "base/clock.h"
#include "base/message_boxes.h"

namespace vz {

void reportTraceOutcome(const TraceJob& job) {
    if (job.outcome() == TraceOutcome::noAnswer)
        printBox("Trace of U%d stopped: the module did not answer.", job.channel());
    else if (job.outcome() == TraceOutcome::complete && job.buffer()[1] != 0)
        printBox("Special Trace Status 0x%X", job.buffer()[1]);
}

TraceOutcome acquireTrace(int channel, int modeSetting, int samplesToWait, TraceBuffer& buffer,
                          const TraceProgress& progress) {
    TraceJob job(channel, modeSetting, samplesToWait);
    bool toldComplete = false;
    while (!job.finished()) {
        if (job.waiting()) {
            if (progress && !progress(job.recorded(), job.needed()))
                job.cancel();
            else
                clock().sleepUs(job.untilDueUs());
        } else if (job.readingOut() && !toldComplete) {
            toldComplete = true;
            if (progress) progress(job.recorded(), job.needed());
        }
        job.step();
    }
    reportTraceOutcome(job);
    if (job.outcome() == TraceOutcome::complete) buffer = job.buffer();
    return job.outcome();
}

}  // namespace vz
