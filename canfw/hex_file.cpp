#include "canfw/hex_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/file_replacement.h"
#include "base/text_format.h"
#include "canfw/hex_record.h"

namespace vz {

uint8_t CHexFile::byteAt(uint32_t address) const {
    const auto it = blocks_.find(address / kBlockSize);
    return it == blocks_.end() ? 0xFF : it->second->data[address % kBlockSize];
}

bool CHexFile::writtenAt(uint32_t address) const {
    const auto it = blocks_.find(address / kBlockSize);
    return it != blocks_.end() && it->second->written[address % kBlockSize];
}

bool CHexFile::insertBlock(uint32_t hexAddress, const uint8_t* bytes, uint32_t count, uint32_t phantomBytes) {
    if (phantomBytes >= 4) return false;
    const uint32_t unit = 4 - phantomBytes;
    const uint64_t hexLength = uint64_t{count} * 4 / unit;
    if (!allocated_ || hexAddress < base_ || uint64_t{hexAddress} + hexLength > uint64_t{base_} + size_)
        return false;
    end_ = std::max<uint32_t>(end_, static_cast<uint32_t>(hexAddress + hexLength));
    auto put = [&](uint32_t address, uint8_t value) {
        auto& block = blocks_[address / kBlockSize];
        if (!block) block = std::make_unique<Block>();
        block->data[address % kBlockSize] = value;
        block->written.set(address % kBlockSize);
    };
    for (uint32_t g = 0; g * unit < count; ++g) {
        const uint32_t at = hexAddress + 4 * g;
        for (uint32_t b = 0; b < unit; ++b) put(at + b, g * unit + b < count ? bytes[g * unit + b] : 0xFF);
        for (uint32_t b = unit; b < 4; ++b) put(at + b, 0x00);
    }
    return true;
}

bool CHexFile::writeHexFile(const std::string& path, bool writeAll) {
    if (!allocated_) {
        report("Error: Invalid data or allocation failed\n");
        return false;
    }
    // Only a regular file (or a new name) is written: a device or a pipe would take a partial
    // file or block the writer, and renaming over it would replace the device node.
    struct stat info {};
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (path.empty() || (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) ||
        access(folder.c_str(), W_OK | X_OK) != 0) {
        report(formatText(kLineLimit, "Error: Unable to open file (szFilename='%s')\n", path.c_str()));
        return false;
    }
    // The text is collected first and replaces the file in one step, so that a failed write (a full
    // disk) leaves an earlier backup of that name as it was.
    std::string text;
    auto line = [&](const std::string& record) { text += record + "\r\n"; };
    uint32_t segment = base_ & 0xFFFF0000u;
    uint32_t offset = base_ & 0xFFFF;
    bool segmentPending = true;
    auto segmentRecord = [&] {
        const uint8_t upper[2] = {static_cast<uint8_t>(segment >> 24), static_cast<uint8_t>(segment >> 16)};
        return formatHexRecord(4, 0, upper, 2);
    };
    std::vector<uint8_t> record;
    record.reserve(kBytesPerRecord);
    uint64_t address = uint64_t{segment} + offset;
    while (address < end_) {
        // Without writeAll a block never written holds no record to write: step over it.
        if (!writeAll && !blocks_.count(static_cast<uint32_t>(address / kBlockSize))) {
            const uint64_t next = std::min<uint64_t>((address / kBlockSize + 1) * kBlockSize, end_);
            const uint64_t nextSegment = next & 0xFFFF0000u;
            if (nextSegment != segment && next < end_) {
                segment = static_cast<uint32_t>(nextSegment);
                segmentPending = true;
            }
            offset = static_cast<uint32_t>(next & 0xFFFF);
            address = next;
            continue;
        }
        const uint32_t start = offset;
        const uint32_t length =
            static_cast<uint32_t>(std::min<uint64_t>({kBytesPerRecord, 0x10000 - offset, end_ - address}));
        record.clear();
        bool anyWritten = false, allFF = true;
        for (uint32_t i = 0; i < length; ++i) {
            const uint32_t a = static_cast<uint32_t>(address + i);
            const uint8_t b = byteAt(a);
            record.push_back(b);
            anyWritten = anyWritten || writtenAt(a);
            allFF = allFF && b == 0xFF;
        }
        if (writeAll || (anyWritten && !allFF)) {
            if (segmentPending) line(segmentRecord());
            segmentPending = false;
            line(formatHexRecord(0, start, record.data(), record.size()));
        }
        address += length;
        offset += length;
        if (offset >= 0x10000) {
            segment += 0x10000;
            offset = 0;
            segmentPending = true;
        }
    }
    if (startSegment_) {
        const uint8_t cs[4] = {
            static_cast<uint8_t>(startSegment_->first >> 8), static_cast<uint8_t>(startSegment_->first),
            static_cast<uint8_t>(startSegment_->second >> 8), static_cast<uint8_t>(startSegment_->second)};
        line(formatHexRecord(3, 0, cs, 4));
    }
    line(":00000001FF");
    std::string error;
    if (!replaceFileContents(path, text.data(), text.size(), error)) {
        const int code = errno;
        report(formatText(kLineLimit, "Error: %s (IOsError=%d)\n", error.c_str(), code));
        return false;
    }
    return true;
}

}  // namespace vz
