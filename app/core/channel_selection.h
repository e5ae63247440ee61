#pragma once
// Selecting and toggling channels from keys, clicks and the menu.
#include <functional>

namespace vz {

// Told after the selection changed, so that open channel dialogs re-read the channel; the caller
// passes what its owner wants done (nothing when empty).
using SelectionChanged = std::function<void()>;

bool selectChannel(int channel, const SelectionChanged& changed = {});
// Direction 0 and above 1 mean +1, below -1 means -1; wraps over 0..126. Returns the channel reached.
int stepChannel(int direction, const SelectionChanged& changed = {});
// Sends off to a present channel that is on, on otherwise; false for an absent channel.
bool toggleChannel(int channel);

}  // namespace vz
