// The host side of the access firmware's packet protocol on any bytes from the processor: the first
// byte picks the command (and a byte count), the rest arrives in reads of the sizes the input gives.
// Virtual time, so every time-out ends at once; nothing the processor sends may make the host read or
// write outside its buffers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "prg/boot_commands.h"
#include "prg/packet_protocol.h"

namespace {

struct Feed {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint64_t now = 0;
};

int readFeed(void* c, void* buffer, uint32_t count, uint32_t* received) {
    auto& f = *static_cast<Feed*>(c);
    *received = 0;
    if (f.at >= f.size) {
        f.now += 1;
        return 0;
    }
    // The next byte says how many of the following bytes this read delivers.
    uint32_t n = f.data[f.at++] % 16;
    if (n > count) n = count;
    if (n > f.size - f.at) n = static_cast<uint32_t>(f.size - f.at);
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < n; ++i) out[i] = f.data[f.at++];
    *received = n;
    if (n == 0) f.now += 1;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Feed feed{data + 2, size - 2};
    PrgSerialPort port{};
    port.context = &feed;
    port.write = [](void*, const void*, uint32_t count, uint32_t* written) {
        *written = count;
        return 0;
    };
    port.read = readFeed;
    port.flush = [](void*) { return 0; };
    port.sleepMs = [](void* c, uint32_t ms) { static_cast<Feed*>(c)->now += ms; };
    port.nowMs = [](void* c) { return static_cast<Feed*>(c)->now; };

    vzprg::BootLink link;
    link.setPort(&port);
    link.connected = 1;
    const uint32_t bytes = data[1] * 3u;
    std::vector<uint16_t> words(bytes / 2 + 1, 0x1234);
    switch (data[0] % 7) {
        case 0: {
            std::vector<uint8_t> buffer(data[1] % 249);
            vzprg::PktRecvMsg(link, buffer.data(), static_cast<int>(buffer.size()), data[1]);
            break;
        }
        case 1:
            link.request = {0x8000, 0, bytes, words.data(), nullptr, vzprg::kCmdMemRead};
            vzprg::MemRead(link);
            break;
        case 2:
            link.request = {0x3D8000, 0, bytes, nullptr, words.data(), vzprg::kCmdFlashWrite};
            vzprg::MemWrite(link);
            break;
        case 3:
            vzprg::EraseSectors(link, data[1]);
            break;
        case 4:
            vzprg::VerifyChecksum(link, 0x3D8000, 0, bytes, words.data());
            break;
        case 5:
            vzprg::PingChannel(link);
            break;
        default: {
            const uint8_t packet[4] = {1, 2, 3, 4};
            vzprg::PktSendMsg(link, packet, sizeof packet);
            break;
        }
    }
    return 0;
}
