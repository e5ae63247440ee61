#include "channel/channel_table.h"

namespace vz {

ChannelTable channelTable;
int selectedChannel = -1;

bool channelPresent(int index) {
    return index >= 0 && index < kChannelCount && channelTable.channels[static_cast<size_t>(index)].present();
}

void resetChannelTable() {
    channelTable.foundCount = 0;
    for (QOR& channel : channelTable.channels) channel = QOR{};
    selectedChannel = -1;
}

}  // namespace vz
