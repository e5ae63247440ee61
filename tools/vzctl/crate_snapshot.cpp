#include "tools/vzctl/crate_snapshot.h"

#include "app/core/polling.h"
#include "app/core/title.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"

namespace vz::ctl {

void fillSnapshotFromCrate(CrateSnapshot& s) {
    s.serial = usbSerial();
    s.controller = controllerName();
    s.title = titleText("");
    s.controllerType = crateSettings().controllerType;
    s.measuresTemperature = (crateSettings().fCmdLine & kGetBlock1) != 0;
    s.ticks = pollingCycle().tickCount;
    s.channels = channelState().channelTable.channels;
    s.counters.usbReads = linkState().usbInfo.readCalls;
    s.counters.usbWrites = linkState().usbInfo.writeCalls;
    s.counters.moduleReadErrors = linkState().moduleReadErrors;
    s.counters.moduleWriteErrors = linkState().moduleWriteErrors;
}

}  // namespace vz::ctl
