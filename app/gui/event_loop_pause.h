#pragma once
// A pause on the GUI thread that keeps the program alive: the event loop turns while clock() moves
// on, so windows repaint and the polling timer ticks, but no window takes operator input except a
// modal one (a message box, the communication problem dialog), so nothing starts work inside the
// work that pauses.
#include <cstdint>

namespace vz {

// Returns once ms have passed on clock(); with 0, lets the loop turn once.
void pauseKeepingEventLoop(int64_t ms);

}  // namespace vz
