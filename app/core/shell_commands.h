#pragma once
// Menu commands of the shell that need no window: the "&Switch..." entries and the hidden
// command-3 ids.

namespace vz {

// Runs the switching command of a menu id; false when the id is not one of them.
bool runSwitchMenuCommand(int commandId);

}  // namespace vz
