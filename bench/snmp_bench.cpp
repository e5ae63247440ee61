// CPU cost of one SNMP module operation (encoding the request, IP/UDP and SLIP framing, SLIP
// decoding and parsing the response) against the time both frames take on the serial line at
// 115200 baud with 11 bits a byte. The peer answers from memory at once, so only our own work is
// timed. Reported as a fraction: snmp_cpu_to_wire_ratio 0.01 is 1 % of the wire time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "bench/bench_metrics.h"
#include "link/bridge.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/snmp/ip_udp.h"
#include "link/snmp/snmp_client.h"
#include "link/snmp/snmp_operations.h"
#include "link/usb_link.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes tlv(uint8_t tag, const Bytes& contents) {
    Bytes out(contents.size() + 2);
    out[0] = tag;
    out[1] = static_cast<uint8_t>(contents.size());  // every element here is below 128 bytes
    std::copy(contents.begin(), contents.end(), out.begin() + 2);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The framed response to request id `id` of a readAddr of 8 bytes.
Bytes framedResponse(int id) {
    const Bytes reply{0x85, 0x0A, 0x00, 0x10, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes oid{0x2B, 0x06, 0x01, 0x04, 0x01, 0x81, 0xC0, 0x68, 0x01, 0x01, 0x88, 0x03, 0x00};
    const Bytes idInteger =
        id < 128 ? tlv(0x02, {static_cast<uint8_t>(id)}) : tlv(0x02, {0, static_cast<uint8_t>(id)});
    const Bytes message =
        tlv(0x30,
            concat({tlv(0x02, {1}), tlv(0x04, {}),
                    tlv(0xA2, concat({idInteger, tlv(0x02, {0}), tlv(0x02, {0}),
                                      tlv(0x30, tlv(0x30, concat({tlv(0x06, oid), tlv(0x04, reply)})))}))}));
    Bytes packet(28, 0);
    packet.insert(packet.end(), message.begin(), message.end());
    vz::fillIpUdpHeaders(packet.data(), static_cast<int>(message.size()));  // the client checks them
    Bytes framed;
    for (uint8_t b : packet) {
        if (b == 0xC0)
            framed.insert(framed.end(), {0xDB, 0xDC});
        else if (b == 0xDB)
            framed.insert(framed.end(), {0xDB, 0xDD});
        else
            framed.push_back(b);
    }
    framed.push_back(0xC0);
    return framed;
}

// Answers every write with the prepared response to the next request id.
class LoopbackAgent : public vz::BridgeLibrary {
  public:
    LoopbackAgent() {
        for (int id = 1; id <= 255; ++id) responses_[id] = framedResponse(id);
    }
    size_t lastWriteBytes = 0;
    size_t lastReadBytes = 0;

    uint8_t write(vz::SiHandle, const void*, uint32_t length, uint32_t& written) override {
        written = length;
        lastWriteBytes = length;
        nextId_ = nextId_ % 255 + 1;
        pending_ = true;
        return vz::SI_SUCCESS;
    }
    uint8_t read(vz::SiHandle, void* buffer, uint32_t length, uint32_t& received) override {
        received = 0;
        if (!pending_) return vz::SI_READ_TIMED_OUT;
        const Bytes& r = responses_[nextId_];
        received = static_cast<uint32_t>(std::min<size_t>(r.size(), length));
        std::memcpy(buffer, r.data(), received);
        lastReadBytes = received;
        pending_ = false;
        return vz::SI_READ_TIMED_OUT;  // fewer bytes than asked for, as a real bridge reports it
    }
    uint8_t getNumDevices(uint32_t& count) override { return count = 1, vz::SI_SUCCESS; }
    uint8_t getProductString(uint32_t, char* buffer, int) override { return buffer[0] = 0, vz::SI_SUCCESS; }
    uint8_t open(uint32_t, vz::SiHandle& handle) override { return handle = 1, vz::SI_SUCCESS; }
    uint8_t close(vz::SiHandle) override { return vz::SI_SUCCESS; }
    uint8_t flushBuffers(vz::SiHandle, bool, bool) override { return vz::SI_SUCCESS; }
    uint8_t setTimeouts(uint32_t, uint32_t) override { return vz::SI_SUCCESS; }
    uint8_t checkRxQueue(vz::SiHandle, uint32_t& bytes, uint32_t& status) override {
        bytes = status = 0;
        return vz::SI_SUCCESS;
    }
    uint8_t setBaudRate(vz::SiHandle, uint32_t) override { return vz::SI_SUCCESS; }
    uint8_t setLineControl(vz::SiHandle, uint16_t) override { return vz::SI_SUCCESS; }
    uint8_t setFlowControl(vz::SiHandle, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, bool) override {
        return vz::SI_SUCCESS;
    }
    uint8_t getModemStatus(vz::SiHandle, uint8_t& status) override { return status = 0, vz::SI_SUCCESS; }
    uint8_t getDllVersion(uint32_t& h, uint32_t& l) override { return h = l = 0, vz::SI_SUCCESS; }
    uint8_t getDriverVersion(uint32_t& h, uint32_t& l) override { return h = l = 0, vz::SI_SUCCESS; }

  private:
    std::array<Bytes, 256> responses_;
    int nextId_ = 0;
    bool pending_ = false;
};

void BM_SnmpReadAddr8(benchmark::State& state) {
    LoopbackAgent agent;
    vz::BridgeLibrary* previous = vz::bridge();
    vz::setBridge(&agent);
    vz::linkState().usbHandle = 1;
    vz::resetSnmpClient();  // request ids from 1, in step with the agent
    uint8_t data[8];
    const double start = vz::bench::processCpuSeconds();
    for (auto _ : state) {
        const int r = vz::snmpReadAddr(0x85, 2, 0x1000, data, 8);
        if (r != 8) {
            state.SkipWithError("the SNMP exchange failed");
            break;
        }
        benchmark::DoNotOptimize(data);
    }
    const double cpuPerOperation =
        (vz::bench::processCpuSeconds() - start) / static_cast<double>(state.iterations());
    const double wireSeconds =
        vz::bench::wireSeconds(static_cast<double>(agent.lastWriteBytes + agent.lastReadBytes));
    state.counters["wire_bytes"] = static_cast<double>(agent.lastWriteBytes + agent.lastReadBytes);
    state.counters["wire_us"] = wireSeconds * 1e6;
    if (state.iterations() > 0 && wireSeconds > 0)
        vz::bench::reportMetric("snmp_cpu_to_wire_ratio", cpuPerOperation / wireSeconds);
    vz::linkState().usbHandle = vz::kNoHandle;
    vz::setBridge(previous);
}
BENCHMARK(BM_SnmpReadAddr8);

}  // namespace
