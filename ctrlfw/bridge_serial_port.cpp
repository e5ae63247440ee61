#include "ctrlfw/bridge_serial_port.h"

#include <mutex>
#include <string>

#include "base/clock.h"
#include "base/debug_log.h"
#include "link/bridge.h"
#include "link/exchange_engine.h"
#include "link/link_capture.h"
#include "link/link_state.h"
#include "link/usb_link.h"

namespace vz {
namespace {

// Every call holds the link lock, as a module access exchange does, so a second user of the bridge
// waits for the call instead of mixing its bytes into the driver's.
int portWrite(void*, const void* data, uint32_t count, uint32_t* written) {
    std::lock_guard lock(linkState().linkLock);
    uint32_t n = 0;
    const uint8_t status = bridge()->write(linkState().usbHandle, data, count, n);
    captureBootSerial(static_cast<const uint8_t*>(data), n, CaptureDirection::Outbound);
    if (written) *written = n;
    return status;
}

int portRead(void*, void* buffer, uint32_t count, uint32_t* received) {
    std::lock_guard lock(linkState().linkLock);
    uint32_t n = 0;
    const uint8_t status = bridge()->read(linkState().usbHandle, buffer, count, n);
    captureBootSerial(static_cast<const uint8_t*>(buffer), n, CaptureDirection::Inbound);
    if (received) *received = n;
    // What arrived within the short time-out is a result, not an error.
    return status == SI_READ_TIMED_OUT ? 0 : static_cast<int>(status);
}

int portFlush(void*) {
    std::lock_guard lock(linkState().linkLock);
    return bridge()->flushBuffers(linkState().usbHandle, true, true);
}

int portConfigure(void*, uint32_t baud, uint16_t lineControl) {
    std::lock_guard lock(linkState().linkLock);
    BridgeLibrary& lib = *bridge();
    if (const uint8_t s = lib.setLineControl(linkState().usbHandle, lineControl); s != SI_SUCCESS) return s;
    if (const uint8_t s = lib.setBaudRate(linkState().usbHandle, baud); s != SI_SUCCESS) return s;
    return lib.setTimeouts(kBootLinkReadTimeoutMs, kWriteTimeoutMs);
}

int portSetModemLines(void*, int rts, int dtr) {
    std::lock_guard lock(linkState().linkLock);
    return usbSetLines(rts ? 1 : 0, dtr ? 1 : 0);
}

const char* portStatusText(void*, int status) {
    // The driver copies the text into its message at once; one buffer per thread is enough.
    thread_local std::string text;
    text = siStatusName(static_cast<uint32_t>(status));
    return text.c_str();
}

void portLog(void*, uint32_t flags, const char* text) {
    debugLog(flags, "%s", text);
}

void portSleepMs(void*, uint32_t ms) {
    clock().sleepMs(ms);
}

uint64_t portNowMs(void*) {
    return static_cast<uint64_t>(clock().nowMs());
}

}  // namespace

const PrgSerialPort& bridgeSerialPort() {
    static const PrgSerialPort port{nullptr,           portWrite,      portRead, portFlush,   portConfigure,
                                    portSetModemLines, portStatusText, portLog,  portSleepMs, portNowMs};
    return port;
}

}  // namespace vz
