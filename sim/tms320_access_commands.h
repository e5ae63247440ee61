#pragma once
// The commands of the access firmware the host loads into RAM to program the flash: ping, memory
// read and write, sector erase, flash write, verify and read. Each takes a command block (big-endian:
// code, address(4), page, word count, parameters 1..4, 0xFFFF, data words) and gives the reply data:
// a status word, 0 for success, then data words, all big-endian.
#include <cstdint>
#include <vector>

#include "sim/tms320_memory.h"

namespace vsim {

// Non-zero statuses the access firmware reports.
enum AccessStatus : uint16_t {
    kAccessOk = 0,
    kAccessUnknownCommand = 1,
    kAccessBadLength = 2,     // block too short or long for the command, or too many words
    kAccessBadAddress = 3,    // flash command outside the flash
    kAccessBadMask = 4,       // erase mask with bits above sector J
    kAccessVerifyFailed = 5,  // the flash words do not sum to the expected value
    kAccessFlashByMemoryWrite = 6,
};

enum AccessCommand : uint16_t {
    kCmdPing = 1,
    kCmdMemoryWrite = 2,
    kCmdMemoryRead = 3,
    kCmdEraseSectors = 10,
    kCmdFlashWrite = 11,
    kCmdFlashVerify = 12,
    kCmdFlashRead = 13,
};

// How long the flash takes: the reply goes out when the work is done.
inline constexpr int64_t kEraseSectorUs = 250000;
inline constexpr int64_t kFlashWriteWordUs = 25;
inline constexpr int64_t kVerifyWordUs = 2;

struct AccessCommandResult {
    std::vector<uint8_t> reply;  // status word and data
    int64_t workUs = 0;
    int sectorsErased = 0;
};

AccessCommandResult executeAccessCommand(const std::vector<uint8_t>& block, Tms320Memory& memory);

}  // namespace vsim
