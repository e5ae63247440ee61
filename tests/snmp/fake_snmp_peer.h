#pragma once
// A scripted crate controller behind the bridge interface: it decodes what the host writes with
// the test's own wire code, asks a script for the answer and hands the answer out one chunk per
// read. A read with nothing queued costs the bridge's read time-out on the virtual clock.
#include <deque>
#include <functional>

#include "base/clock.h"
#include "link/bridge.h"
#include "tests/snmp/peer_wire.h"
#include "tests/support/stub_bridge.h"

namespace vz::test {

constexpr int64_t kReadTimeoutUs = 333'000;

class FakeSnmpPeer : public test::StubBridge {
  public:
    explicit FakeSnmpPeer(VirtualClock& clock) : clock_(clock) {}

    // Returns the read chunks that answer one request (already framed); none for silence.
    std::function<std::vector<Bytes>(const SnmpRequest&)> script;
    // Everything the host wrote, one entry per write; the decoded SNMP requests in order.
    std::vector<Bytes> writes;
    std::vector<SnmpRequest> requests;
    std::vector<Bytes> sentPackets;  // IP packets, SLIP removed
    std::deque<Bytes> chunks;
    uint8_t failReadsWith = SI_SUCCESS;  // non-zero: every read fails with this status

    // The framed response that carries an OCTET STRING value to the request.
    static Bytes octetAnswer(const SnmpRequest& r, const Bytes& value, int version = 1) {
        return slipEncodeFrame(agentPacket(snmpResponse(r.id, r.oid, octetString(value), version)));
    }
    void answerEveryRequestWith(const Bytes& value) {
        script = [value](const SnmpRequest& r) { return std::vector<Bytes>{octetAnswer(r, value)}; };
    }

    uint8_t write(SiHandle, const void* buffer, uint32_t length, uint32_t& written) override {
        const auto* p = static_cast<const uint8_t*>(buffer);
        writes.emplace_back(p, p + length);
        written = length;
        for (const Bytes& packet : slipFrames(writes.back())) {
            sentPackets.push_back(packet);
            if (packet.size() < 28) continue;
            auto request = decodeRequest(Bytes(packet.begin() + 28, packet.end()));
            if (!request) continue;
            requests.push_back(*request);
            if (script)
                for (Bytes& c : script(*request)) chunks.push_back(std::move(c));
        }
        return SI_SUCCESS;
    }

    uint8_t read(SiHandle, void* buffer, uint32_t length, uint32_t& received) override {
        received = 0;
        if (failReadsWith != SI_SUCCESS) return failReadsWith;
        if (chunks.empty()) {
            clock_.advanceUs(kReadTimeoutUs);
            return SI_READ_TIMED_OUT;
        }
        Bytes& c = chunks.front();
        received = static_cast<uint32_t>(std::min<size_t>(c.size(), length));
        std::copy_n(c.begin(), received, static_cast<uint8_t*>(buffer));
        c.erase(c.begin(), c.begin() + received);
        if (c.empty()) chunks.pop_front();
        return received == length ? SI_SUCCESS : SI_READ_TIMED_OUT;
    }

    uint8_t getNumDevices(uint32_t& count) override {
        count = 1;
        return SI_SUCCESS;
    }
    uint8_t getProductString(uint32_t, char* buffer, int) override {
        buffer[0] = 0;
        return SI_SUCCESS;
    }
    uint8_t open(uint32_t, SiHandle& handle) override {
        handle = 1;
        return SI_SUCCESS;
    }
    uint8_t flushBuffers(SiHandle, bool, bool) override {
        ++flushes;
        return SI_SUCCESS;
    }

    int flushes = 0;

  private:
    VirtualClock& clock_;
};

}  // namespace vz::test
