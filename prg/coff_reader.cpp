#include "prg/coff_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>

namespace vzprg {
namespace {

constexpr size_t kFileHeaderV0 = 20;
constexpr size_t kFileHeaderV12 = 22;
constexpr size_t kOptionalHeaderSize = 28;
constexpr size_t kSectionHeaderV2 = 48;
constexpr size_t kSectionHeaderV01 = 40;
constexpr uint64_t kSymbolEntrySize = 18;
// Names are looked up within one chunk; a long table is held in pieces of this size at most.
constexpr size_t kStringChunkSize = 65503;

bool validFirstField(uint16_t v) {
    return v == 0xC0 || v == 0xC1 || v == 0xC2 || (v >= 0x90 && v <= 0x9D);
}
bool validTarget(uint16_t v) {
    return v >= 0x90 && v <= 0x9D;
}

class FileSource : public CoffSource {
  public:
    FileSource(std::FILE* f, uint64_t size) : file_(f), size_(size) {}
    ~FileSource() override { std::fclose(file_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    uint64_t size() const override { return size_; }
    bool readAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        if (count == 0) return true;
        if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
        return std::fread(buffer, 1, count, file_) == count;
    }

  private:
    std::FILE* file_;
    uint64_t size_;
};

class MemorySource : public CoffSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
    uint64_t size() const override { return bytes_.size(); }
    bool readAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        if (count) std::memcpy(buffer, bytes_.data() + offset, count);
        return true;
    }

  private:
    std::vector<uint8_t> bytes_;
};

bool isLoadable(const CoffSection& s) {
    return s.rawDataOffset != 0 && s.size != 0 && (s.flags & (kCoffDummy | kCoffNoLoad | kCoffCopy)) == 0;
}

bool inlineName(const CoffSection& s) {
    return s.name[0] || s.name[1] || s.name[2] || s.name[3];
}

}  // namespace

CoffFile::CoffFile(std::unique_ptr<CoffSource> source, const uint8_t callerBlock[16])
    : source_(std::move(source)) {
    if (callerBlock) std::memcpy(callerBlock_.data(), callerBlock, callerBlock_.size());
}

const CoffSection* CoffFile::section(int index) const {
    if (index < 1 || index > sectionCount()) return nullptr;
    return &sections_[static_cast<size_t>(index - 1)];
}

