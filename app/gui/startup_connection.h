#pragma once
// The connection sequence as the window runs it: the list area shows the search from the first
// moment, the cursor is busy, and input for the main window is dropped until the list is live.
#include <functional>

#include "app/core/connection.h"

namespace vz {

class MainWindow;

// Runs connect (the connection sequence, told where to report its progress) for the window. False
// when the program ends (no connection, search aborted, or the window was closed meanwhile).
bool connectShowingProgress(MainWindow& window, bool expertView,
                            const std::function<bool(const ConnectionProgressFn&)>& connect);

}  // namespace vz
