#pragma once
// A trace as a sequence of short steps, so that a window can run it from its event loop: start the
// recording, look at the sample count every 500 ms, read the buffer out a few pieces at a time and
// mark it read. Each step does at most a few exchanges; between steps the caller is free.
#include <cstdint>

#include "trace/trace_buffer.h"

namespace vz {

enum class TraceOutcome {
    complete,  // the buffer was read and marked read out
    stopped,   // the wait was ended by the caller (operator or time limit)
    noAnswer,  // the module did not answer
};

class TraceJob {
  public:
    // Starts nothing yet: the first step reads the module's header.
    TraceJob(int channel, int modeSetting, int samplesToWait);

    // Runs the next step. While waiting() it should be called once due(); otherwise at once.
    void step();
    void cancel();

    bool finished() const { return phase_ == Phase::finished; }
    // Between two looks at the sample count.
    bool waiting() const { return phase_ == Phase::waiting; }
    bool readingOut() const { return phase_ == Phase::reading; }
    bool due() const;
    // Microseconds until the next look at the count (0 when due or not waiting), on clock().
    int64_t untilDueUs() const;

    int channel() const { return channel_; }
    int recorded() const { return count_; }
    int needed() const { return needed_; }
    TraceOutcome outcome() const { return outcome_; }
    // The buffer as read; complete only when outcome() is complete.
    const TraceBuffer& buffer() const { return buffer_; }

    // How long one read-out step may take before it hands back to the caller (real time).
    static constexpr int kReadOutSliceMs = 8;
    static constexpr int kPollPauseMs = 500;

  private:
    enum class Phase { start, waiting, reading, finished };
    void startStep();
    void countStep();
    void readStep();
    void finish(TraceOutcome outcome);

    int channel_;
    uint8_t module_;
    int modeSetting_;
    int samplesToWait_;
    Phase phase_ = Phase::start;
    int count_ = 0;
    int needed_ = 0;
    int64_t nextLookUs_ = 0;
    int readBytes_ = 0;
    TraceBuffer buffer_{};
    TraceOutcome outcome_ = TraceOutcome::stopped;
};

}  // namespace vz
