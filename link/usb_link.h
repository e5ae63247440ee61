#pragma once
// The USB link to the crate controller: device choice, open, configuration, read and write with
// reconnect after a failed write.
#include <cstdint>
#include <string>

#include "link/bridge.h"

namespace vz {

struct UsbInfo {
    uint32_t dllVersion[2] = {0, 0};  // high, low
    uint32_t driverVersion[2] = {0, 0};
    std::string serial;
    uint8_t rts = 0;
    uint8_t dtr = 0;
    uint32_t readCalls = 0;
    uint32_t writeCalls = 0;
    uint32_t bytesRequested = 0;
    uint32_t bytesWritten = 0;
};

// The line the controller expects: 115200 baud, 8 data bits, odd parity, 1 stop bit (the bridge's
// line control word: stop bits in bits 0-3, parity in 4-7, word length in 8-15), and the read and
// write time-outs of every exchange.
constexpr uint32_t kLineBaud = 115200;
constexpr uint16_t kLineControl8O1 = 0x0810;
constexpr uint32_t kReadTimeoutMs = 333;
constexpr uint32_t kWriteTimeoutMs = 333;

// The open bridge's serial number. A reconnect rewrites it (on whatever thread the exchange runs), so
// readers outside an exchange take a copy through here.
std::string usbSerial();

bool usbOpen(UsbInfo& info);
bool usbConfigure();
bool usbRead(void* buffer, uint32_t length, uint32_t& received);
bool usbWrite(const void* buffer, uint32_t length, uint32_t& written);
bool usbReconnect();
uint8_t usbSetLines(uint8_t rts, uint8_t dtr);
void usbClose();
std::string siStatusName(uint32_t status);

// Controller type for an accepted vendor/product id pair (compared without regard to case); 0 otherwise.
int controllerTypeForIds(const char* vid, const char* pid);

}  // namespace vz
