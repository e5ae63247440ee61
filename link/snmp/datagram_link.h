#pragma once
// UDP datagrams to and from the crate controller's SNMP agent over SLIP on the open USB handle.
// Called only inside an SNMP exchange, under linkLock, which also guards the receive state.
#include <cstdint>

namespace vz {

// The largest payload: the SNMP encoder's whole buffer.
constexpr int kMaxDatagramPayload = 512;

// Wraps the payload in IPv4/UDP, SLIP-encodes it and writes it with one bridge write. Returns 0; a
// failed write shows up as a missing response. -1 (nothing sent) for a payload that cannot be a
// message of ours (negative or above kMaxDatagramPayload).
int sendDatagram(const uint8_t* payload, int length);

// Receives the payload of a completed frame; returns 1 when it was taken, 0 when dropped.
using DatagramHandler = int (*)(const uint8_t* payload, int length);

// One read of up to 10240 bytes fed to the SLIP receive state. -1 when the read brought nothing or
// ended inside a frame; otherwise what the handler returned for the first completed frame (0 for a
// frame too short to carry a payload). Bytes after that frame's END are dropped.
int receiveDatagram(DatagramHandler handler);

// Forgets a partly received frame (tests, and a new connection).
void resetDatagramReceiver();

}  // namespace vz
