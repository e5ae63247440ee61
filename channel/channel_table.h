#pragma once
// The table of all channels U0..U126 and the channel the dialogs and commands work on.
#include <array>
#include <bitset>
#include <cstdint>

#include "channel/channel_classes.h"

namespace vz {

constexpr int kChannelCount = 127;

struct ChannelTable {
    uint32_t foundCount = 0;
    std::array<QOR, kChannelCount> channels;  // index = channel number
};

// One crate's channels: the table, the channel the dialogs and commands work on, and the modules whose
// records a write of unknown outcome left uncertain (channel/parameter_access.h).
struct ChannelState {
    ChannelTable channelTable;
    int selectedChannel = -1;  // -1 until the module search finds a channel
    std::bitset<kChannelCount> uncertainRecords;
};

// The channels of the crate bound to the calling thread (base/crate_binding.h).
ChannelState& channelState();

// True for an index 0..126 whose record has a module.
bool channelPresent(int index);

// Back to the state before the module search: every record absent, nothing selected.
void resetChannelTable();

}  // namespace vz
