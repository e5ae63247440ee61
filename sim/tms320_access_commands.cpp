#include "sim/tms320_access_commands.h"

#include <cstddef>

namespace vsim {
namespace {

constexpr size_t kBlockHeader = 20;  // the command block before its data words
constexpr size_t kMaxPacketData = 248;
// Words one packet can carry to the processor, and back after the status word.
constexpr uint32_t kMaxWriteWords = (kMaxPacketData - kBlockHeader) / 2;  // 114
constexpr uint32_t kMaxReadWords = (kMaxPacketData - 2) / 2;              // 123

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void putBe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

std::vector<uint8_t> status(uint16_t code) {
    std::vector<uint8_t> out;
    putBe16(out, code);
    return out;
}

struct Block {
    uint16_t code;
    uint32_t address;
    uint32_t words;
    uint16_t parameter1;
    uint16_t parameter4;
    const uint8_t* data;  // data words behind the header
    size_t dataBytes;
};

Block decode(const std::vector<uint8_t>& b) {
    const uint8_t* p = b.data();
    return {be16(p),
            (static_cast<uint32_t>(be16(p + 2)) << 16) | be16(p + 4),
            be16(p + 8),
            be16(p + 10),
            be16(p + 16),
            p + kBlockHeader,
            b.size() - kBlockHeader};
}

bool touchesFlash(uint32_t address, uint32_t words) {
    for (uint32_t i = 0; i < words; ++i)
        if (Tms320Flash::contains(address + i)) return true;
    return false;
}

std::vector<uint8_t> readWords(const Block& b, const Tms320Memory& memory) {
    std::vector<uint8_t> out = status(kAccessOk);
    for (uint32_t i = 0; i < b.words; ++i) putBe16(out, memory.read(b.address + i));
    return out;
}

}  // namespace

AccessCommandResult executeAccessCommand(const std::vector<uint8_t>& bytes, Tms320Memory& memory) {
    AccessCommandResult r;
    if (bytes.size() < 2) {
        r.reply = status(kAccessBadLength);
        return r;
    }
    const uint16_t code = be16(bytes.data());
    const bool known = code == kCmdPing || code == kCmdMemoryWrite || code == kCmdMemoryRead ||
                       code == kCmdEraseSectors || code == kCmdFlashWrite || code == kCmdFlashVerify ||
                       code == kCmdFlashRead;
    if (!known) {
        r.reply = status(kAccessUnknownCommand);
        return r;
    }
    if (bytes.size() < kBlockHeader) {
        r.reply = status(kAccessBadLength);
        return r;
    }
    const Block b = decode(bytes);
    const bool writes = code == kCmdMemoryWrite || code == kCmdFlashWrite;
    // Only the write commands carry data words, and exactly as many as they announce.
    const bool lengthFits =
        writes ? b.words <= kMaxWriteWords && b.dataBytes == 2 * size_t{b.words} : b.dataBytes == 0;
    if (!lengthFits || ((code == kCmdMemoryRead || code == kCmdFlashRead) && b.words > kMaxReadWords)) {
        r.reply = status(kAccessBadLength);
        return r;
    }
    switch (code) {
        case kCmdPing:
            r.reply = status(kAccessOk);
            r.reply.insert(r.reply.end(), bytes.begin() + 2, bytes.end());
            break;
        case kCmdMemoryWrite:
            // Flash is programmed only through its own commands; a plain store would not change it.
            if (touchesFlash(b.address, b.words)) {
                r.reply = status(kAccessFlashByMemoryWrite);
                break;
            }
            for (uint32_t i = 0; i < b.words; ++i) memory.ram[b.address + i] = be16(b.data + 2 * i);
            r.reply = status(kAccessOk);
            break;
        case kCmdMemoryRead:
            r.reply = readWords(b, memory);
            break;
        case kCmdEraseSectors:
            if (!memory.flash.erase(b.parameter1)) {
                r.reply = status(kAccessBadMask);
                break;
            }
            r.sectorsErased = Tms320Flash::sectorCount(b.parameter1);
            r.workUs = kEraseSectorUs * r.sectorsErased;
            r.reply = status(kAccessOk);
            break;
        case kCmdFlashWrite:
            if (!Tms320Flash::containsRange(b.address, b.words)) {
                r.reply = status(kAccessBadAddress);
                break;
            }
            // Programming over unerased words succeeds here as on the chip; only verify finds it.
            for (uint32_t i = 0; i < b.words; ++i) memory.flash.program(b.address + i, be16(b.data + 2 * i));
            r.workUs = kFlashWriteWordUs * b.words;
            r.reply = status(kAccessOk);
            break;
        case kCmdFlashVerify:
            if (!Tms320Flash::containsRange(b.address, b.words)) {
                r.reply = status(kAccessBadAddress);
                break;
            }
            r.workUs = kVerifyWordUs * b.words;
            r.reply = status(memory.flash.sum(b.address, b.words) == b.parameter4 ? kAccessOk
                                                                                  : kAccessVerifyFailed);
            break;
        case kCmdFlashRead:
            if (!Tms320Flash::containsRange(b.address, b.words)) {
                r.reply = status(kAccessBadAddress);
                break;
            }
            r.reply = readWords(b, memory);
            break;
        default:
            break;
    }
    return r;
}

}  // namespace vsim
