#include "app/core/channel_selection.h"

#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/switch_commands.h"

namespace vz {

bool selectChannel(int channel, const SelectionChanged& changed) {
    if (channel < 0 || channel >= kChannelCount || !channelPresent(channel)) return false;
    channelState().selectedChannel = channel;
    if (changed) changed();
    return true;
}

namespace {

// A row of the list: a slave module is listed only in the expert view, and the arrow keys must not
// select a channel the operator cannot see (the title would name it, the highlight stay elsewhere).
bool listed(int channel) {
    if (!channelPresent(channel)) return false;
    const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(channel)];
    return (crateSettings().fCmdLine & kExpertView) || !(q.system().flags & kIsSlave);
}

}  // namespace

int stepChannel(int direction, const SelectionChanged& changed) {
    direction = direction < 0 ? -1 : 1;
    int channel = channelState().selectedChannel;
    for (int i = 0; i < 128; ++i) {
        channel += direction;
        if (channel > 126) channel = 0;
        if (channel < 0) channel = 126;
        if (listed(channel)) break;
    }
    if (!listed(channel)) return channelState().selectedChannel;  // nothing listed: the selection stays
    selectChannel(channel, changed);
    return channel;
}

bool toggleChannel(int channel) {
    if (!channelPresent(channel)) return false;
    const bool on = channelState().channelTable.channels[channel].status & 1;
    sendSwitchCommand(moduleAddressByte(channel), on ? kSwitchOff : kSwitchOn);
    return true;
}

}  // namespace vz
