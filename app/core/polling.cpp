#include "app/core/polling.h"

#include <array>
#include <ctime>

#include "base/clock.h"
#include "base/crate_binding.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/measurement_block.h"
#include "channel/module_memory_map.h"
#include "channel/parameter_access.h"
#include "channel/switch_commands.h"
#include "link/module_access.h"

namespace vz {

PollingCycle& pollingCycle() {
    PollingCycle* polling = boundCrate().polling;
    if (!polling) noCrateBound("polling cycle");
    return *polling;
}

namespace {

LocalTime localTimeNow() {
    const int64_t us = clock().localWallUs();
    const std::time_t seconds = static_cast<std::time_t>(us / 1'000'000);
    std::tm t{};
    gmtime_r(&seconds, &t);  // the clock already applied the time zone
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_wday, t.tm_mday,
            t.tm_hour,        t.tm_min,     t.tm_sec,  static_cast<int>((us / 1000) % 1000)};
}

void pollChannel(int channel) {
    const uint32_t flags = crateSettings().fCmdLine;
    QOR& q = channelState().channelTable.channels[channel];
    auto* words = reinterpret_cast<uint8_t*>(static_cast<MODULE_MEASURE_DATA*>(&q));
    pollingCycle().measurementStates[static_cast<std::size_t>(channel)] =
        readMeasurementBlock(channel, 0, words) == 0 ? MeasurementState::read : MeasurementState::failed;
    if (flags & kGetBlock1) readMeasurementBlock(channel, 1, words + 8);
    if (flags & kGetBlock2) readMeasurementBlock(channel, 2, words + 16);
    if (flags & kGetBlock3) readMeasurementBlock(channel, 3, words + 24);
    // A write whose outcome is unknown left the records uncertain: read them again until that works.
    if (recordsUncertain(q.moduleAddress) && q.configurable() && q.user().readFromModule() == 0 &&
        q.system().readFromModule() == 0)
        clearRecordsUncertain(q.moduleAddress);
    if (!(flags & kUseCan) && crateSettings().typeChannelLimit == 12) {
        uint8_t cache[4];
        if (moduleReadWords(kControllerAddress, cacheWordAddress(kCacheExtraWordsWord, channel), cache, 4) ==
            4) {
            q.cacheWordLow = static_cast<uint32_t>(cache[0] | (cache[1] << 8));
            q.cacheWordHigh = static_cast<uint32_t>(cache[2] | (cache[3] << 8));
        }
    }
}

}  // namespace

MeasurementState measurementState(int channel) {
    if (channel < 0 || channel >= kChannelCount) return MeasurementState::notRead;
    return pollingCycle().measurementStates[static_cast<std::size_t>(channel)];
}

void pollingTick() {
    CrateSettings& settings = crateSettings();
    PollingCycle& cycle = pollingCycle();
    if (pollingStopped() || cycle.inTick) return;
    cycle.inTick = true;
    if (settings.pollingEnabled) {
        for (int i = 0; i < kChannelCount; ++i) {
            cycle.lastPolledChannel = (cycle.lastPolledChannel + 1) % kChannelCount;
            if (channelPresent(cycle.lastPolledChannel)) {
                pollChannel(cycle.lastPolledChannel);
                break;
            }
        }
    }
    if (settings.fCmdLine & kTestMode) {
        const bool fromCache = settings.fCmdLine & kConfigFromCache;
        settings.fCmdLine &= ~kConfigFromCache;
        for (int channel = 0; channel < 12; ++channel)
            sendSwitchCommand(moduleAddressByte(channel), kTestWord);
        if (!fromCache) settings.fCmdLine |= kConfigFromCache;
    }
    ++cycle.tickCount;
    cycle.lastTickTime = localTimeNow();
    cycle.inTick = false;
}

void resetPolling() {
    PollingCycle& cycle = pollingCycle();
    crateSettings().pollingStoppedByOperator = false;
    crateSettings().pollingEnabled = true;
    cycle.lastPolledChannel = -1;
    cycle.tickCount = 0;
    cycle.lastTickTime = {};
    cycle.inTick = false;
    cycle.measurementStates.fill(MeasurementState::notRead);
}

}  // namespace vz
