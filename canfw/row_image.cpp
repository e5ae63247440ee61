#include "canfw/row_image.h"

#include <cstring>

#include "canfw/device_table.h"

namespace vz {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Device address units a row covers.
uint32_t rowSpan(const MemoryRow& row) {
    return row.memoryType == kConfigMemory ? 2 : 2u * static_cast<uint32_t>(row.wordsPerRow);
}

}  // namespace

int rowTransferSize(const MemoryRow& row) {
    switch (row.memoryType) {
        case kProgramMemory:
            return 3 * row.wordsPerRow;
        case kEepromMemory:
            return row.wordsPerRow;
        default:
            return 2;
    }
}

RowImage makeRowImage(int deviceFamily) {
    RowImage rows(kRowCount);
    const int pmWords = deviceFamily == kDsPic30F ? 32 : 512;
    for (int i = 0; i < kRowCount; ++i) {
        MemoryRow& r = rows[i];
        if (i < kFirstEmRow) {
            r.memoryType = kProgramMemory;
            r.rowIndex = i;
            r.wordsPerRow = pmWords;
            r.baseAddress = static_cast<uint32_t>(i * pmWords * 2);
            r.transfer.assign(3 * pmWords, 0xFF);
        } else if (i < kFirstCmRow) {
            r.memoryType = kEepromMemory;
            r.rowIndex = i - kFirstEmRow;
            r.wordsPerRow = 16;
            r.baseAddress = kEmRowBase + 32u * static_cast<uint32_t>(r.rowIndex);
            r.transfer.assign(32, 0xFF);
        } else {
            r.memoryType = kConfigMemory;
            r.rowIndex = i - kFirstCmRow;
            r.wordsPerRow = 1;
            r.baseAddress = kCmRowBase + 2u * static_cast<uint32_t>(r.rowIndex);
            r.transfer.assign(2, 0xFF);
        }
    }
    return rows;
}

bool setRowWord(MemoryRow& row, uint32_t deviceAddress, const char* fourHex) {
    if (deviceAddress < row.baseAddress || deviceAddress >= row.baseAddress + rowSpan(row)) return false;
    uint8_t bytes[2];
    for (int b = 0; b < 2; ++b) {
        const int hi = hexValue(fourHex[2 * b]), lo = hexValue(fourHex[2 * b + 1]);
        bytes[b] = static_cast<uint8_t>((hi < 0 ? 0 : hi) << 4 | (lo < 0 ? 0 : lo));
    }
    const size_t at = 2 * (deviceAddress - row.baseAddress);
    row.words[at] = bytes[0];
    row.words[at + 1] = bytes[1];
    row.empty = false;
    return true;
}

void packRow(MemoryRow& row) {
    if (row.empty) return;
    switch (row.memoryType) {
        case kProgramMemory:
            for (int k = 0; k < row.wordsPerRow; ++k)
                for (int b = 0; b < 3; ++b) row.transfer[3 * k + b] = row.words[4 * k + b];
            break;
        case kEepromMemory:
            for (int k = 0; k < row.wordsPerRow; ++k)
                for (int b = 0; b < 2; ++b) row.transfer[2 * k + b] = row.words[4 * k + b];
            break;
        default:
            row.transfer[0] = row.words[0];
            row.transfer[1] = row.words[1];
            break;
    }
}

bool copyIntoRow(MemoryRow& row, int offset, const uint8_t* bytes, int count) {
    if (offset < 0 || count < 0 || offset + count > rowTransferSize(row)) return false;
    std::memcpy(row.transfer.data() + offset, bytes, static_cast<size_t>(count));
    return true;
}

}  // namespace vz
