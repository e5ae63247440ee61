#pragma once
// The ROM boot loader's side of the link: the autobaud handshake and the 8-bit serial boot stream that
// carries the access firmware into RAM, every byte echoed by the processor.
#include <cstdint>

#include "prg/boot_link.h"

namespace vzprg {

// Up to 21 tries of 'A' answered by 'A': 0 or -1.
int AutoBaud(BootLink& link);
// Each byte alone, each answered by its echo: 0 or -1.
int sendBootBytes(BootLink& link, const uint8_t* bytes, int count);
// Key 0x08AA, eight reserved words, the entry point.
int sendBootHeader(BootLink& link, uint32_t entryPoint);
// Block size in words and destination address.
int sendBlockHeader(BootLink& link, uint32_t address, uint16_t words);
// Downloads the loadable sections of a COFF file and starts it at its entry point: 0 or -1.
int LoadAccessFirmware(BootLink& link, const char* path);

}  // namespace vzprg
