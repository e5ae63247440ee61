#pragma once
// Switches of the polling cycle: the operator's "&Stop" and the pauses of jobs that need the link to
// themselves stop the ticks; the module firmware update suspends only the channel reads.

#include <atomic>

namespace vz {

// "&Stop" / "&Start" of the main window: only the operator sets and clears it.
extern std::atomic<bool> pollingStoppedByOperator;
// Set by the module updater's thread, read by the polling tick.
extern std::atomic<bool> pollingEnabled;

// Stops the ticks while it lives. Pauses are counted, so a job that ends its own pause neither ends
// another one nor clears the operator's Stop.
class PollingPause {
  public:
    PollingPause();
    ~PollingPause();
    PollingPause(const PollingPause&) = delete;
    PollingPause& operator=(const PollingPause&) = delete;
};

// Whether the ticks are stopped: by the operator or by a pause.
bool pollingStopped();

}  // namespace vz
