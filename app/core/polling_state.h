#pragma once
// Switches of the polling cycle: "&Stop" and the controller update stop the ticks; the module
// firmware update suspends only the channel reads.

namespace vz {

extern bool pollingStopped;
extern bool pollingEnabled;

}  // namespace vz
