#pragma once
// The polling cycle: every 100 ms the measurement blocks of one present channel, round robin.
#include <array>
#include <cstdint>

#include "base/polling_state.h"
#include "channel/channel_table.h"

namespace vz {

struct LocalTime {
    int year, month, dayOfWeek, day, hour, minute, second, millisecond;
};

// What the list knows of a channel's measurements: nothing yet, the values of the last poll, or
// values from before a poll that failed (stale).
enum class MeasurementState : uint8_t { notRead, read, failed };

// One crate's polling cycle.
struct PollingCycle {
    int lastPolledChannel = -1;
    uint32_t tickCount = 0;
    LocalTime lastTickTime{};
    bool inTick = false;
    std::array<MeasurementState, kChannelCount> measurementStates{};
};

// The polling cycle of the crate bound to the calling thread (base/crate_binding.h).
PollingCycle& pollingCycle();
MeasurementState measurementState(int channel);

// One tick; the caller repaints the list afterwards.
void pollingTick();
void resetPolling();

}  // namespace vz
