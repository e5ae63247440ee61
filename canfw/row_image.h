#pragma once
// The programming units of a dsPIC30F-class processor into which a firmware file is read: 1536 rows
// of program memory, 128 of EEPROM, 8 of configuration memory, in the order they are programmed.
#include <array>
#include <cstdint>
#include <vector>

namespace vz {

enum MemoryType : int { kProgramMemory = 0, kEepromMemory = 1, kConfigMemory = 2 };

constexpr int kRowCount = 1672;
constexpr int kPmRows = 1536;
constexpr int kEmRows = 128;
constexpr int kFirstEmRow = kPmRows;
constexpr int kFirstCmRow = kPmRows + kEmRows;
constexpr uint32_t kEmRowBase = 0x7FF000;
constexpr uint32_t kCmRowBase = 0xF80000;

struct MemoryRow {
    std::vector<uint8_t> transfer;  // what is sent to the device, filled by packRow
    uint32_t baseAddress = 0;       // device address of the row's first unit
    bool empty = true;
    int memoryType = kProgramMemory;
    std::array<uint8_t, 2048> words;  // the file's bytes, two per device address unit
    int rowIndex = 0;
    int wordsPerRow = 32;

    MemoryRow() { words.fill(0xFF); }
};

using RowImage = std::vector<MemoryRow>;

// PM: 3 bytes an instruction; EM: the word count its write command carries; CM: 2.
int rowTransferSize(const MemoryRow& row);
// The 1672 empty rows; program-memory rows hold 32 instructions for dsPIC30F, 512 otherwise.
RowImage makeRowImage(int deviceFamily);
// Stores one 2-byte group ("4 hex characters") at a device address; false outside the row.
bool setRowWord(MemoryRow& row, uint32_t deviceAddress, const char* fourHex);
// Fills the transfer bytes from the word buffer (phantom bytes dropped); nothing for an empty row.
void packRow(MemoryRow& row);
bool copyIntoRow(MemoryRow& row, int offset, const uint8_t* bytes, int count);

}  // namespace vz
