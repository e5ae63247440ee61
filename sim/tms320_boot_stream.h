#pragma once
// The ROM boot loader's 8-bit serial boot stream: key 0x08AA, 16 reserved bytes, the entry point,
// then blocks of (size in words, destination, words) ended by a block of size 0. 32-bit values come
// as their high half then their low half, each low byte first; words low byte first.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace vsim {

class Tms320BootStream {
  public:
    enum class Result { More, Complete, Invalid };

    // Takes the next byte. Complete: the terminator arrived and the stream is usable (at least one
    // block, the entry point inside a loaded block). Invalid: a wrong key, or a terminator without a
    // usable program. Bytes after Complete or Invalid are refused as Invalid.
    Result push(uint8_t byte);

    uint32_t entryPoint() const { return entry_; }
    // Words loaded so far, by word address.
    const std::map<uint32_t, uint16_t>& words() const { return words_; }

  private:
    enum class Stage { Key, Reserved, Entry, BlockSize, BlockAddress, Data, Done };
    static uint32_t halvesHighFirst(const uint8_t* b);
    Result finish();

    Stage stage_ = Stage::Key;
    uint8_t field_[4]{};
    size_t got_ = 0;  // bytes of the current field
    uint32_t entry_ = 0;
    uint32_t blockSize_ = 0;
    uint32_t blockAddress_ = 0;
    uint32_t dataBytes_ = 0;  // of the current block
    struct Block {
        uint32_t address;
        uint32_t words;
    };
    std::vector<Block> blocks_;
    std::map<uint32_t, uint16_t> words_;
};

}  // namespace vsim
