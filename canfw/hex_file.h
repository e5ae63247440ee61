#pragma once
// A flat byte image by HEX byte address, as a backup collects it, written out as an Intel HEX file.
// The address space is 0x0FFFFFFF bytes; only the 4 KiB blocks really written are held, so a backup
// costs what the module's memories hold, not the whole space.
#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "canfw/log_text.h"

namespace vz {

class CHexFile {
  public:
    static constexpr uint32_t kBlockSize = 4096;

    CHexFile() = default;  // no image: every insert and write fails
    explicit CHexFile(uint32_t size) : size_(size), allocated_(true) {}

    // Where the image reports its errors (the log window of the updater).
    void setReport(LogSink report) { report_ = std::move(report); }

    // Stores bytes read from a device: each unit of 4 − phantomBytes bytes is followed by
    // phantomBytes zero bytes. False (nothing stored) outside the image.
    bool insertBlock(uint32_t hexAddress, const uint8_t* bytes, uint32_t count, uint32_t phantomBytes);
    // Records of 16 bytes; without writeAll only records that hold a written byte and are not all 0xFF.
    // The file is replaced only once it is complete and on disk; anything but a regular file is refused.
    bool writeHexFile(const std::string& path, bool writeAll);
    // A start segment address record (type 03) written before the end record: a backup names the
    // processor it was read from in it (segment = device ID, offset = processor ID), in the one
    // standard record that carries no data, so that other HEX tools read the file as before.
    void setStartSegment(uint16_t segment, uint16_t offset) {
        startSegment_ = std::make_pair(segment, offset);
    }

    uint32_t size() const { return size_; }
    uint32_t end() const { return end_; }
    uint8_t byteAt(uint32_t address) const;
    bool writtenAt(uint32_t address) const;
    size_t blocksHeld() const { return blocks_.size(); }

  private:
    struct Block {
        std::array<uint8_t, kBlockSize> data;
        std::bitset<kBlockSize> written;
        Block() { data.fill(0xFF); }
    };
    void report(const std::string& text) const {
        if (report_) report_(text);
    }

    uint32_t size_ = 0;
    uint32_t base_ = 0;
    uint32_t end_ = 0;
    bool allocated_ = false;
    static constexpr int kBytesPerRecord = 16;
    std::map<uint32_t, std::unique_ptr<Block>> blocks_;
    std::optional<std::pair<uint16_t, uint16_t>> startSegment_;  // by address / kBlockSize
    LogSink report_;
};

}  // namespace vz
