#pragma once
// One crate's link: the bridge driver and open device, the operation table, the link lock, the error
// counters, the communication problem state and the SNMP client. Reached through linkState() for the
// crate bound to the calling thread (base/crate_binding.h).
#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/bridge.h"
#include "link/comm_problem.h"
#include "link/module_access.h"
#include "link/snmp/datagram_buffers.h"
#include "link/snmp/snmp_client_state.h"
#include "link/usb_link.h"

namespace vz {

struct LinkState {
    BridgeLibrary* bridge = nullptr;  // not owned: the session that made the driver lets it go
    UsbInfo usbInfo;
    SiHandle usbHandle = kNoHandle;
    // Guards usbInfo.serial, which a reconnect rewrites, for readers outside an exchange.
    std::mutex usbStateMutex;
    OperationTable operationTable;
    // Held for a whole exchange, on either transport; re-entrant because an exchange may reconnect.
    std::recursive_mutex linkLock;
    // Module errors (status 7), read for display by the expert view from any thread.
    std::atomic<uint32_t> moduleReadErrors{0};
    std::atomic<uint32_t> moduleWriteErrors{0};
    CommProblem commProblem;
    SnmpClientState snmpClient;
    DatagramBuffers datagram;
};

LinkState& linkState();

}  // namespace vz
