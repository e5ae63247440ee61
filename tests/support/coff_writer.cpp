#include "tests/support/coff_writer.h"

#include <cstdio>
#include <memory>

namespace vztest {
namespace {

class Out {
  public:
    explicit Out(bool big) : big_(big) {}
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint32_t v) {
        if (big_) {
            u8(static_cast<uint8_t>(v >> 8));
            u8(static_cast<uint8_t>(v));
        } else {
            u8(static_cast<uint8_t>(v));
            u8(static_cast<uint8_t>(v >> 8));
        }
    }
    void u32(uint32_t v) {
        if (big_) {
            u16(v >> 16);
            u16(v);
        } else {
            u16(v);
            u16(v >> 16);
        }
    }
    std::vector<uint8_t> bytes;

  private:
    bool big_;
};

}  // namespace

size_t coffFileHeaderSize(int version) {
    return version == 0 ? 20 : 22;
}
size_t coffSectionHeaderSize(int version) {
    return version == 2 ? 48 : 40;
}

size_t coffSectionHeaderOffset(const CoffWriterOptions& o, int index) {
    return coffFileHeaderSize(o.version) + (o.optionalHeader ? 28 : 0) +
           static_cast<size_t>(index - 1) * coffSectionHeaderSize(o.version);
}

std::vector<uint8_t> writeCoff(const CoffWriterOptions& o, const std::vector<CoffWriterSection>& sections) {
    const size_t headersEnd = coffSectionHeaderOffset(o, static_cast<int>(sections.size()) + 1);
    // Section data after the headers, then an empty symbol table and the string table.
    std::vector<uint32_t> dataOffsets;
    size_t at = headersEnd;
    for (const auto& s : sections) {
        dataOffsets.push_back(s.rawData ? static_cast<uint32_t>(at) : 0);
        if (s.rawData) at += 2 * s.words.size();
    }
    const auto symbolTable = static_cast<uint32_t>(at);
    std::string strings;
    std::vector<uint32_t> nameOffsets;
    for (const auto& s : sections) {
        if (s.name.size() > 8) {
            nameOffsets.push_back(static_cast<uint32_t>(4 + strings.size()));
            strings += s.name;
            strings += '\0';
        } else {
            nameOffsets.push_back(0);
        }
    }

    Out out(o.bigEndian);
    if (o.version == 0) {
        out.u16(o.targetId);
    } else {
        out.u16(o.version == 1 ? 0xC1 : 0xC2);
    }
    out.u16(static_cast<uint32_t>(sections.size()));
    out.u32(0x5F3759DF);  // time stamp
    out.u32(symbolTable);
    out.u32(0);  // symbols
    out.u16(o.optionalHeader ? 28 : 0);
    out.u16(o.bigEndian ? 0x0200 : 0x0000);
    if (o.version != 0) out.u16(o.targetId);
    if (o.optionalHeader) {
        out.u16(0x0108);
        out.u16(0x0001);
        out.u32(0);
        out.u32(0);
        out.u32(0);
        out.u32(o.entryPoint);
        out.u32(0);
        out.u32(0);
    }
    for (size_t i = 0; i < sections.size(); ++i) {
        const auto& s = sections[i];
        if (nameOffsets[i]) {
            out.u32(0);
            out.u32(nameOffsets[i]);
        } else {
            for (size_t c = 0; c < 8; ++c) out.u8(c < s.name.size() ? static_cast<uint8_t>(s.name[c]) : 0);
        }
        out.u32(s.address);
        out.u32(s.address);
        out.u32(static_cast<uint32_t>(s.words.size()));  // units of 2 bytes
        out.u32(dataOffsets[i]);
        out.u32(0);
        out.u32(0);
        if (o.version == 2) {
            out.u32(0);
            out.u32(0);
            out.u32(s.flags);
            out.u16(0);
            out.u16(s.page);
        } else {
            out.u16(0);
            out.u16(0);
            out.u16(s.flags);
            out.u8(0);
            out.u8(static_cast<uint8_t>(s.page));
        }
    }
    for (const auto& s : sections)
        if (s.rawData)
            for (uint16_t w : s.words) out.u16(w);
    out.u32(static_cast<uint32_t>(4 + strings.size()));
    for (char c : strings) out.u8(static_cast<uint8_t>(c));
    return out.bytes;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    return f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

bool writeCoffFile(const std::string& path, const CoffWriterOptions& options,
                   const std::vector<CoffWriterSection>& sections) {
    return writeBytes(path, writeCoff(options, sections));
}

std::vector<uint16_t> versionWords(const std::string& text16) {
    std::vector<uint16_t> words{0x480E};
    for (size_t i = 0; i < 16; i += 2) {
        const auto lo = static_cast<uint8_t>(i < text16.size() ? text16[i] : ' ');
        const auto hi = static_cast<uint8_t>(i + 1 < text16.size() ? text16[i + 1] : ' ');
        words.push_back(static_cast<uint16_t>(hi << 8 | lo));
    }
    return words;
}

}  // namespace vztest
