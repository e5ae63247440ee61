#pragma once
// The access firmware's packet protocol: 8-byte header (01 66 99 or 01 99 66, sequence number, total
// length and check field, both big-endian), 1 to 248 data bytes, and an 8-byte acknowledgement for
// every packet in either direction.
#include <cstdint>

#include "prg/boot_link.h"

namespace vzprg {

constexpr int kMaxPacketData = 248;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

// Wire time of n bytes at 115200 baud (11 bits a byte), in whole milliseconds.
int txDelay(int bytes);
// Sends one packet and waits for its acknowledgement: length, or 0 on failure (also for a NAK).
int PktSendMsg(BootLink& link, const uint8_t* data, int length);
// Receives one packet and acknowledges it: the data bytes delivered (at most capacity), or 0.
int PktRecvMsg(BootLink& link, uint8_t* buffer, int capacity, int timeoutMs);

}  // namespace vzprg
