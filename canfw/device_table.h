#pragma once
// The processors a module's boot loader may report, and the memory geometry of those we can program
// and back up. A processor in the device table without a layout is shown but never written.
#include <cstdint>
#include <span>

namespace vz {

enum DeviceFamily : int32_t { kDsPic30F = 0, kDsPic33F = 1, kPic24H = 2, kPic24F = 3, kUnknownFamily = 4 };

struct DeviceTableEntry {
    const char* name;  // nullptr only in the terminator
    uint16_t deviceID;
    uint16_t procID;
    int32_t family;
};

// Addresses are device addresses (two per 16-bit unit), except flashBase, a HEX byte address.
struct DeviceMemoryLayout {
    int32_t family;
    uint32_t deviceID;
    uint32_t flashBase;
    uint32_t pmRowSize;  // instructions
    uint32_t bytesPerInstruction;
    uint32_t pmRows;
    uint32_t eepromBase;
    uint32_t eepromRowSize;  // words
    uint32_t bytesPerEepromWord;
    uint32_t eepromRows;
    uint32_t configBase;
    uint32_t configRowSize;  // words
    uint32_t bytesPerConfigWord;
    uint32_t configRows;
};

struct DeviceLookup {
    const DeviceTableEntry* device = nullptr;
    const DeviceMemoryLayout* layout = nullptr;
};

// 129 entries and the terminator without a name.
std::span<const DeviceTableEntry> deviceTable();
// Two entries and the terminator of family 4.
std::span<const DeviceMemoryLayout> memoryLayouts();

// The first entry with both ids (deviceID compared as 16 bits) and its layout; false without an entry.
bool lookupDevice(uint32_t deviceID, uint32_t procID, DeviceLookup& out);
// "dsPIC30F", "dsPIC33F", "PIC24H", "PIC24F", or "-?-".
const char* familyName(int32_t family);

}  // namespace vz
