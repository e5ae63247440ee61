#pragma once
// A serial port for the driver's tests: virtual time, every written byte recorded, and a scripted
// processor behind it. In echo mode it answers like the ROM boot loader (every byte back); in packet
// mode like the access firmware: an acknowledgement for each packet and the reply the test scripts.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "prg/vzprg.h"

namespace vztest {

struct HostPacket {
    uint8_t sequence = 0;
    std::vector<uint8_t> data;
};

class FakeSerialPort {
  public:
    enum class Mode { Silent, Echo, Packets };

    // What the firmware does with a packet: the acknowledgement's first byte (0 for none) and the
    // reply data (none: no reply packet).
    struct Answer {
        uint8_t ack = 0x06;
        std::optional<std::vector<uint8_t>> reply;
    };
    using Firmware = std::function<Answer(const HostPacket&)>;

    Mode mode = Mode::Echo;
    Firmware firmware;
    uint64_t now = 0;
    std::vector<uint8_t> written;
    std::vector<HostPacket> packets;             // what the host sent in packet mode
    std::vector<std::vector<uint8_t>> hostAcks;  // the host's acknowledgements of replies
    std::deque<uint8_t> incoming;
    std::vector<std::string> logs;
    std::vector<uint32_t> configured;  // baud, line control
    std::vector<int> modemLines;       // rts, dtr
    int flushes = 0;
    uint8_t replySequence = 0;
    int writeStatus = 0;

    PrgSerialPort port() {
        PrgSerialPort p{};
        p.context = this;
        p.write = [](void* c, const void* d, uint32_t n, uint32_t* w) { return self(c).write(d, n, w); };
        p.read = [](void* c, void* b, uint32_t n, uint32_t* r) { return self(c).read(b, n, r); };
        p.flush = [](void* c) {
            self(c).incoming.clear();
            ++self(c).flushes;
            return 0;
        };
        p.configure = [](void* c, uint32_t baud, uint16_t lc) {
            self(c).configured = {baud, lc};
            return 0;
        };
        p.setModemLines = [](void* c, int rts, int dtr) {
            self(c).modemLines = {rts, dtr};
            return 0;
        };
        p.log = [](void* c, uint32_t flags, const char* text) {
            self(c).logs.push_back((flags == 0x80000000   ? "E "
                                    : flags == 0x80000001 ? "W "
                                                          : "  ") +
                                   std::string(text));
        };
        p.sleepMs = [](void* c, uint32_t ms) { self(c).now += ms; };
        p.nowMs = [](void* c) { return self(c).now; };
        return p;
    }

    bool logged(const std::string& part) const {
        for (const auto& l : logs)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }

    // A reply packet from the processor as the firmware would send it.
    std::vector<uint8_t> replyPacket(const std::vector<uint8_t>& data, uint16_t check = 0) {
        const auto total = static_cast<uint16_t>(data.size() + 8);
        std::vector<uint8_t> p{0x01,
                               0x99,
                               0x66,
                               replySequence++,
                               static_cast<uint8_t>(total >> 8),
                               static_cast<uint8_t>(total),
                               static_cast<uint8_t>(check >> 8),
                               static_cast<uint8_t>(check)};
        p.insert(p.end(), data.begin(), data.end());
        return p;
    }
    void queue(const std::vector<uint8_t>& bytes) {
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    }

  private:
    static FakeSerialPort& self(void* c) { return *static_cast<FakeSerialPort*>(c); }

    int write(const void* data, uint32_t count, uint32_t* w) {
        if (writeStatus != 0) return writeStatus;
        const auto* b = static_cast<const uint8_t*>(data);
        written.insert(written.end(), b, b + count);
        *w = count;
        if (mode == Mode::Echo) incoming.insert(incoming.end(), b, b + count);
        if (mode == Mode::Packets) pending_.insert(pending_.end(), b, b + count), parse();
        return 0;
    }

    int read(void* buffer, uint32_t count, uint32_t* r) {
        uint32_t n = 0;
        auto* out = static_cast<uint8_t*>(buffer);
        while (n < count && !incoming.empty()) {
            out[n++] = incoming.front();
            incoming.pop_front();
        }
        if (n == 0) now += 1;  // a read waits a little when nothing is there
        *r = n;
        return 0;
    }

    void parse() {
        while (pending_.size() >= 8) {
            if ((pending_[0] == 0x06 || pending_[0] == 0x15) && pending_[1] == 0x99) {
                hostAcks.emplace_back(pending_.begin(), pending_.begin() + 8);
                pending_.erase(pending_.begin(), pending_.begin() + 8);
                continue;
            }
            const size_t total = size_t{pending_[4]} << 8 | pending_[5];
            if (total < 8 || pending_.size() < total) return;
            HostPacket packet{pending_[3],
                              std::vector<uint8_t>(pending_.begin() + 8, pending_.begin() + total)};
            std::vector<uint8_t> header(pending_.begin(), pending_.begin() + 8);
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(total));
            packets.push_back(packet);
            const Answer a = firmware ? firmware(packet) : Answer{};
            if (a.ack) queue({a.ack, 0x66, 0x99, header[3], 0x00, 0x08, header[6], header[7]});
            if (a.reply) queue(replyPacket(*a.reply));
        }
    }

    std::vector<uint8_t> pending_;
};

}  // namespace vztest
