#include "prg/boot_stream.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "prg/coff_reader.h"

namespace vzprg {
namespace {

constexpr int kAutoBaudTries = 21;
// How long an echo may take through the USB bridge before the stream is given up.
constexpr uint64_t kEchoTimeoutMs = 20;
constexpr int kMaxEmptyEchoReads = 10000;

bool readEcho(BootLink& link, uint8_t& echo) {
    const uint64_t start = link.nowMs();
    for (int empty = 0;; ++empty) {
        if (SioRecvMsg(link, &echo, 1) == 1) return true;
        if (link.nowMs() - start > kEchoTimeoutMs || empty > kMaxEmptyEchoReads) return false;
        link.sleepMs(0);
    }
}

}  // namespace

int AutoBaud(BootLink& link) {
    for (int attempt = 0; attempt < kAutoBaudTries; ++attempt) {
        if (link.cancelled()) return -1;
        SioFlush(link);
        const uint8_t a = 0x41;
        if (SioSendMsg(link, &a, 1) != 1) continue;
        uint8_t answer = 0;
        if (SioRecvMsg(link, &answer, 1) == 1 && answer == a) return 0;
    }
    return -1;
}

int sendBootBytes(BootLink& link, const uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        if (SioSendMsg(link, bytes + i, 1) != 1) return -1;
        uint8_t echo = 0;
        if (!readEcho(link, echo) || echo != bytes[i]) return -1;
    }
    return 0;
}

int sendBootHeader(BootLink& link, uint32_t entryPoint) {
    uint8_t header[22] = {0xAA, 0x08};
    header[18] = static_cast<uint8_t>(entryPoint >> 16);
    header[19] = static_cast<uint8_t>(entryPoint >> 24);
    header[20] = static_cast<uint8_t>(entryPoint);
    header[21] = static_cast<uint8_t>(entryPoint >> 8);
    return sendBootBytes(link, header, sizeof header);
}

int sendBlockHeader(BootLink& link, uint32_t address, uint16_t words) {
    const uint8_t header[6] = {static_cast<uint8_t>(words),         static_cast<uint8_t>(words >> 8),
                               static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24),
                               static_cast<uint8_t>(address),       static_cast<uint8_t>(address >> 8)};
    return sendBootBytes(link, header, sizeof header);
}

int LoadAccessFirmware(BootLink& link, const char* path) {
    if (!path || !*path) return -1;
    std::unique_ptr<CoffFile> coff;
    if (coffOpen(path, nullptr, coff) != kCoffOk) {
        link.message("Unable to open file \"%s\"\r\n", path);
        return -1;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(coff->largestLoadableBytes() + 10);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    link.message("Loading TMS320 access firmware \"%s\" to RAM\r\n", path);
    link.message("    Entry point 0x%08lx\r\n", static_cast<unsigned long>(coff->entryPoint()));
    if (sendBootHeader(link, coff->entryPoint()) != 0) {
        link.message("    Error writing boot header\r\n");
        return -1;
    }
    for (int i = 1; i <= coff->sectionCount(); ++i) {
        if (link.cancelled()) return -1;
        if (coffIsLoadable(*coff, i) != kCoffOk) continue;
        const CoffSection& s = *coff->section(i);
        uint64_t bytes = 0;
        if (coffReadSection(*coff, i, buffer.data(), 0, buffer.size(), bytes) != kCoffOk) {
            link.log(kLogError, "LoadAccessFirmware: section %d cannot be read", i);
            return -1;
        }
        link.message("    Section Address = 0x%08lx, Number of words = %d%s",
                     static_cast<unsigned long>(s.virtualAddress), static_cast<int>(bytes / 2),
                     bytes % 2 ? ", Pad section" : "");
        // An odd byte is sent padded to a whole word, so the block size matches what follows it.
        const uint64_t words = (bytes + 1) / 2;
        if (words > 0xFFFF) {
            link.log(kLogError, "LoadAccessFirmware: section %d is too large for one boot block", i);
            return -1;
        }
        if (bytes % 2) buffer[bytes] = 0;
        if (sendBlockHeader(link, s.virtualAddress, static_cast<uint16_t>(words)) != 0) {
            link.message("    Error writing section header\r\n");
            return -1;
        }
        for (uint64_t at = 0; at < 2 * words; ++at) {
            if (sendBootBytes(link, buffer.data() + at, 1) != 0) {
                link.message("    Error writing section data\r\n");
                return -1;
            }
            if (at % 256 == 0) link.message(".");
        }
        link.message("\r\n");
    }
    const uint8_t terminator[2] = {0, 0};
    return sendBootBytes(link, terminator, 2) == 0 ? 0 : -1;
}

}  // namespace vzprg
