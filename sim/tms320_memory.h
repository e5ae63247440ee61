#pragma once
// The processor's memory as the access firmware reaches it: the identification registers, the flash
// and the RAM the boot loader and memory writes fill. The RAM is a sparse map: only what was written.
#include <cstdint>
#include <map>

#include "sim/tms320_flash.h"

namespace vsim {

struct Tms320Memory {
    static constexpr uint32_t kPartIdAddress = 0x882;
    static constexpr uint32_t kRevisionIdAddress = 0x883;

    uint16_t partId = 1;
    uint16_t revisionId = 3;
    Tms320Flash flash;
    std::map<uint32_t, uint16_t> ram;

    // Unwritten RAM and unmapped addresses read as 0.
    uint16_t read(uint32_t address) const {
        if (address == kPartIdAddress) return partId;
        if (address == kRevisionIdAddress) return revisionId;
        if (Tms320Flash::contains(address)) return flash.read(address);
        const auto it = ram.find(address);
        return it == ram.end() ? 0 : it->second;
    }
};

}  // namespace vsim
