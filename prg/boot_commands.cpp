#include "prg/boot_commands.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "prg/boot_stream.h"
#include "prg/packet_protocol.h"

namespace vzprg {
namespace {

using Block = std::array<uint8_t, kMaxPacketData>;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void buildCommand(Block& b, uint16_t command, uint32_t address, uint16_t page, uint16_t words,
                  const std::array<uint32_t, 4>& parameters) {
    put16(&b[0], command);
    put16(&b[2], address >> 16);
    put16(&b[4], address);
    put16(&b[6], page);
    put16(&b[8], words);
    for (size_t i = 0; i < 4; ++i) put16(&b[10 + 2 * i], parameters[i]);
    put16(&b[18], 0xFFFF);
}

int finish(BootLink& link, int result) {
    link.status = result;
    return result;
}

}  // namespace

int PingChannel(BootLink& link) {
    Block block{};
    block[0] = 0x00;
    block[1] = 0x01;
    for (int i = 0; i < 0x12; ++i) block[2 + i] = static_cast<uint8_t>(i);
    if (PktSendMsg(link, block.data(), kCommandHeaderSize) == 0) {
        link.message("PingChannel: Send packet rejected\r\n");
        return -1;
    }
    Block reply{};
    const int n = PktRecvMsg(link, reply.data(), kMaxPacketData, 0);
    bool good = n > 1 + 10;  // status word and the ten pattern bytes
    for (int i = 0; good && i < 10; ++i) good = reply[2 + i] == i;
    if (!good) {
        link.message("Invalid return packet\r\n");
        return -1;
    }
    return 0;
}

int MemRead(BootLink& link) {
    if (!link.connected) return finish(link, -1);
    PendingRequest& r = link.request;
    uint32_t remaining = r.numBytes & ~1u;
    if (remaining < 2 || !r.buffer) return finish(link, -1);
    uint32_t address = r.address;
    uint16_t* out = r.buffer;
    while (remaining > 0) {
        if (link.cancelled()) return finish(link, -1);
        const int chunk = static_cast<int>(std::min<uint32_t>(remaining, kMaxReadChunkBytes));
        Block block{};
        buildCommand(block, static_cast<uint16_t>(r.command), address, r.page,
                     static_cast<uint16_t>(chunk / 2), {0, 0, 0, 0});
        if (PktSendMsg(link, block.data(), kCommandHeaderSize) == 0) {
            link.message("MemRead: Send packet rejected\r\n");
            return finish(link, -1);
        }
        Block reply{};
        int n = PktRecvMsg(link, reply.data(), kMaxPacketData, chunk / 100);
        const uint8_t* data = reply.data();
        if (n >= 2) {  // the status word goes; the data after it is what counts
            n -= 2;
            data += 2;
        }
        // Never more than was asked for: the caller's buffer ends there.
        const uint32_t bytes = std::min<uint32_t>(static_cast<uint32_t>(n) & ~1u, remaining);
        if (bytes == 0) {
            link.message("Failed data receive\r\n");
            return finish(link, -1);
        }
        for (uint32_t i = 0; i < bytes / 2; ++i) *out++ = get16(data + 2 * i);
        address += bytes / 2;
        remaining -= bytes;
    }
    return finish(link, 0);
}

int MemWrite(BootLink& link) {
    PendingRequest& r = link.request;
    if (!link.connected || !r.data) return finish(link, -1);
    uint32_t remaining = r.numBytes & ~1u;
    uint32_t address = r.address;
    const uint16_t* in = r.data;
    const bool flash = r.command == kCmdFlashWrite;
    const PrgOptions& o = link.options;
    const std::array<uint32_t, 4> parameters =
        flash ? std::array<uint32_t, 4>{o.prgProgrammingOption1, o.prgProgrammingOption2,
                                        o.prgProgrammingOption3, o.prgProgrammingOption4}
              : std::array<uint32_t, 4>{0, 0, 0, 0};
    while (remaining > 0) {
        if (link.cancelled()) return finish(link, -1);
        const int chunk = static_cast<int>(std::min<uint32_t>(remaining, kMaxWriteChunkBytes));
        const int words = chunk / 2;
        Block block{};
        buildCommand(block, static_cast<uint16_t>(r.command), address, r.page, static_cast<uint16_t>(words),
                     parameters);
        for (int i = 0; i < words; ++i) put16(&block[static_cast<size_t>(kCommandHeaderSize + 2 * i)], in[i]);
        if (PktSendMsg(link, block.data(), kCommandHeaderSize + chunk) == 0) {
            link.message("MemWrite: Send packet rejected\r\n");
            return finish(link, -1);
        }
        link.message(".");
        Block reply{};
        const int timeout = flash ? o.prgProgrammingTimeout : chunk / 100;
        const int n = PktRecvMsg(link, reply.data(), kMaxPacketData, timeout);
        const int error = n < 2 ? -1 : get16(reply.data());
        if (error != 0) {
            link.message("Write Failed, Address = %08lx, Error = %d\r\n", static_cast<unsigned long>(address),
                         error);
            return finish(link, -1);
        }
        in += words;
        address += static_cast<uint32_t>(words);
        remaining -= static_cast<uint32_t>(chunk);
    }
    return finish(link, 0);
}

int EraseSectors(BootLink& link, uint32_t sectorMask) {
    if (link.busy()) return PRG_STATUS_BUSY;
    link.status = PRG_STATUS_BUSY;
    link.cancel = 0;
    if (!link.connected) return finish(link, -1);
    Block block{};
    buildCommand(block, kCmdErase, 0, 0, 0, {sectorMask & 0xFFFF, 0, 0, 0});
    const int64_t wide =
        int64_t{link.options.prgEraseTimeout} * 30 * (1 + std::popcount(sectorMask & 0xFFFEu));
    const int timeout = static_cast<int>(std::clamp<int64_t>(wide, 0, INT32_MAX));
    if (PktSendMsg(link, block.data(), kCommandHeaderSize) == 0) return finish(link, -1);
    Block reply{};
    const int n = PktRecvMsg(link, reply.data(), kMaxPacketData, timeout);
    return finish(link, n > 1 ? get16(reply.data()) : -1);
}

int VerifyChecksum(BootLink& link, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data) {
    const uint32_t words = (numBytes & ~1u) / 2;
    // The word count has 16 bits on the wire; a longer stretch would be verified only in part.
    if (!link.connected || (!data && words > 0) || words > 0xFFFF) return finish(link, -1);
    uint16_t sum = 0;
    for (uint32_t i = 0; i < words; ++i) sum = static_cast<uint16_t>(sum + data[i]);
    const PrgOptions& o = link.options;
    Block block{};
    buildCommand(block, kCmdFlashVerify, address, page, static_cast<uint16_t>(words),
                 {o.prgVerifyOption1, o.prgVerifyOption2, o.prgVerifyOption3, sum});
    if (PktSendMsg(link, block.data(), kCommandHeaderSize) == 0) {
        link.message("PRG_FlashVerify: Send packet rejected\r\n");
        return finish(link, -1);
    }
    Block reply{};
    const int n = PktRecvMsg(link, reply.data(), kMaxPacketData, o.prgVerifyTimeout);
    if (n < 2 || get16(reply.data()) != 0) {
        link.message("Verify Failed, Address = %08lx\r\n", static_cast<unsigned long>(address));
        return finish(link, -1);
    }
    return finish(link, 0);
}

int OpenChannel(BootLink& link) {
    link.resetLink();
    const PrgSerialPort& port = link.port();
    if (!link.hasPort() || !port.configure || port.configure(port.context, kLinkBaud, kLineControl8N1) != 0) {
        link.log(kLogError, "OpenChannel: the serial port cannot be set to %u baud 8N1", kLinkBaud);
        link.message("No serial port to the boot loader at %d baud\r\n", static_cast<int>(kLinkBaud));
        return finish(link, -1);
    }
    link.message("Opened USB connection to boot loader at %d baud\r\n", static_cast<int>(kLinkBaud));
    if (port.setModemLines) port.setModemLines(port.context, 0, 1);

    const bool wasLoaded = link.options.prgSkipBootLoad != 0;
    if (!wasLoaded) {
        if (AutoBaud(link) != 0) {
            link.message("Autobaud failed before loading application\r\n");
            return finish(link, -1);
        }
        if (LoadAccessFirmware(link, link.options.prgBootLoadFileName.data()) != 0) {
            link.message("    Failed to load boot code\r\n");
            return finish(link, -1);
        }
        link.message("\r\n    Boot code loaded\r\n");
        link.sleepMs(1000);
        if (AutoBaud(link) != 0) {
            link.message("Autobaud failed after loading application\r\n");
            return finish(link, -1);
        }
        const uint8_t zeros[8] = {};
        SioSendMsg(link, zeros, sizeof zeros);
        link.sleepMs(300);
        SioFlush(link);
        link.options.prgSkipBootLoad = 1;
    } else if (PingChannel(link) != 0) {
        return finish(link, -1);
    }
    link.connected = 1;
    link.message("Connected at %d baud\r\n", static_cast<int>(kLinkBaud));
    return finish(link, 0);
}

}  // namespace vzprg