uint16_t CoffFile::get16(const uint8_t* p) const {
    // The file's order is the host's unless byteSwapped_.
    const bool big = byteSwapped_ != (std::endian::native == std::endian::big);
    return big ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

uint32_t CoffFile::get32(const uint8_t* p) const {
    const bool big = byteSwapped_ != (std::endian::native == std::endian::big);
    if (big) return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

int CoffFile::readHeaders() {
    uint8_t h[kFileHeaderV12];
    if (!source_->readAt(0, h, sizeof h)) return kCoffReadError;
    byteSwapped_ = false;
    if (!validFirstField(get16(h))) {
        byteSwapped_ = true;
        if (!validFirstField(get16(h))) return kCoffNotCoff;
    }
    header_.versionId = get16(h);
    header_.sectionCount = get16(h + 2);
    header_.timeStamp = get32(h + 4);
    header_.symbolTableOffset = get32(h + 8);
    header_.symbolCount = get32(h + 12);
    header_.optionalHeaderSize = get16(h + 16);
    header_.flags = get16(h + 18);
    header_.targetId = get16(h + 20);
    bigEndianTarget_ = (header_.flags & 0x0200) != 0;
    flag12_ = (header_.flags & 0x1000) != 0;

    size_t fileHeaderSize = kFileHeaderV0;
    if (header_.versionId == 0xC1 || header_.versionId == 0xC2) {
        version_ = header_.versionId;
        targetId_ = header_.targetId;
        if (!validTarget(targetId_)) return kCoffNotCoff;
        fileHeaderSize = kFileHeaderV12;
    } else {
        version_ = 0xC0;
        targetId_ = header_.versionId;
        header_.targetId = 0;  // not part of a version 0 header
    }

    if (header_.optionalHeaderSize == kOptionalHeaderSize) {
        uint8_t o[kOptionalHeaderSize];
        if (!source_->readAt(fileHeaderSize, o, sizeof o)) return kCoffReadError;
        optional_.magic = get16(o);
        optional_.versionStamp = get16(o + 2);
        optional_.textSize = get32(o + 4);
        optional_.dataSize = get32(o + 8);
        optional_.bssSize = get32(o + 12);
        optional_.entryPoint = get32(o + 16);
        optional_.textStart = get32(o + 20);
        optional_.dataStart = get32(o + 24);
    }

    // The whole section table must lie inside the file before any of it is allocated.
    const uint64_t sectionHeaderSize = version_ == 0xC2 ? kSectionHeaderV2 : kSectionHeaderV01;
    const uint64_t tableEnd =
        fileHeaderSize + header_.optionalHeaderSize + uint64_t{header_.sectionCount} * sectionHeaderSize;
    if (tableEnd > source_->size()) return kCoffReadError;
    try {
        sections_.assign(header_.sectionCount, CoffSection{});
    } catch (const std::bad_alloc&) {
        return kCoffOutOfMemory;
    }
    for (int i = 1; i <= sectionCount(); ++i) {
        CoffSection& s = sections_[static_cast<size_t>(i - 1)];
        if (int rc = readSectionHeader(i, s); rc != kCoffOk) return rc;
        if (!isLoadable(s)) continue;
        const uint64_t bytes = coffUnitsToBytes(*this, s.size);
        // A loadable section's data must be in the file: callers allocate by this size.
        if (uint64_t{s.rawDataOffset} + bytes > source_->size()) return kCoffReadPastEnd;
        if (bytes > largestLoadableBytes_) {
            largestLoadableBytes_ = bytes;
            largestLoadableIndex_ = i;
        }
    }

    // Stripped files have no symbol table and thus no string table; its length is checked when a long
    // name needs it.
    const uint64_t stringTableAt =
        uint64_t{header_.symbolTableOffset} + kSymbolEntrySize * header_.symbolCount;
    uint8_t len[4];
    if (header_.symbolTableOffset != 0 && source_->readAt(stringTableAt, len, sizeof len))
        stringTableLength_ = get32(len);
    return kCoffOk;
}

int CoffFile::readSectionHeader(int index, CoffSection& s) {
    if (index < 1 || index > sectionCount()) return kCoffBadSectionIndex;
    const size_t fileHeaderSize = version_ == 0xC0 ? kFileHeaderV0 : kFileHeaderV12;
    const size_t headerSize = version_ == 0xC2 ? kSectionHeaderV2 : kSectionHeaderV01;
    const uint64_t at = fileHeaderSize + header_.optionalHeaderSize + uint64_t(index - 1) * headerSize;
    uint8_t h[kSectionHeaderV2];
    if (!source_->readAt(at, h, headerSize)) return kCoffReadError;
    std::memcpy(s.name.data(), h, 8);
    s.physicalAddress = get32(h + 8);
    s.virtualAddress = get32(h + 12);
    s.size = get32(h + 16);
    s.rawDataOffset = get32(h + 20);
    s.relocationOffset = get32(h + 24);
    s.lineNumberOffset = get32(h + 28);
    if (headerSize == kSectionHeaderV2) {
        s.relocationCount = get32(h + 32);
        s.lineNumberCount = get32(h + 36);
        s.flags = get32(h + 40);
        s.reserved = get16(h + 44);
        s.page = get16(h + 46);
    } else {
        s.relocationCount = get16(h + 32);
        s.lineNumberCount = get16(h + 34);
        s.flags = get16(h + 36);
        s.reserved = h[38];
        s.page = h[39];
    }
    if (inlineName(s)) {
        if ((s.flags & kCoffCopy) && std::memcmp(s.name.data(), ".cinit\0", 7) == 0) cinitIndex_ = index;
        if ((s.flags & kCoffUninitialised) && std::memcmp(s.name.data(), ".bss\0", 5) == 0) bssIndex_ = index;
    }
    return kCoffOk;
}

int CoffFile::loadStringTable() {
    if (stringTableLoaded_) return kCoffOk;
    const uint64_t at = uint64_t{header_.symbolTableOffset} + kSymbolEntrySize * header_.symbolCount;
    // The length counts its own 4 bytes; a table that would reach past the end of the file is damaged.
    if (stringTableLength_ < 4 || at + stringTableLength_ > source_->size()) return kCoffReadError;
    try {
        uint32_t pos = 4;
        while (pos < stringTableLength_) {
            const size_t want = std::min<size_t>(kStringChunkSize, stringTableLength_ - pos);
            StringChunk chunk;
            chunk.start = pos;
            chunk.bytes.resize(want);
            if (!source_->readAt(at + pos, chunk.bytes.data(), want)) return kCoffReadError;
            size_t keep = want;
            if (pos + want < stringTableLength_) {
                // A name cut by the chunk's end starts the next chunk instead.
                const auto lastNul = std::find(chunk.bytes.rbegin(), chunk.bytes.rend(), '\0');
                if (lastNul != chunk.bytes.rend()) keep = static_cast<size_t>(chunk.bytes.rend() - lastNul);
                chunk.bytes.resize(keep);
            }
            pos += static_cast<uint32_t>(keep);
            stringChunks_.push_back(std::move(chunk));
        }
    } catch (const std::bad_alloc&) {
        stringChunks_.clear();
        return kCoffOutOfMemory;
    }
    stringTableLoaded_ = true;
    return kCoffOk;
}

const char* coffResultText(int code) {
    switch (code) {
        case kCoffOk:
            return "no error";
        case kCoffOutOfMemory:
            return "out of memory";
        case kCoffCannotOpen:
            return "the file cannot be opened";
        case kCoffReadError:
            return "seek or read error, or a short header";
        case kCoffBadSectionIndex:
            return "section index out of range";
        case kCoffNotCoff:
            return "not a TI COFF file";
        case kCoffNotLoadable:
            return "section has no loadable contents";
        case kCoffReadPastEnd:
            return "read past the end of a section's data";
        default:
            return "unknown error";
    }
}

int coffOpenSource(std::unique_ptr<CoffSource> source, const uint8_t callerBlock[16],
                   std::unique_ptr<CoffFile>& handle) {
    handle = std::make_unique<CoffFile>(std::move(source), callerBlock);
    return handle->readHeaders();
}

int coffOpen(const std::string& path, const uint8_t callerBlock[16], std::unique_ptr<CoffFile>& handle) {
    handle.reset();
    // A directory opens for reading on some systems but is no file to open; a device or pipe has no
    // length to seek to, so what it delivers (up to a bound far above any executable) is read first.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return kCoffCannotOpen;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return kCoffCannotOpen;
    if (!S_ISREG(st.st_mode)) {
        constexpr size_t kMaxStreamBytes = size_t{16} << 20;
        std::vector<uint8_t> bytes(kMaxStreamBytes);
        const size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        bytes.resize(n);
        return coffOpenSource(std::make_unique<MemorySource>(bytes.data(), bytes.size()), callerBlock,
                              handle);
    }
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size < 0) {
        std::fclose(f);
        return kCoffReadError;
    }
    return coffOpenSource(std::make_unique<FileSource>(f, static_cast<uint64_t>(size)), callerBlock, handle);
}

int coffOpenMemory(const uint8_t* data, size_t size, const uint8_t callerBlock[16],
                   std::unique_ptr<CoffFile>& handle) {
    handle.reset();
    if (!data && size) return kCoffCannotOpen;
    return coffOpenSource(std::make_unique<MemorySource>(data, size), callerBlock, handle);
}

int coffClose(std::unique_ptr<CoffFile>& handle) {
    handle.reset();
    return kCoffOk;
}

int coffIsLoadable(const CoffFile& file, int index) {
    const CoffSection* s = file.section(index);
    return s && isLoadable(*s) ? kCoffOk : kCoffNotLoadable;
}

int coffReadSection(CoffFile& file, int index, void* buffer, uint64_t byteOffset, uint64_t maxBytes,
                    uint64_t& bytesRead) {
    bytesRead = 0;
    const CoffSection* s = file.section(index);
    if (!s) return kCoffBadSectionIndex;
    if (s->rawDataOffset == 0) return kCoffNotLoadable;
    const uint64_t total = coffUnitsToBytes(file, s->size);
    if (byteOffset >= total) return kCoffReadPastEnd;
    const uint64_t count = std::min(maxBytes, total - byteOffset);
    if (count > SIZE_MAX || !file.source_->readAt(s->rawDataOffset + byteOffset, buffer, count))
        return kCoffReadPastEnd;
    bytesRead = count;
    return kCoffOk;
}

int coffSectionName(CoffFile& file, const CoffSection& section, size_t bufferLength, char* buffer) {
    if (!buffer || bufferLength == 0) return kCoffReadError;
    if (inlineName(section)) {
        const size_t n = std::min<size_t>(8, bufferLength - 1);
        std::memcpy(buffer, section.name.data(), n);
        buffer[n] = '\0';
        return kCoffOk;
    }
    buffer[0] = '\0';
    const uint32_t offset = file.get32(reinterpret_cast<const uint8_t*>(section.name.data()) + 4);
    if (int rc = file.loadStringTable(); rc != kCoffOk) return rc;
    for (const auto& chunk : file.stringChunks_) {
        if (offset < chunk.start || offset - chunk.start >= chunk.bytes.size()) continue;
        const char* from = chunk.bytes.data() + (offset - chunk.start);
        const size_t available = chunk.bytes.size() - (offset - chunk.start);
        size_t n = 0;
        while (n < available && n + 1 < bufferLength && from[n] != '\0') ++n;
        std::memcpy(buffer, from, n);
        buffer[n] = '\0';
        return kCoffOk;
    }
    return kCoffReadError;  // the offset is not inside the table
}

std::string coffSectionName(CoffFile& file, const CoffSection& section) {
    char name[256];
    if (coffSectionName(file, section, sizeof name, name) != kCoffOk) return {};
    return name;
}

uint64_t coffUnitsToBytes(uint16_t targetId, uint64_t units) {
    switch (targetId) {
        case 0x90:
            return units / 8;
        case 0x91:
        case 0x95:
        case 0x96:
        case 0x97:
        case 0x99:
        case 0x9C:
            return units;
        case 0x92:
        case 0x98:
        case 0x9D:
            return units * 2;
        case 0x93:
            return units * 4;
        default:
            return 0;
    }
}

uint64_t coffUnitsToBytes(const CoffFile& file, uint64_t units) {
    return coffUnitsToBytes(file.targetId(), units);
}

}  // namespace vzprg
