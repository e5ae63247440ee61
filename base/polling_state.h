#pragma once
// Switches of the polling cycle: "&Stop" and the controller update stop the ticks; the module
// firmware update suspends only the channel reads.

#include <atomic>

namespace vz {

// Set by the GUI thread and the module updater's thread, read by the polling tick.
extern std::atomic<bool> pollingStopped;
extern std::atomic<bool> pollingEnabled;

}  // namespace vz
