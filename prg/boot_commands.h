#pragma once
// The access firmware's commands over the packet protocol (ping, memory and flash read and write,
// sector erase, checksum verify) and the connection sequence that gets it running.
#include <cstdint>

#include "prg/boot_link.h"

namespace vzprg {

enum BootCommand : uint16_t {
    kCmdPing = 1,
    kCmdMemWrite = 2,
    kCmdMemRead = 3,
    kCmdErase = 10,
    kCmdFlashWrite = 11,
    kCmdFlashVerify = 12,
    kCmdFlashRead = 13,
};

constexpr int kCommandHeaderSize = 20;
constexpr int kMaxReadChunkBytes = 226;
constexpr int kMaxWriteChunkBytes = 228;

// 0 when the firmware echoes the ping pattern, else -1.
int PingChannel(BootLink& link);
// The pending request (link.request), in chunks; the result is left in link.status and returned.
int MemRead(BootLink& link);
int MemWrite(BootLink& link);
// The reply's status word (0 = erased), -1, or -2 while another operation runs.
int EraseSectors(BootLink& link, uint32_t sectorMask);
// Compares the flash with data by the sum of its words: 0 or -1 (also left in link.status).
int VerifyChecksum(BootLink& link, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data);
// Configures the line, downloads the access firmware unless it runs already, then pings it.
int OpenChannel(BootLink& link);

}  // namespace vzprg
