#pragma once
// The F2812's on-chip flash: 128 K words at 0x3D8000..0x3F7FFF in ten sectors A..J. Erasing sets a
// sector's words to 0xFFFF; programming can only clear bits, as on the real array.
#include <cstdint>
#include <vector>

namespace vsim {

class Tms320Flash {
  public:
    static constexpr uint32_t kBase = 0x3D8000;
    static constexpr uint32_t kWords = 0x20000;
    static constexpr int kSectors = 10;  // A..J; mask bit k is sector 'A' + k
    // The firmware area its size and checksum cover, and where the boot loader finds them.
    static constexpr uint32_t kFirmwareEnd = 0x3F4000;  // exclusive
    static constexpr uint32_t kFirmwareVersionBlock = 0x3F3FEE;
    static constexpr uint32_t kFirmwareSizeLow = 0x3F3FF0;
    static constexpr uint32_t kFirmwareSizeHigh = 0x3F3FF1;
    static constexpr uint32_t kFirmwareChecksum = 0x3F3FF2;
    static constexpr uint32_t kBootloaderVersionBlock = 0x3F7F70;
    static constexpr uint32_t kVersionBlockWords = 16;
    static constexpr uint16_t kVersionMark = 0x480E;  // word 7 of a valid version block

    struct Sector {
        uint32_t first;
        uint32_t words;
    };
    static Sector sector(int index);  // 0 = A

    Tms320Flash();  // erased

    static bool contains(uint32_t address) { return address >= kBase && address < kBase + kWords; }
    static bool containsRange(uint32_t address, uint32_t words);
    // Words outside the flash read as 0xFFFF, as an erased word would.
    uint16_t read(uint32_t address) const;
    // Programs one word: only bits that are 1 in the flash and 0 in value change.
    void program(uint32_t address, uint16_t value);
    // Sets a word regardless of its state, for building images and for tests.
    void set(uint32_t address, uint16_t value);
    // Erases the sectors of a mask; false (nothing erased) when bits above 9 are set.
    bool erase(uint16_t mask);
    static int sectorCount(uint16_t mask);
    // 16-bit sum, modulo 65536, of count words from address.
    uint16_t sum(uint32_t address, uint32_t count) const;
    bool versionBlockValid(uint32_t address) const;
    // What the boot loader checks before it starts the controller firmware: its own version block,
    // and a firmware area whose words sum to 1.
    bool bootable() const;
    // Rises with every program, set and erase: the crate's state file is written when it moved.
    uint64_t changeCount() const { return changes_; }

  private:
    std::vector<uint16_t> words_;
    uint64_t changes_ = 0;
};

}  // namespace vsim
