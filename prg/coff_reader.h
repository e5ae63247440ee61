#pragma once
// Reader of TI COFF executables (versions 0, 1 and 2, either byte order) as the C2000 code generation
// tools write them: file, optional and section headers, long section names and the raw data of loadable
// sections. Every size and offset is checked against the length of the file, so a damaged or hostile
// file ends in an error code and never in a read past its end or an allocation it cannot justify.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vzprg {

enum CoffResult : int {
    kCoffOk = 0,
    kCoffOutOfMemory = -100,
    kCoffCannotOpen = -101,
    kCoffReadError = -102,
    kCoffBadSectionIndex = -103,
    kCoffNotCoff = -104,
    kCoffNotLoadable = -106,
    kCoffReadPastEnd = -107,
};

// What a result code means, for the operator ("file cannot be opened", ...).
const char* coffResultText(int code);

// Section type flags the reader looks at.
enum CoffSectionFlags : uint32_t {
    kCoffDummy = 0x01,
    kCoffNoLoad = 0x02,
    kCoffCopy = 0x10,
    kCoffUninitialised = 0x80,
};

struct CoffFileHeader {
    uint16_t versionId = 0;  // 0xC1/0xC2, or the target id in version 0
    uint16_t sectionCount = 0;
    uint32_t timeStamp = 0;
    uint32_t symbolTableOffset = 0;
    uint32_t symbolCount = 0;
    uint16_t optionalHeaderSize = 0;
    uint16_t flags = 0;
    uint16_t targetId = 0;
};

struct CoffOptionalHeader {
    uint16_t magic = 0;
    uint16_t versionStamp = 0;
    uint32_t textSize = 0;
    uint32_t dataSize = 0;
    uint32_t bssSize = 0;
    uint32_t entryPoint = 0;
    uint32_t textStart = 0;
    uint32_t dataStart = 0;
};

// One section header widened to the version 2 layout.
struct CoffSection {
    std::array<char, 8> name{};  // inline, or 4 zero bytes and a string table offset (file order)
    uint32_t physicalAddress = 0;
    uint32_t virtualAddress = 0;  // the load address
    uint32_t size = 0;            // in the target's addressable units
    uint32_t rawDataOffset = 0;
    uint32_t relocationOffset = 0;
    uint32_t lineNumberOffset = 0;
    uint32_t relocationCount = 0;
    uint32_t lineNumberCount = 0;
    uint32_t flags = 0;
    uint16_t reserved = 0;
    uint16_t page = 0;
};

// Where the bytes come from: a file on disk or a block in memory (the fuzzer's input).
class CoffSource {
  public:
    virtual ~CoffSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly count bytes at offset; false when they are not all there.
    virtual bool readAt(uint64_t offset, void* buffer, size_t count) = 0;
};

class CoffFile {
  public:
    explicit CoffFile(std::unique_ptr<CoffSource> source, const uint8_t callerBlock[16]);

    uint32_t entryPoint() const { return optional_.entryPoint; }
    int sectionCount() const { return static_cast<int>(sections_.size()); }
    // index is 1-based, as in the file; nullptr outside 1..sectionCount.
    const CoffSection* section(int index) const;
    const std::vector<CoffSection>& sections() const { return sections_; }
    uint64_t largestLoadableBytes() const { return largestLoadableBytes_; }
    int largestLoadableIndex() const { return largestLoadableIndex_; }
    uint16_t version() const { return version_; }
    uint16_t targetId() const { return targetId_; }
    bool byteSwapped() const { return byteSwapped_; }
    bool bigEndianTarget() const { return bigEndianTarget_; }
    bool flag12() const { return flag12_; }
    int bssIndex() const { return bssIndex_; }
    int cinitIndex() const { return cinitIndex_; }
    const CoffFileHeader& fileHeader() const { return header_; }
    const CoffOptionalHeader& optionalHeader() const { return optional_; }
    const std::array<uint8_t, 16>& callerBlock() const { return callerBlock_; }
    uint32_t stringTableLength() const { return stringTableLength_; }

  private:
    friend int coffOpenSource(std::unique_ptr<CoffSource>, const uint8_t[16], std::unique_ptr<CoffFile>&);
    friend int coffReadSection(CoffFile&, int, void*, uint64_t, uint64_t, uint64_t&);
    friend int coffSectionName(CoffFile&, const CoffSection&, size_t, char*);

    struct StringChunk {
        uint32_t start = 0;  // string table offset of the chunk's first byte
        std::vector<char> bytes;
    };

    int readHeaders();
    int readSectionHeader(int index, CoffSection& out);
    int loadStringTable();
    uint16_t get16(const uint8_t* p) const;
    uint32_t get32(const uint8_t* p) const;

    std::unique_ptr<CoffSource> source_;
    std::array<uint8_t, 16> callerBlock_{};
    CoffFileHeader header_;
    CoffOptionalHeader optional_;
    std::vector<CoffSection> sections_;
    uint16_t version_ = 0;
    uint16_t targetId_ = 0;
    bool byteSwapped_ = false;
    bool bigEndianTarget_ = false;
    bool flag12_ = false;
    int bssIndex_ = -1;
    int cinitIndex_ = -1;
    uint64_t largestLoadableBytes_ = 0;
    int largestLoadableIndex_ = -1;
    uint32_t stringTableLength_ = 0;  // 0: the file has none we could read
    bool stringTableLoaded_ = false;
    std::vector<StringChunk> stringChunks_;
};

// Opens and decodes a file; on failure handle may already hold a half-read file (release it with
// coffClose, as after success).
int coffOpen(const std::string& path, const uint8_t callerBlock[16], std::unique_ptr<CoffFile>& handle);
// The same over bytes in memory (copied).
int coffOpenMemory(const uint8_t* data, size_t size, const uint8_t callerBlock[16],
                   std::unique_ptr<CoffFile>& handle);
int coffOpenSource(std::unique_ptr<CoffSource> source, const uint8_t callerBlock[16],
                   std::unique_ptr<CoffFile>& handle);
int coffClose(std::unique_ptr<CoffFile>& handle);

// 0 when the section exists and has contents to load (raw data, a size, not dummy, no-load or copy).
int coffIsLoadable(const CoffFile& file, int index);
// Reads up to maxBytes of the section's data from byteOffset into buffer; bytesRead tells how many.
int coffReadSection(CoffFile& file, int index, void* buffer, uint64_t byteOffset, uint64_t maxBytes,
                    uint64_t& bytesRead);
// The NUL-terminated name, cut to bufferLength - 1 characters.
int coffSectionName(CoffFile& file, const CoffSection& section, size_t bufferLength, char* buffer);
std::string coffSectionName(CoffFile& file, const CoffSection& section);
uint64_t coffUnitsToBytes(const CoffFile& file, uint64_t units);
uint64_t coffUnitsToBytes(uint16_t targetId, uint64_t units);

}  // namespace vzprg
