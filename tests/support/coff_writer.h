#pragma once
// Writes small TI COFF executables for the tests and the demo files: versions 0, 1 and 2, either byte
// order, long names through the string table, sections with flags. Data words are 16 bits (C28x).
#include <cstdint>
#include <string>
#include <vector>

namespace vztest {

struct CoffWriterSection {
    std::string name;
    uint32_t address = 0;
    std::vector<uint16_t> words;
    uint32_t flags = 0;
    uint16_t page = 0;
    bool rawData = true;  // false: no contents in the file (raw data offset 0)
};

struct CoffWriterOptions {
    int version = 2;  // 0, 1 or 2
    bool bigEndian = false;
    uint16_t targetId = 0x9D;  // C28x: 2 bytes an addressable unit
    uint32_t entryPoint = 0;
    bool optionalHeader = true;
};

std::vector<uint8_t> writeCoff(const CoffWriterOptions& options,
                               const std::vector<CoffWriterSection>& sections);
bool writeCoffFile(const std::string& path, const CoffWriterOptions& options,
                   const std::vector<CoffWriterSection>& sections);
bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Where things are, for tests that damage a file on purpose.
size_t coffFileHeaderSize(int version);
size_t coffSectionHeaderSize(int version);
size_t coffSectionHeaderOffset(const CoffWriterOptions& options, int index);  // 1-based

// 16 characters packed two to a word, low byte first, behind the 0x480E marker: a version section.
std::vector<uint16_t> versionWords(const std::string& text16);

}  // namespace vztest
