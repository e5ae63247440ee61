#pragma once
// What `vzctl serve` knows of its crate at one moment. The thread that polls the crate takes one after
// every tick; HTTP handlers only read the latest, so no request touches the link or waits for it.
#include <array>
#include <cstdint>
#include <string>

#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/link_state.h"

namespace vz::ctl {

struct LinkCounters {
    uint64_t usbReads = 0;   // reads from the bridge
    uint64_t usbWrites = 0;  // writes to the bridge
    uint64_t readRetries = 0;
    uint64_t writeRetries = 0;
    uint64_t moduleReadErrors = 0;  // answers with the module error status
    uint64_t moduleWriteErrors = 0;
    uint64_t givenUp = 0;            // times the crate stopped answering and was given up
    uint64_t reconnectAttempts = 0;  // tries after that, with back-off
};

struct CrateSnapshot {
    std::string serial;      // the crate controller's bridge serial number
    std::string controller;  // its name, as in the title
    std::string title;
    int controllerType = 0;
    bool up = false;  // the last exchange with the crate got an answer
    bool measuresTemperature = false;
    uint64_t ticks = 0;
    std::array<QOR, kChannelCount> channels{};
    // Steady-clock time (µs) of each channel's last good measurement read; -1 never.
    std::array<int64_t, kChannelCount> lastGoodReadUs{};
    LinkCounters counters;
};

// The service's own view of the process-wide crate state; call on the polling thread only.
// `lastGoodReadUs`, `up` and the counters that outlive a reset of the link state come from the caller.
void fillSnapshotFromCrate(CrateSnapshot& snapshot);

}  // namespace vz::ctl
