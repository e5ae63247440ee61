#pragma once
// The USB serial bridge library: the operations the link needs from a bridge, with the vendor
// library's status codes. Drivers: the libusb CP210x driver and the virtual crate.
#include <cstdint>
#include <memory>
#include <string>

#include "link/reference_meter.h"

namespace vz {

enum SiStatus : uint8_t {
    SI_SUCCESS = 0x00,
    SI_DEVICE_NOT_FOUND = 0xFF,
    SI_INVALID_HANDLE = 0x01,
    SI_READ_ERROR = 0x02,
    SI_RX_QUEUE_NOT_READY = 0x03,
    SI_WRITE_ERROR = 0x04,
    SI_RESET_ERROR = 0x05,
    SI_INVALID_PARAMETER = 0x06,
    SI_INVALID_REQUEST_LENGTH = 0x07,
    SI_DEVICE_IO_FAILED = 0x08,
    SI_INVALID_BAUDRATE = 0x09,
    SI_FUNCTION_NOT_SUPPORTED = 0x0A,
    SI_GLOBAL_DATA_ERROR = 0x0B,
    SI_SYSTEM_ERROR_CODE = 0x0C,
    SI_READ_TIMED_OUT = 0x0D,
    SI_WRITE_TIMED_OUT = 0x0E,
    SI_IO_PENDING = 0x0F,
};

// Kinds of the product-string query.
enum SiProductString : int {
    SI_RETURN_SERIAL_NUMBER = 0,
    SI_RETURN_DESCRIPTION = 1,
    SI_RETURN_VID = 3,
    SI_RETURN_PID = 4,
};

// An open device; 0 is never a valid handle.
using SiHandle = uintptr_t;
constexpr SiHandle kNoHandle = 0;

// Product strings are written zero-terminated into buffers of this size.
constexpr int kSiMaxString = 256;

class BridgeLibrary {
  public:
    virtual ~BridgeLibrary() = default;

    virtual uint8_t getNumDevices(uint32_t& count) = 0;
    // Writes a zero-terminated text of at most kSiMaxString bytes; ids as four hexadecimal digits.
    virtual uint8_t getProductString(uint32_t index, char* buffer, int kind) = 0;
    // Fails while another program holds the device.
    virtual uint8_t open(uint32_t index, SiHandle& handle) = 0;
    virtual uint8_t close(SiHandle handle) = 0;
    // Returns what arrived within the read time-out; SI_READ_TIMED_OUT with a partial count otherwise.
    virtual uint8_t read(SiHandle handle, void* buffer, uint32_t length, uint32_t& received) = 0;
    virtual uint8_t write(SiHandle handle, const void* buffer, uint32_t length, uint32_t& written) = 0;
    virtual uint8_t flushBuffers(SiHandle handle, bool transmit, bool receive) = 0;
    // Applies to all later reads and writes.
    virtual uint8_t setTimeouts(uint32_t readMs, uint32_t writeMs) = 0;
    virtual uint8_t checkRxQueue(SiHandle handle, uint32_t& bytesInQueue, uint32_t& queueStatus) = 0;
    virtual uint8_t setBaudRate(SiHandle handle, uint32_t baud) = 0;
    // Bits 15-8 data bits, 7-4 parity (0 none, 1 odd, 2 even, 3 mark, 4 space), 3-0 stop bits.
    virtual uint8_t setLineControl(SiHandle handle, uint16_t lineControl) = 0;
    // Modes: 0 held inactive, 1 held active (RTS, DTR); CTS/DSR/DCD 0 = status input.
    virtual uint8_t setFlowControl(SiHandle handle, uint8_t ctsMode, uint8_t rtsMode, uint8_t dtrMode,
                                   uint8_t dsrMode, uint8_t dcdMode, bool xonXoff) = 0;
    virtual uint8_t getModemStatus(SiHandle handle, uint8_t& status) = 0;
    virtual uint8_t getDllVersion(uint32_t& high, uint32_t& low) = 0;
    virtual uint8_t getDriverVersion(uint32_t& high, uint32_t& low) = 0;
    // The meter the bridge carries on the channels' outputs, if any.
    virtual ReferenceMeter* referenceMeter() { return nullptr; }
};

// The bridge library in use by the link.
BridgeLibrary* bridge();
void setBridge(BridgeLibrary* library);

}  // namespace vz
