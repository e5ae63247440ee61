#include "ctrlfw/flash_image.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <string_view>

#include "base/debug_log.h"
#include "base/text_format.h"
#include "prg/coff_reader.h"

namespace vz {
namespace {

constexpr size_t kNameLength = 32;

bool blank(const uint16_t* words, uint32_t count) {
    return std::all_of(words, words + count, [](uint16_t w) { return w == 0xFFFF; });
}

}  // namespace

void FlashImage::say(const char* format, ...) {
    if (!sink_) return;
    va_list args;
    va_start(args, format);
    const std::string line = formatTextV(kLineLimit, format, args);
    va_end(args);
    sink_(line);
}

void FlashImage::ensureBuffer() {
    if (words_.empty()) words_.assign(kWords, 0xFFFF);
}

uint16_t FlashImage::word(uint32_t address) const {
    if (words_.empty() || address < kBase || address > kEnd) return 0xFFFF;
    return words_[address - kBase];
}

void FlashImage::setWord(uint32_t address, uint16_t value) {
    if (address < kBase || address > kEnd) return;
    ensureBuffer();
    at(address) = value;
    cover(address, address);
}

void FlashImage::cover(uint32_t first, uint32_t last) {
    lowest_ = std::min(lowest_, first);
    highest_ = std::max(highest_, last);
}

int FlashImage::importCoff(const char* path) {
    if (!path) return -1;
    if (!*path) return 1;
    ensureBuffer();
    std::fill(words_.begin(), words_.end(), 0xFFFF);
    lowest_ = kEnd;
    highest_ = kBase;
    warnings_ = errors_ = ignored_ = imported_ = 0;
    type_ = FlashImageType::None;
    say("Importing COFF File \"%s\":\n", path);

    std::unique_ptr<vzprg::CoffFile> coff;
    if (int rc = vzprg::coffOpen(path, nullptr, coff); rc != vzprg::kCoffOk) return rc;
    int result = 0;
    std::vector<uint8_t> section;
    try {
        section.resize(coff->largestLoadableBytes() + 10);
    } catch (const std::bad_alloc&) {
        result = vzprg::kCoffOutOfMemory;
    }

    auto loadable = [&](int i) { return vzprg::coffIsLoadable(*coff, i) == vzprg::kCoffOk; };
    auto named = [&](int i, const char* name) {
        char buffer[kNameLength + 1];
        return vzprg::coffSectionName(*coff, *coff->section(i), sizeof buffer, buffer) == vzprg::kCoffOk &&
               std::string_view(buffer) == name;
    };
    for (int i = 1; i <= coff->sectionCount() && type_ == FlashImageType::None; ++i)
        if (loadable(i) && named(i, ".blversion")) type_ = FlashImageType::BootLoader;
    for (int i = 1; i <= coff->sectionCount() && type_ == FlashImageType::None; ++i) {
        if (!loadable(i)) continue;
        if (named(i, ".fwversion")) type_ = FlashImageType::Firmware;
        if (named(i, ".version")) type_ = FlashImageType::FirmwareOlderLayout;
    }
    if (type_ == FlashImageType::None) result = -1;

    // Words are 16 bits in the file's byte order.
    const bool bigEndian = coff->byteSwapped() != (std::endian::native == std::endian::big);
    for (int i = 1; result == 0 && i <= coff->sectionCount(); ++i) {
        if (!loadable(i)) continue;
        const vzprg::CoffSection& s = *coff->section(i);
        uint64_t bytes = 0;
        if (vzprg::coffReadSection(*coff, i, section.data(), 0, section.size(), bytes) != vzprg::kCoffOk) {
            ++errors_;
            continue;
        }
        const uint64_t words = bytes / 2;
        const uint64_t first = s.virtualAddress;
        if (words == 0) continue;
        if (first < kBase || first + words - 1 > kEnd) {
            ignored_ += static_cast<int>(std::min<uint64_t>(words, INT32_MAX));
            ++warnings_;
            say("  IGNORED: Section Address = 0x%06lX, Number of words = %d (0x%X)\n",
                static_cast<unsigned long>(first), static_cast<int>(words), static_cast<unsigned>(words));
            continue;
        }
        for (uint64_t w = 0; w < words; ++w) {
            const uint8_t* p = section.data() + 2 * w;
            at(static_cast<uint32_t>(first + w)) =
                bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
        }
        cover(static_cast<uint32_t>(first), static_cast<uint32_t>(first + words - 1));
        imported_ += static_cast<int>(words);
        say("  Section Address = 0x%06lX, Number of words = %d (0x%X)\n", static_cast<unsigned long>(first),
            static_cast<int>(words), static_cast<unsigned>(words));
    }
    coff.reset();
    say("COFF File \"%s\" imported %u words: 0x%06X-0x%06X, (%d words ignored, %d warnings, %d errors)\n",
        path, static_cast<unsigned>(imported_), lowest_, highest_, ignored_, warnings_, errors_);
    return result;
}

uint16_t FlashImage::imageChecksum() {
    ensureBuffer();
    uint16_t sum = 0;
    for (uint32_t a = kBase; a <= kFirmwareEnd; ++a) sum = static_cast<uint16_t>(sum + at(a));
    const auto checksum = static_cast<uint16_t>(-sum);
    debugLog(kLogDebug, "Calculated checksum is 0x%04X", checksum);
    return checksum;
}

void FlashImage::insertChecksum(int deviceLayout) {
    ensureBuffer();
    if (type_ == FlashImageType::BootLoader) {
        say("Bootloader image detected, skip checksum\n");
        return;
    }
    if (deviceLayout != 0 && deviceLayout != static_cast<int>(type_))
        type_ = static_cast<FlashImageType>(deviceLayout);
    uint32_t checksumAddress = kChecksumOlder;
    if (type_ == FlashImageType::FirmwareOlderLayout) {
        say("Inserted data at 0x%06X: 0x%04X%04X -> 0x003F3FFE\n", 0x3F3FF1u, at(0x3F3FF1), at(0x3F3FF2));
        at(0x3F3FF1) = 0x003F;
        at(0x3F3FF2) = 0x3FFE;
        cover(0x3F3FF1, 0x3F3FF2);
    } else if (type_ == FlashImageType::Firmware) {
        const uint32_t size = uint32_t{at(kSizeAddress)} | uint32_t{at(kSizeAddress + 1)} << 16;
        if (size == kFirmwareSize) {
            say("Firmware Size at 0x%06X: 0x%05X\n", kSizeAddress, size);
        } else {
            at(kSizeAddress) = static_cast<uint16_t>(kFirmwareSize);
            at(kSizeAddress + 1) = static_cast<uint16_t>(kFirmwareSize >> 16);
            say("Inserted Firmware Size at 0x%06X: 0x%05X -> 0x%05X\n", kSizeAddress, size, kFirmwareSize);
        }
        cover(kSizeAddress, kSizeAddress + 1);
        checksumAddress = kChecksumCurrent;
    }
    // The inserted words must be programmed too, also when no section reached them.
    cover(checksumAddress, checksumAddress);
    at(checksumAddress) = 0xFFFF;
    const uint16_t checksum = imageChecksum();
    say("Inserted Checksum at 0x%06X: 0x%4.4X -> 0x%4.4X\n", checksumAddress, 0xFFFFu, checksum);
    at(checksumAddress) = checksum;
    imageChecksum();
}

std::vector<FlashImage::WordRange> FlashImage::writeRanges() const {
    std::vector<WordRange> ranges;
    if (words_.empty() || lowest_ > highest_) return ranges;
    for (uint32_t a = lowest_; a <= highest_; a += kWriteChunkWords) {
        const uint32_t n = std::min(kWriteChunkWords, highest_ - a + 1);
        if (blank(&words_[a - kBase], n)) continue;
        if (!ranges.empty() && ranges.back().last + 1 == a)
            ranges.back().last = a + n - 1;
        else
            ranges.push_back({a, a + n - 1});
    }
    return ranges;
}

bool FlashImage::eraseFlash(uint32_t sectorMask) {
    const int total = std::popcount(sectorMask & 0x3FFu);
    int done = 0;
    for (int k = 0; k < 10; ++k) {
        if (!(sectorMask & (1u << k))) continue;
        if (stopped()) return false;
        say("  Erase sector %c: ", 'A' + k);
        const int rc = erase_ ? erase_(handle_, 1u << k) : PRG_STATUS_FAILED;
        if (rc != 0) {
            say("ERROR %d\n", rc);
            return false;
        }
        say("done\n");
        if (progress_) progress_(FlashStep::Erase, ++done, total);
    }
    return true;
}

bool FlashImage::writeFlash() {
    if (lowest_ > highest_ || words_.empty()) {
        debugLog(kLogWarning, "Trying to program 0 words");
        return false;
    }
    if (!driver_ || !driver_->FlashWrite) return false;
    int total = 0;
    for (uint32_t a = lowest_; a <= highest_; a += kWriteChunkWords)
        if (!blank(&at(a), std::min(kWriteChunkWords, highest_ - a + 1))) ++total;
    int done = 0;
    for (uint32_t a = lowest_; a <= highest_; a += kWriteChunkWords) {
        const uint32_t n = std::min(kWriteChunkWords, highest_ - a + 1);
        if (stopped()) return false;
        if (blank(&at(a), n)) {
            debugLog(kLogDebug, "NOT Write %u words -> 0x%6.6X", n, a);
            continue;
        }
        debugLog(kLogDebug, "Write %u words -> 0x%6.6X", n, a);
        const int rc = driver_->FlashWrite(handle_, a, 0, 2 * n, &at(a));
        if (rc != 0) {
            debugLog(kLogWarning, "FlashWrite ERROR %d (0x%X)", rc, static_cast<unsigned>(rc));
            return false;
        }
        if (progress_) progress_(FlashStep::Write, ++done, total);
    }
    debugLog(kLogInfo, "FlashWrite ready");
    return true;
}

bool FlashImage::verifyFlash() {
    if (lowest_ > highest_ || words_.empty()) {
        debugLog(kLogWarning, "Trying to program 0 words");
        return false;
    }
    if (!driver_ || !driver_->FlashVerify) return false;
    const int total = static_cast<int>((highest_ - lowest_) / kVerifyChunkWords + 1);
    int done = 0;
    for (uint32_t a = lowest_; a <= highest_; a += kVerifyChunkWords) {
        const uint32_t n = std::min(kVerifyChunkWords, highest_ - a + 1);
        if (stopped()) return false;
        debugLog(kLogDebug, "Write %u words -> 0x%6.6X", n, a);
        const int rc = driver_->FlashVerify(handle_, a, 0, 2 * n, &at(a));
        if (rc != 0) {
            debugLog(kLogWarning, "FlashVerify ERROR %d (0x%X)", rc, static_cast<unsigned>(rc));
            return false;
        }
        if (progress_) progress_(FlashStep::Verify, ++done, total);
    }
    debugLog(kLogInfo, "FlashVerify ready");
    return true;
}

}  // namespace vz
