#include "link/usb_link.h"

#include <strings.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "base/controller_type.h"
#include "base/debug_log.h"
#include "base/message_boxes.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "link/link_capture.h"
#include "link/link_state.h"

namespace vz {

namespace {

constexpr uint32_t kMaxDevices = 4;

struct UsbDeviceRecord {
    bool available = false;
    int controllerType = 0;
    std::string description;
    std::string serial;
};

struct AcceptedDevice {
    const char* vid;
    const char* pid;
    int type;
};
constexpr AcceptedDevice kAccepted[] = {
    {"1A2B", "0010", kQx308}, {"1A2B", "0011", kWdx},  {"1A2B", "0012", kKrat},
    {"1A2B", "0015", kKts},   {"1A2B", "0016", kVar7},
};

const char* const kStatusNames[] = {
    "SI_DEVICE_NOT_FOUND",
    "SI_INVALID_HANDLE",
    "SI_READ_ERROR",
    "SI_RX_QUEUE_NOT_READY",
    "SI_WRITE_ERROR",
    "SI_RESET_ERROR",
    "SI_INVALID_PARAMETER",
    "SI_INVALID_REQUEST_LENGTH",
    "SI_DEVICE_IO_FAILED",
    "SI_INVALID_BAUDRATE",
    "SI_FUNCTION_NOT_SUPPORTED",
    "SI_GLOBAL_DATA_ERROR",
    "SI_SYSTEM_ERROR_CODE",
    "SI_READ_TIMED_OUT",
    "SI_WRITE_TIMED_OUT",
    "SI_IO_PENDING",
};

// Fills the records of the first devices; returns how many were enumerated.
uint32_t enumerate(std::vector<UsbDeviceRecord>& records, uint32_t& availableCount) {
    BridgeLibrary& lib = *bridge();
    uint32_t count = 0;
    if (uint8_t status = lib.getNumDevices(count); status != SI_SUCCESS) {
        debugLog(kLogError, "SI_GetNumDevices returned %d", status);
        count = 0;
    }
    records.assign(kMaxDevices, UsbDeviceRecord{});
    availableCount = 0;
    uint32_t i = 0;
    for (; i < kMaxDevices && i < count; ++i) {
        char serial[kSiMaxString] = {}, description[kSiMaxString] = {}, vid[kSiMaxString] = {},
             pid[kSiMaxString] = {};
        if (lib.getProductString(i, serial, SI_RETURN_SERIAL_NUMBER) != SI_SUCCESS)
            printBox("Unable to read serial number from USB");
        if (lib.getProductString(i, description, SI_RETURN_DESCRIPTION) != SI_SUCCESS)
            printBox("Unable to read product description from USB");
        if (lib.getProductString(i, vid, SI_RETURN_VID) != SI_SUCCESS)
            printBox("Unable to read VID from USB");
        if (lib.getProductString(i, pid, SI_RETURN_PID) != SI_SUCCESS)
            printBox("Unable to read PID from USB");
        // Never trust a driver to terminate its texts.
        serial[kSiMaxString - 1] = description[kSiMaxString - 1] = vid[kSiMaxString - 1] =
            pid[kSiMaxString - 1] = '\0';

        const int type = controllerTypeForIds(vid, pid);
        if (type == 0) {
            printBox("Unknown USB device: VID \"%s\", PID \"%s\" (\"%s\", Serial Number %s)", vid, pid,
                     description, serial);
            continue;
        }
        UsbDeviceRecord& r = records[i];
        r.controllerType = type;
        r.description = description;
        r.serial = serial;
        SiHandle probe = kNoHandle;
        if (uint8_t status = lib.open(i, probe); status == SI_SUCCESS) {
            r.available = true;
            ++availableCount;
            lib.close(probe);
        } else {
            debugLog(kLogWarning, "SI_Open: Unable to open USB connection, status 0x%X", status);
        }
    }
    return i;
}

}  // namespace

int controllerTypeForIds(const char* vid, const char* pid) {
    for (const auto& a : kAccepted)
        if (strcasecmp(vid, a.vid) == 0 && strcasecmp(pid, a.pid) == 0) return a.type;
    return 0;
}

std::string siStatusName(uint32_t status) {
    if (status == 0xFF || status == 0) return kStatusNames[0];
    if (status <= 15) return kStatusNames[status];
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", status);
    return text;
}

std::string usbSerial() {
    std::lock_guard lock(linkState().usbStateMutex);
    return linkState().usbInfo.serial;
}

bool usbOpen(UsbInfo& info) {
    BridgeLibrary& lib = *bridge();
    if (uint8_t status = lib.getDllVersion(info.dllVersion[0], info.dllVersion[1]); status != SI_SUCCESS) {
        debugLog(kLogError, "SI_GetDLLVersion returned %d", status);
        info.dllVersion[0] = info.dllVersion[1] = 0;
    }
    if (uint8_t status = lib.getDriverVersion(info.driverVersion[0], info.driverVersion[1]);
        status != SI_SUCCESS) {
        debugLog(kLogError, "SI_GetDriverVersion returned %d", status);
        info.driverVersion[0] = info.driverVersion[1] = 0;
    }

    std::vector<UsbDeviceRecord> records;
    uint32_t enumerated = 0;
    for (;;) {
        uint32_t available = 0;
        enumerated = enumerate(records, available);
        if (enumerated > 0 && available > 0) break;
        const BoxAnswer answer =
            operatorSeam().messageBox({"USB communication interrupted", "No USB devices found or available",
                                       BoxButtons::RetryCancel, BoxIcon::Information, true});
        if (answer != BoxAnswer::Retry) operatorSeam().endProcess(-1);
    }

    int chosen = 0;
    if (enumerated > 1) {
        std::vector<UsbChoice> choices;
        for (uint32_t i = 0; i < enumerated; ++i)
            // Unknown devices keep an empty record and are not offered.
            if (records[i].controllerType != kNoController)
                choices.push_back(
                    {static_cast<int>(i), records[i].available, records[i].serial, records[i].description});
        chosen = operatorSeam().chooseUsbDevice(choices);
        if (chosen < 0 || chosen >= static_cast<int>(enumerated)) operatorSeam().endProcess(-1);
    }

    const UsbDeviceRecord& record = records[chosen];
    {
        std::lock_guard lock(linkState().usbStateMutex);
        info.serial = record.serial;
        crateSettings().controllerType = record.controllerType;
    }
    const uint8_t status = lib.open(static_cast<uint32_t>(chosen), linkState().usbHandle);
    if (status == SI_SUCCESS) return usbConfigure();
    linkState().usbHandle = kNoHandle;
    char text[160];
    std::snprintf(
        text, sizeof text,
        "USB open error status %d.\nThis may happen if the USB device is used by another application.",
        status);
    operatorSeam().messageBox({"USB communication", text, BoxButtons::Ok, BoxIcon::Error, true});
    return false;
}

bool usbConfigure() {
    BridgeLibrary& lib = *bridge();
    lib.setFlowControl(linkState().usbHandle, 0, linkState().usbInfo.rts ? 1 : 0,
                       linkState().usbInfo.dtr ? 1 : 0, 0, 0, false);
    lib.setLineControl(linkState().usbHandle, kLineControl8O1);
    lib.setBaudRate(linkState().usbHandle, kLineBaud);
    lib.flushBuffers(linkState().usbHandle, true, true);
    lib.setTimeouts(kReadTimeoutMs, kWriteTimeoutMs);
    return true;
}

bool usbRead(void* buffer, uint32_t length, uint32_t& received) {
    BridgeLibrary& lib = *bridge();
    ++linkState().usbInfo.readCalls;
    linkState().usbInfo.bytesRequested += length;
    const uint8_t status = lib.read(linkState().usbHandle, buffer, length, received);
    if (status == SI_SUCCESS) return true;
    if (status == SI_READ_TIMED_OUT) return false;
    if (status == SI_RX_QUEUE_NOT_READY) {
        uint32_t bytes = 0, queueStatus = 0;
        if (uint8_t s = lib.checkRxQueue(linkState().usbHandle, bytes, queueStatus); s != SI_SUCCESS)
            debugLog(kLogError, "SI_CheckRXQueue status 0x%X", s);
        uint8_t modem = 0;
        if (uint8_t s = lib.getModemStatus(linkState().usbHandle, modem); s != SI_SUCCESS)
            debugLog(kLogError, "SI_GetModemStatus status 0x%X", s);
    }
    received = 0;
    return false;
}

bool usbWrite(const void* buffer, uint32_t length, uint32_t& written) {
    ++linkState().usbInfo.writeCalls;
    linkState().usbInfo.bytesWritten += length;
    for (;;) {
        const uint8_t status = bridge()->write(linkState().usbHandle, buffer, length, written);
        if (status == SI_SUCCESS) return true;
        debugLog(kLogError, "SI_Write failed (status 0x%X), now doing reconnect...", status);
        if (!usbReconnect()) {
            written = 0;
            return false;
        }
    }
}

bool usbReconnect() {
    usbClose();
    return usbOpen(linkState().usbInfo);
}

uint8_t usbSetLines(uint8_t rts, uint8_t dtr) {
    captureModemLines(rts != 0, dtr != 0);
    return bridge()->setFlowControl(linkState().usbHandle, 0, rts, dtr, 0, 0, false);
}

void usbClose() {
    if (linkState().usbHandle != kNoHandle) {
        bridge()->close(linkState().usbHandle);
        linkState().usbHandle = kNoHandle;
    }
}

}  // namespace vz
