#pragma once
// The polling cycle: every 100 ms the measurement blocks of one present channel, round robin.
#include <cstdint>

#include "base/polling_state.h"

namespace vz {

struct LocalTime {
    int year, month, dayOfWeek, day, hour, minute, second, millisecond;
};

extern int lastPolledChannel;
extern uint32_t tickCount;
extern LocalTime lastTickTime;

// What the list knows of a channel's measurements: nothing yet, the values of the last poll, or
// values from before a poll that failed (stale).
enum class MeasurementState : uint8_t { notRead, read, failed };
MeasurementState measurementState(int channel);

// One tick; the caller repaints the list afterwards.
void pollingTick();
void resetPolling();

}  // namespace vz
