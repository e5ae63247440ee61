#pragma once
// The controller's processor driven as the firmware update drives it: reset lines, the ROM boot
// loader at 8N1, a boot stream, then command packets to the access firmware.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crate_fixture.h"
#include "sim/tms320.h"

// A crate whose first bridge is open at the power-on line settings.
inline std::string dspScenario(const std::string& dsp = "", const std::string& controllerExtra = "") {
    return smallScenario(controllerExtra + (dsp.empty() ? "" : R"(, "dsp": )" + dsp));
}

inline uint16_t be16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>((b.at(at) << 8) | b.at(at + 1));
}

// The boot stream of a program: 32-bit values as high half then low half, each low byte first.
struct BootBlock {
    uint32_t address;
    std::vector<uint16_t> words;
};
inline void putHalves(Bytes& out, uint32_t v) {
    for (int shift : {16, 24, 0, 8}) out.push_back(static_cast<uint8_t>(v >> shift));
}
inline Bytes bootStream(uint32_t entry, const std::vector<BootBlock>& blocks, uint8_t keyLow = 0xAA) {
    Bytes out{keyLow, 0x08};
    out.insert(out.end(), 16, 0x00);
    putHalves(out, entry);
    for (const BootBlock& b : blocks) {
        out.push_back(static_cast<uint8_t>(b.words.size()));
        out.push_back(static_cast<uint8_t>(b.words.size() >> 8));
        putHalves(out, b.address);
        for (uint16_t w : b.words) {
            out.push_back(static_cast<uint8_t>(w));
            out.push_back(static_cast<uint8_t>(w >> 8));
        }
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}
// A small stand-in for the access firmware: two blocks, entry in the second.
inline Bytes accessFirmwareStream() {
    return bootStream(0x8000, {{0x3F0, {0x1111, 0x2222}}, {0x8000, {0x7622, 0x761F, 0x0000}}});
}

// A command block: code, address, page 0, word count, parameters 1..4, 0xFFFF, data words.
inline Bytes commandBlock(uint16_t code, uint32_t address = 0, uint16_t words = 0,
                          std::array<uint16_t, 4> parameters = {}, const std::vector<uint16_t>& data = {}) {
    Bytes b;
    auto put = [&b](uint16_t v) {
        b.push_back(static_cast<uint8_t>(v >> 8));
        b.push_back(static_cast<uint8_t>(v));
    };
    put(code);
    put(static_cast<uint16_t>(address >> 16));
    put(static_cast<uint16_t>(address));
    put(0);
    put(words);
    for (uint16_t p : parameters) put(p);
    put(0xFFFF);
    for (uint16_t w : data) put(w);
    return b;
}

class DspFixture : public CrateFixture {
  public:
    explicit DspFixture(const std::string& json = dspScenario()) : CrateFixture(json, false) {}

    vsim::Tms320& dsp() { return crate->dsp(0); }

    void pulse(bool dtr) {
        crate->setLines(slot, true, dtr);
        clock.now += 100000;
        crate->setLines(slot, false, dtr);
        clock.now += 100000;
    }
    void bootLine() {
        crate->setBaudRate(slot, 115200);
        crate->setLineControl(slot, 0x0800);
    }
    void moduleLine() {
        crate->setBaudRate(slot, 115200);
        crate->setLineControl(slot, 0x0810);
    }
    // Writes the bytes and returns all that comes back within the time-out.
    Bytes send(const Bytes& bytes, uint32_t timeoutMs = 2000) {
        crate->write(slot, bytes.data(), bytes.size());
        Bytes in(1024);
        bool ok = false;
        in.resize(crate->read(slot, in.data(), in.size(), timeoutMs, ok));
        return in;
    }
    // Bytes one at a time with their echoes, as the host downloads to the ROM boot loader.
    Bytes sendEchoed(const Bytes& bytes) {
        Bytes echoes;
        for (uint8_t b : bytes) {
            const Bytes e = send({b}, 50);
            echoes.insert(echoes.end(), e.begin(), e.end());
        }
        return echoes;
    }
    // Reset into the ROM boot loader, autobaud, download, and the access firmware's autobaud.
    void startAccessFirmware() {
        pulse(true);
        bootLine();
        ASSERT_EQ(send({'A'}), Bytes{'A'});
        ASSERT_EQ(sendEchoed(accessFirmwareStream()), accessFirmwareStream());
        ASSERT_EQ(dsp().state(), vsim::Tms320State::AccessFirmware);
        ASSERT_EQ(send({'A'}), Bytes{'A'});
        ASSERT_TRUE(send(Bytes(8, 0x00), 50).empty());
    }

    struct Answer {
        Bytes ack;    // empty when none came
        Bytes reply;  // the whole reply packet, empty when none came
        uint16_t status() const { return reply.size() >= 10 ? be16(reply, 8) : 0xEEEE; }
        Bytes data() const { return reply.size() > 10 ? Bytes(reply.begin() + 10, reply.end()) : Bytes{}; }
    };
    // Sends one packet with the next sequence number and splits what comes back; acknowledges the
    // reply as the host does.
    Answer command(const Bytes& block, uint16_t check = 0) {
        const auto length = static_cast<uint16_t>(block.size() + 8);
        Bytes packet{0x01,
                     0x66,
                     0x99,
                     sequence++,
                     static_cast<uint8_t>(length >> 8),
                     static_cast<uint8_t>(length),
                     static_cast<uint8_t>(check >> 8),
                     static_cast<uint8_t>(check)};
        packet.insert(packet.end(), block.begin(), block.end());
        Bytes in = send(packet);
        Answer a;
        if (in.size() >= 8 && (in[0] == 0x06 || in[0] == 0x15)) {
            a.ack.assign(in.begin(), in.begin() + 8);
            in.erase(in.begin(), in.begin() + 8);
        }
        a.reply = in;
        if (a.reply.size() >= 8) send({0x06, 0x99, 0x66, a.reply[3], 0x00, 0x08, 0x00, 0x00}, 1);
        return a;
    }
    Answer flashWrite(uint32_t address, const std::vector<uint16_t>& words) {
        return command(commandBlock(11, address, static_cast<uint16_t>(words.size()), {}, words));
    }
    Answer verify(uint32_t address, const std::vector<uint16_t>& words) {
        uint16_t sum = 0;
        for (uint16_t w : words) sum = static_cast<uint16_t>(sum + w);
        return command(
            commandBlock(12, address, static_cast<uint16_t>(words.size()), {0x0F0F, 0x1F, 0, sum}));
    }
    // A module access exchange at the controller's own line settings: answered or not.
    bool controllerAnswers() {
        moduleLine();
        const Bytes allOff{0x00, 0x31, 0x02, 0x00, 0x69};
        crate->write(slot, allOff.data(), allOff.size());
        Bytes reply(3);
        bool ok = false;
        return crate->read(slot, reply.data(), 3, 333, ok) == 3;
    }

    uint8_t sequence = 0;
};
