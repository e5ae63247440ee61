#pragma once
// The connection sequence as the window runs it: the list area shows the search from the first
// moment, the cursor is busy, and input for the main window is dropped until the list is live.
#include <cstdint>

namespace vz {

class MainWindow;

// False when the program ends (no connection, search aborted, or the window was closed meanwhile).
bool connectShowingProgress(MainWindow& window, uint32_t& flags);

}  // namespace vz
