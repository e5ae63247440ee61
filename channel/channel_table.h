#pragma once
// The one table of all channels U0..U126 and the channel the dialogs and commands work on.
#include <array>
#include <cstdint>

#include "channel/channel_classes.h"

namespace vz {

constexpr int kChannelCount = 127;

struct ChannelTable {
    uint32_t foundCount = 0;
    std::array<QOR, kChannelCount> channels;  // index = channel number
};

extern ChannelTable channelTable;
extern int selectedChannel;  // -1 until the module search finds a channel

// True for an index 0..126 whose record has a module.
bool channelPresent(int index);

// Back to the state before the module search: every record absent, nothing selected.
void resetChannelTable();

}  // namespace vz
