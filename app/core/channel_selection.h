#pragma once
// Selecting and toggling channels from keys, clicks and the menu.
#include <functional>

namespace vz {

bool selectChannel(int channel);
// Direction 0 and above 1 mean +1, below -1 means -1; wraps over 0..126. Returns the channel reached.
int stepChannel(int direction);
// Sends off to a present channel that is on, on otherwise; false for an absent channel.
bool toggleChannel(int channel);

// Told after the selection changed, so open channel dialogs re-read the channel.
extern std::function<void()> onSelectionChanged;

}  // namespace vz
