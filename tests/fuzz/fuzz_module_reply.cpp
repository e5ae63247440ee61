// The module access operations over both carriages meeting any bytes a device could send back: the
// direct reply evaluation, and the SNMP response parser behind a correct SLIP/IP/UDP envelope (built
// here, so the fuzzer need not find checksums). The evaluation must never read beyond what arrived,
// never write beyond the caller's buffer, and always end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/clock.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/snmp/datagram_link.h"
#include "link/snmp/ip_udp.h"
#include "link/snmp/slip.h"
#include "link/snmp/snmp_client.h"
#include "link/snmp/snmp_operations.h"
#include "link/usb_link.h"
#include "tests/fuzz/fuzz_bridge.h"
#include "tests/fuzz/quiet_operator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vz;
    if (size < 1) return 0;
    static VirtualClock virtualTime;
    static fuzz::QuietOperator quiet;
    setClock(&virtualTime);
    setOperatorSeam(&quiet);
    const uint8_t selector = data[0];
    const bool snmp = selector & 0x80;
    std::vector<uint8_t> line(data + 1, data + size);
    if (snmp) {
        // One response datagram: the fuzz bytes are its SNMP payload.
        const int payload = static_cast<int>(std::min<size_t>(line.size(), kMaxDatagramPayload));
        std::vector<uint8_t> packet(static_cast<size_t>(kIpUdpHeaderSize + payload));
        std::copy_n(line.begin(), payload, packet.begin() + kIpUdpHeaderSize);
        fillIpUdpHeaders(packet.data(), payload);
        line.assign(2 * packet.size() + 1, 0);
        line.resize(slipEncode(packet.data(), packet.size(), line.data()));
    }
    fuzz::ReplyBridge device(line.data(), line.size());
    setBridge(&device);
    linkState().usbHandle = 1;
    resetCommProblem();
    resetModuleAccessCounters();
    resetDatagramReceiver();
    resetSnmpClient();
    if (snmp)
        bindSnmpVariants();
    else
        bindDirectOperations();

    // Guard bytes around each destination show an overrun to AddressSanitizer at once.
    uint8_t buffer[64] = {};
    uint16_t result = 0;
    const uint8_t payload[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (int round = 0; round < 3 && !device.exhausted(); ++round) {
        switch ((selector >> (2 * round)) & 3) {
            case 0:
                moduleRead(0x81, 0x1000, 0, buffer, 8);
                break;
            case 1:
                readShort(0x81, 4, buffer, 8);
                break;
            case 2:
                moduleCommand(0x81, 0x10000, 0x10, payload, 4);
                break;
            case 3:
                writeReply(0x81, 3, 0x10010, payload, 2, &result, 2);
                break;
        }
    }
    setBridge(nullptr);
    linkState().usbHandle = kNoHandle;
    return 0;
}
