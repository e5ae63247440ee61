#pragma once
// Where a module keeps its blocks, and where the controller keeps its copy of every channel.
#include <cstdint>

namespace vz {

constexpr uint32_t kFirmwareBase = 0x0000;
constexpr uint32_t kSystemConfigBase = 0x1000;
constexpr uint32_t kUserConfigBase = 0x2000;

// The controller cache (module 255), word-addressed, 88 words per channel.
constexpr uint32_t kCacheWordsPerChannel = 88;
constexpr uint32_t kCacheUserConfigWord = 0x9002;
constexpr uint32_t kCacheSystemConfigWord = 0x9022;
constexpr uint32_t kCacheMeasureWord = 0x9042;
constexpr uint32_t kCacheExtraWordsWord = 0x9052;

constexpr uint32_t cacheWordAddress(uint32_t first, int channel) {
    return first + kCacheWordsPerChannel * static_cast<uint32_t>(channel);
}

// The cache layout above is the one of the controllers with 12 and 16 channels.
constexpr bool cacheLayoutKnown(int channelLimit) {
    return channelLimit == 12 || channelLimit == 16;
}

// Result of a block read that did not deliver the whole block.
constexpr int kBlockReadFailed = 30;

}  // namespace vz
