#pragma once
// Switches of the polling cycle: the operator's "&Stop" and the pauses of jobs that need the link to
// themselves stop the ticks; the module firmware update suspends only the channel reads. The switches
// belong to the crate (CrateSettings: pollingStoppedByOperator, pollingEnabled, pollingPauses).

namespace vz {

struct CrateSettings;

// Stops the ticks of the calling thread's crate while it lives. Pauses are counted, so a job that ends
// its own pause neither ends another one nor clears the operator's Stop.
class PollingPause {
  public:
    PollingPause();
    ~PollingPause();
    PollingPause(const PollingPause&) = delete;
    PollingPause& operator=(const PollingPause&) = delete;

  private:
    CrateSettings& settings_;
};

// Whether the ticks are stopped: by the operator or by a pause.
bool pollingStopped();

}  // namespace vz
