#pragma once
// What the direct protocol and its SNMP carriage share: building the head of a module access frame,
// and turning the status of the last reply into an operation's result.
#include <cstdint>

namespace vz {

constexpr int kFrameSize = 16;  // the largest frame: 6 head bytes, 8 data bytes, result, check
constexpr int kNoStatus = -1;   // no reply arrived at all
constexpr int kStatusDone = 6;
constexpr int kStatusModuleError = 7;
constexpr uint8_t kAddressFlag = 0x08;

// Bit 7 read, bits 6-4 function code, bit 3 address bytes follow, bits 2-0 length in words.
uint8_t frameHeader(bool read, uint8_t functionCode, bool withAddress, int length);
// The 18-bit address, low byte first.
void putFrameAddress(uint8_t* p, uint32_t address);
bool validDataLength(int length);

// Whether a frame ends in a check byte: the direct line carries one, the SNMP carriage does not.
enum class FrameCheck { none, checkByte };
// A request frame into frame (kFrameSize bytes): module, header, the address when given, the data of
// a write, and the check byte when asked. Returns its length.
int buildRequest(uint8_t* frame, uint8_t module, bool read, uint8_t functionCode, const uint32_t* address,
                 const void* data, int length, FrameCheck check);
// A reply of the expected length that holds all of a read's data, before its check byte if it has one
// (a status that announces address bytes moves the data back); a shorter one is as corrupt as a
// truncated frame, and copying from it would take bytes that never arrived.
bool replyHoldsData(const uint8_t* reply, int replyLength, int expectedLength, bool isRead, int dataLength,
                    FrameCheck check);
// Where a read's data start in its reply: after the status, or after the three address bytes that
// bit 3 of the status announces.
int replyDataOffset(const uint8_t* reply);

struct ExchangeOutcome {
    bool gaveUp = false;
    int status = kNoStatus;  // of the last reply received
};

// The results of the operation table: byte count, -1 given up, -2 module error. They count the
// module errors in moduleReadErrors and moduleWriteErrors.
int evaluateRead(const ExchangeOutcome& out, const uint8_t* reply, void* destination, int length);
int evaluateWriteShort(const ExchangeOutcome& out, int length);
// writeAddr and writeReply: 0 when done, otherwise their result.
int evaluateAddressedWrite(const ExchangeOutcome& out);
// writeReply after it was done: the 16-bit result word (reply bytes 5 and 6, low byte first) into result
// when the caller asked for two bytes; returns resultLength.
int takeResultWord(const uint8_t* reply, uint16_t* result, int resultLength);

}  // namespace vz
