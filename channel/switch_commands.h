#pragma once
// Switching outputs: one 16-bit command word to a module, a group, or every module.
#include <cstdint>

namespace vz {

enum SwitchWord : uint16_t {
    kSwitchOn = 1,
    kSwitchOff = 2,
    kInhibitOn = 4,
    kInhibitOff = 0x14,
    kTestWord = 0x0550,
};

constexpr uint8_t kAllModules = 0;
constexpr uint8_t kGroup1 = 1;
constexpr uint8_t kGroup2 = 2;

// 2 when the module accepted the word, -1 otherwise; no caller reports a failure.
int sendSwitchCommand(uint8_t addressByte, uint16_t word);

}  // namespace vz
