#pragma once
// The processor a virtual module carries: what its boot loader reports as device id and revision,
// and how large its program memory, EEPROM and configuration memory are.
#include <cstdint>
#include <optional>
#include <string>

namespace vsim {

struct ProcessorModel {
    const char* name;
    uint16_t deviceId;
    uint16_t revision;            // bits 15-12 PROCID, 11-6 revision, 5-0 dot
    uint32_t pmInstructions;      // from device address 0, two address units each
    uint32_t eepromWords;         // ending at device address 0x7FFFFF
    uint32_t configWords;         // from device address 0xF80000
    uint32_t bytesPerConfigWord;  // as the configuration read returns them
};

// dsPIC30F4011, dsPIC30F4013, and dsPIC30F3012 (a processor the updater does not program).
std::optional<ProcessorModel> processorByName(const std::string& name);

}  // namespace vsim
