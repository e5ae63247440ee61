#pragma once
// Module access: the five raw operations behind one table (direct protocol or SNMP), the link lock,
// the error counters and the wrappers that move module memory in pieces of at most 8 bytes.
// Results: byte count on success, -1 given up, -2 module error (status 7).
#include <atomic>
#include <cstdint>
#include <mutex>

namespace vz {

constexpr uint8_t kControllerAddress = 0xFF;
constexpr uint8_t moduleAddressByte(int channel) {
    return static_cast<uint8_t>(0x80 | (channel & 0xFF));
}

constexpr uint32_t kCommandSpace = 0x10000;
constexpr uint32_t kWordSpace = 0x20000;

struct OperationTable {
    int (*readShort)(uint8_t module, uint8_t functionCode, void* destination, int length) = nullptr;
    int (*readAddr)(uint8_t module, uint8_t functionCode, uint32_t address, void* destination,
                    int length) = nullptr;
    int (*writeShort)(uint8_t module, uint8_t functionCode, const void* data, int length) = nullptr;
    int (*writeAddr)(uint8_t module, uint8_t functionCode, uint32_t address, const void* data,
                     int length) = nullptr;
    int (*writeReply)(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                      uint16_t* result, int resultLength) = nullptr;
};

// The direct protocol's operations.
int directReadShort(uint8_t module, uint8_t functionCode, void* destination, int length);
int directReadAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination, int length);
int directWriteShort(uint8_t module, uint8_t functionCode, const void* data, int length);
int directWriteAddr(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length);
int directWriteReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                     uint16_t* result, int resultLength);

// While one lives, a failing direct exchange of this thread gives up after one attempt, without retries
// or the communication problem dialog: for probes to which no answer is an answer.
class SingleAttemptScope {
  public:
    SingleAttemptScope();
    ~SingleAttemptScope();
    SingleAttemptScope(const SingleAttemptScope&) = delete;
    SingleAttemptScope& operator=(const SingleAttemptScope&) = delete;
};

void bindDirectOperations();
// No operations bound (option -u): every access is refused with -1 and no channel is ever found.
void unbindOperations();
void resetModuleAccessCounters();

// Calls through the table; -1 when nothing is bound.
int readShort(uint8_t module, uint8_t functionCode, void* destination, int length);
int readAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination, int length);
int writeShort(uint8_t module, uint8_t functionCode, const void* data, int length);
int writeAddr(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length);
int writeReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
               uint16_t* result, int resultLength);

int moduleRead(uint8_t module, uint32_t base, uint32_t offset, void* destination, int length);
int moduleReadWords(uint8_t module, uint32_t address, void* destination, int length);
int moduleWrite(uint8_t module, uint32_t base, uint32_t offset, const void* data, int length);
int moduleWriteWords(uint8_t module, uint32_t address, const void* data, int length);
// The module's 16-bit result word (0 accepted), or -1 when no result arrived.
int moduleCommand(uint8_t module, uint32_t base, uint32_t offset, const void* data, int length);
// Addresses the module through its serial number (a new id and group). 0 when the exchange was done,
// negative when it failed: a caller must not treat a module that never heard it as moved.
int assignBySerial(uint32_t serialNumber, uint16_t firstWord, uint16_t secondWord);

// 0x5A XOR all bytes.
uint8_t checkByte(const uint8_t* bytes, int length);

}  // namespace vz
