#pragma once
// The controller's whole flash (0x3D8000 ... 0x3F7FFF) as an image built from a COFF firmware file:
// classified by its version section, given the size and checksum the boot loader checks, and then
// erased, written and verified through the flash programming driver's interface record.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "prg/vzprg.h"

namespace vz {

enum class FlashImageType : int { None = 0, BootLoader = 1, Firmware = 2, FirmwareOlderLayout = 3 };

enum class FlashStep { Erase, Write, Verify };

class FlashImage {
  public:
    static constexpr uint32_t kBase = 0x3D8000;
    static constexpr uint32_t kEnd = 0x3F7FFF;  // last word of the image
    static constexpr uint32_t kWords = 0x20000;
    static constexpr uint32_t kFirmwareEnd = 0x3F3FFF;  // last word under checksum and size
    static constexpr uint32_t kFirmwareSize = 0x1C000;
    static constexpr uint32_t kChecksumOlder = 0x3F3FEE;
    static constexpr uint32_t kSizeAddress = 0x3F3FF0;
    static constexpr uint32_t kChecksumCurrent = 0x3F3FF2;
    static constexpr uint32_t kWriteChunkWords = 114;
    static constexpr uint32_t kVerifyChunkWords = 8192;

    // Each formatted line for the operator's log.
    using MessageSink = std::function<void(const std::string& line)>;
    // done of total units of a step: sectors to erase, non-blank chunks to write, chunks to verify.
    using ProgressSink = std::function<void(FlashStep step, int done, int total)>;

    explicit FlashImage(MessageSink sink = {}) : sink_(std::move(sink)) {}

    // The driver the flash steps use; erase is its PRG_EraseSectors (not in the record).
    void setDriver(const PrgInterface* driver, PRG_HANDLE handle, PRG_EraseSectorsFn erase) {
        driver_ = driver;
        handle_ = handle;
        erase_ = erase;
    }
    void setProgress(ProgressSink progress) { progress_ = std::move(progress); }
    // Asked before every sector, chunk and verify block: true stops the step there (it fails).
    void setStopRequested(std::function<bool()> stop) { stopRequested_ = std::move(stop); }

    // What writeFlash sends: the non-blank chunks, adjacent ones joined (inclusive word addresses).
    struct WordRange {
        uint32_t first;
        uint32_t last;
    };
    std::vector<WordRange> writeRanges() const;

    // 0, the COFF reader's code, or -1 (null path, no version section); 1 for an empty path.
    int importCoff(const char* path);
    // Size and checksum for the boot loader; deviceLayout 2 or 3 overrides the image's type, 0 keeps it.
    void insertChecksum(int deviceLayout);
    uint16_t imageChecksum();
    bool eraseFlash(uint32_t sectorMask);
    bool writeFlash();
    bool verifyFlash();

    FlashImageType type() const { return type_; }
    uint32_t lowest() const { return lowest_; }
    uint32_t highest() const { return highest_; }
    int warnings() const { return warnings_; }
    int errors() const { return errors_; }
    int wordsIgnored() const { return ignored_; }
    int wordsImported() const { return imported_; }
    // The word at a processor address inside the image (0xFFFF outside it or before an import).
    uint16_t word(uint32_t address) const;
    // For callers that patch an image (and the tests): stores and widens the address range.
    void setWord(uint32_t address, uint16_t value);

  private:
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ensureBuffer();
    uint16_t& at(uint32_t address) { return words_[address - kBase]; }
    void cover(uint32_t first, uint32_t last);
    bool stopped() const { return stopRequested_ && stopRequested_(); }

    MessageSink sink_;
    ProgressSink progress_;
    std::function<bool()> stopRequested_;
    const PrgInterface* driver_ = nullptr;
    PRG_HANDLE handle_ = nullptr;
    PRG_EraseSectorsFn erase_ = nullptr;
    std::vector<uint16_t> words_;
    uint32_t lowest_ = kEnd;
    uint32_t highest_ = kBase;
    int warnings_ = 0;
    int errors_ = 0;
    int ignored_ = 0;
    int imported_ = 0;
    FlashImageType type_ = FlashImageType::None;
};

}  // namespace vz
