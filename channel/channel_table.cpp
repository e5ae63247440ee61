#include "channel/channel_table.h"

#include "base/crate_binding.h"

namespace vz {

ChannelState& channelState() {
    ChannelState* channels = boundCrate().channels;
    if (!channels) noCrateBound("channel table");
    return *channels;
}

bool channelPresent(int index) {
    return index >= 0 && index < kChannelCount &&
           channelState().channelTable.channels[static_cast<size_t>(index)].present();
}

void resetChannelTable() {
    ChannelState& state = channelState();
    state.channelTable.foundCount = 0;
    for (QOR& channel : state.channelTable.channels) channel = QOR{};
    state.selectedChannel = -1;
}

}  // namespace vz
