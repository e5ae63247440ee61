#pragma once
// The CP210x vendor requests (Silicon Labs AN571): codes, bits and the encoding of their payloads.
#include <array>
#include <cstdint>
#include <span>

namespace vz::cp210x {

// Vendor request to the interface; wIndex carries the interface number.
constexpr uint8_t kRequestOut = 0x41;
constexpr uint8_t kRequestIn = 0xC1;

constexpr uint8_t kIfcEnable = 0x00;
constexpr uint8_t kSetLineCtl = 0x03;
constexpr uint8_t kSetMhs = 0x07;
constexpr uint8_t kGetMdmSts = 0x08;
constexpr uint8_t kGetCommStatus = 0x10;
constexpr uint8_t kPurge = 0x12;
constexpr uint8_t kSetFlow = 0x13;
constexpr uint8_t kSetBaudRate = 0x1E;

constexpr uint16_t kUartEnable = 0x0001;
constexpr uint16_t kUartDisable = 0x0000;

// SET_MHS: a state bit takes effect only together with its write mask bit.
constexpr uint16_t kMhsDtr = 0x0001;
constexpr uint16_t kMhsRts = 0x0002;
constexpr uint16_t kMhsWriteDtr = 0x0100;
constexpr uint16_t kMhsWriteRts = 0x0200;

// PURGE: two bits for each queue.
constexpr uint16_t kPurgeTransmit = 0x0005;
constexpr uint16_t kPurgeReceive = 0x000A;

// SET_FLOW, control handshake word.
constexpr uint32_t kFlowDtrMask = 0x00000003;  // 0 inactive, 1 active, 2 flow control
constexpr uint32_t kFlowCtsHandshake = 0x00000008;
constexpr uint32_t kFlowDsrHandshake = 0x00000010;
constexpr uint32_t kFlowDcdHandshake = 0x00000020;
// SET_FLOW, flow replace word.
constexpr uint32_t kFlowAutoTransmit = 0x00000001;  // obey XON/XOFF from the far end
constexpr uint32_t kFlowAutoReceive = 0x00000002;   // send XON/XOFF ourselves
constexpr int kFlowRtsShift = 6;                    // bits 7-6: 0 inactive, 1 active, 2 flow, 3 tx active
// Receive-queue levels at which XON / XOFF are sent.
constexpr uint32_t kXonLimit = 128;
constexpr uint32_t kXoffLimit = 128;

constexpr std::size_t kFlowSize = 16;
constexpr std::size_t kCommStatusSize = 19;

// GET_COMM_STATUS error bits that mean received bytes were lost.
constexpr uint32_t kErrHardwareOverrun = 0x04;
constexpr uint32_t kErrQueueOverrun = 0x08;

std::array<uint8_t, 4> encodeBaudRate(uint32_t baud);

// The line control word as the device takes it: data bits 5-8, parity 0-4, stop bits 0-2.
bool lineControlValid(uint16_t lineControl);

struct FlowSettings {
    uint8_t ctsMode = 0;  // 0 status input, 1 handshake
    uint8_t rtsMode = 0;  // 0 held inactive, 1 held active, 2 firmware flow control, 3 transmit active
    uint8_t dtrMode = 0;  // 0 held inactive, 1 held active, 2 firmware flow control
    uint8_t dsrMode = 0;  // 0 status input, 1 handshake
    uint8_t dcdMode = 0;  // 0 status input, 1 handshake
    bool xonXoff = false;
};

bool flowSettingsValid(const FlowSettings& flow);
std::array<uint8_t, kFlowSize> encodeFlow(const FlowSettings& flow);
// The SET_MHS word for the lines held at a fixed level; a line under flow control keeps its mask
// bit clear so the firmware stays in charge of it. Returns 0 when neither line is held.
uint16_t mhsWord(const FlowSettings& flow);

uint16_t purgeWord(bool transmit, bool receive);

struct CommStatus {
    uint32_t errors = 0;
    uint32_t holdReasons = 0;
    uint32_t bytesInReceiveQueue = 0;
    uint32_t bytesInTransmitQueue = 0;
};

// False when the reply is shorter than the 19 bytes of the structure.
bool decodeCommStatus(std::span<const uint8_t> reply, CommStatus& status);

}  // namespace vz::cp210x
