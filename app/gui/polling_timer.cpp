#include "app/gui/polling_timer.h"

#include "app/core/polling.h"
#include "app/gui/channel_list_view.h"

namespace vz {

PollingTimer::PollingTimer(ChannelListView* list, std::function<bool()> linkBusy)
    : list_(list), linkBusy_(std::move(linkBusy)) {
    connect(&timer_, &QTimer::timeout, this, &PollingTimer::tick);
}

void PollingTimer::tick() {
    if (linkBusy_ && linkBusy_()) return;
    pollingTick();
    list_->refresh();
}

}  // namespace vz
