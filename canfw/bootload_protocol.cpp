// The boot-loader command frames: one 8-byte frame into the module's command space answered by a
// result word, bulk data through the module's data buffer framed by the echoed command and a checksum.
#include <cstring>
#include <vector>

#include "base/clock.h"
#include "base/text_format.h"
#include "canfw/bootload.h"
#include "canfw/device_table.h"
#include "link/module_access.h"

namespace vz {
namespace {

uint8_t checksum(const uint8_t* bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(-sum);
}

uint8_t busAddress(int moduleId) {
    return moduleAddressByte(moduleId);
}

}  // namespace

bool CBootload::sendCommand(int moduleId, uint8_t command, uint32_t address, uint16_t size,
                            const uint8_t* data, int* error) {
    return sendFrame(moduleId, command, address, size, data ? checksum(data, size) : uint8_t{0}, error);
}

bool CBootload::sendFrame(int moduleId, uint8_t command, uint32_t address, uint16_t size,
                          uint8_t dataChecksum, int* error) {
    uint8_t frame[8] = {command,
                        static_cast<uint8_t>(address),
                        static_cast<uint8_t>(address >> 8),
                        static_cast<uint8_t>(address >> 16),
                        static_cast<uint8_t>(address >> 24),
                        static_cast<uint8_t>(size),
                        static_cast<uint8_t>(size >> 8),
                        dataChecksum};
    const int r = moduleCommand(busAddress(moduleId), kBootCommandSpace, 0, frame, 8);
    const int result = r < 0 ? kResultTransportFailed : r;
    if (error) *error = result;
    if (result != 0) {
        postLog("Error: command failed (iModuleId=%d, iCmd=0x%02X, iAdr=0x%06X, iSize=%d, iError=%d)\r\n",
                moduleId, command, address, size, result);
        return false;
    }
    return true;
}

bool CBootload::sendData(int moduleId, const uint8_t* bytes, int count) {
    return moduleWrite(busAddress(moduleId), kBootDataBuffer, 0, bytes, count) == count;
}

int CBootload::receiveData(int moduleId, uint8_t command, uint8_t* destination, int count) {
    // Module memory moves in 16-bit words: an odd reply (a configuration row of 21 bytes) is read
    // with one byte more, which is not used.
    const int wanted = count + 2, even = (wanted + 1) & ~1;
    std::vector<uint8_t> buffer(static_cast<size_t>(even));
    const int got = moduleRead(busAddress(moduleId), kBootDataBuffer, 0, buffer.data(), even);
    if (got != even) return 0;
    const uint8_t sum = checksum(buffer.data() + 2, static_cast<size_t>(count));
    if (buffer[0] == command && buffer[1] == sum) {
        std::memcpy(destination, buffer.data() + 2, static_cast<size_t>(count));
        return count;
    }
    postLog(
        "Error: buffer holds unknown/invalid data (iCmd=%d, iSize=%d, pHeader->cmd=%d, "
        "pHeader->checksum=0x%02X, "
        "iSum=%d)\r\n",
        command, count + 2, buffer[0], buffer[1], buffer[0] == command ? sum : 0);
    return 0;
}

bool CBootload::readDeviceId(int moduleId, DeviceInfo* info) {
    uint8_t reply[8];
    DeviceInfo d;
    d.iModuleId = moduleId;
    if (receiveData(moduleId, 0x09, reply, 8) != 8) {
        postLog("ReadID failed (iModuleId=0x%03X)\r\n", moduleId);
        if (info) *info = d;
        return false;
    }
    d.deviceID = static_cast<uint32_t>(reply[0] | reply[1] << 8);
    const uint32_t revision = static_cast<uint32_t>(reply[4] | reply[5] << 8);
    d.procID = revision >> 12;
    d.revisionNr = (revision >> 6) & 0x3F;
    d.dot = revision & 0x3F;
    DeviceLookup found;
    if (lookupDevice(d.deviceID, d.procID, found)) {
        d.family = found.device->family;
        std::snprintf(d.name, sizeof d.name, "%s", found.device->name);
    }
    postLog("Device found '%s' (iModuleId=0x%03X, deviceID=0x%04X, procID=%d, revisionNr=%d, dot=%d)\r\n",
            d.name, moduleId, d.deviceID, d.procID, d.revisionNr, d.dot);
    if (info) *info = d;
    return true;
}

bool CBootload::readVersion(int moduleId, VersionRecord& version, bool application) {
    postLog("Reading %s version-information ..\r\n", application ? "application" : "bootloader");
    const uint8_t cmd = application ? 0x0C : 0x0B;
    uint8_t r[14];
    if (!sendCommand(moduleId, cmd, 0, 0) || receiveData(moduleId, cmd, r, 14) != 14) return false;
    version.major = r[0];
    version.minor = r[1];
    version.third = static_cast<uint16_t>(r[2] | r[3] << 8);
    version.fourth = static_cast<uint16_t>(r[4] | r[5] << 8);
    version.day = r[6];
    version.month = r[7];
    version.year = static_cast<uint16_t>(r[8] | r[9] << 8);
    version.second = r[10];
    version.minute = r[11];
    version.hour = r[12];
    version.unused = r[13];
    postLog("Version (%s): %d.%d.%d.%d, ", application ? "application" : "bootloader", version.major,
            version.minor, version.third, version.fourth);
    postLog("Build time: %d.%d.%d %d:%d:%d", version.day, version.month, version.year, version.hour,
            version.minute, version.second);
    postLog(" (iModuleId=0x%03X)\r\n", moduleId);
    return true;
}

bool CBootload::setParameter(int moduleId, int paramNr, int paramType, const void* value, int* error) {
    if (paramType < 1 || paramType > 7) {
        postLog("  P%d [%d] type unsupported\r\n", paramNr, paramType);
        return false;
    }
    const int width = paramType <= 2 ? 1 : paramType <= 4 ? 2 : 4;
    uint8_t frame[8] = {0x0D, static_cast<uint8_t>(paramNr), static_cast<uint8_t>(paramType), 0, 0, 0, 0, 0};
    std::memcpy(frame + 3, value, static_cast<size_t>(width));
    uint32_t field = 0;
    std::memcpy(&field, frame + 3, 4);
    postLog("  P%d %s 0x%04X [%d]\r\n", paramNr, "=", field, paramType);
    const int r = moduleCommand(busAddress(moduleId), kBootCommandSpace, 0, frame, 8);
    const int result = r < 0 ? kResultTransportFailed : r;
    if (error) *error = result;
    if (result != 0) {
        postLog("Error: set parameter failed (iModuleId=%d, paramNr=%d, paramType=%d, iError=%d)\r\n",
                moduleId, paramNr, paramType, result);
        return false;
    }
    return true;
}

bool CBootload::startFirmware(const DeviceInfo* device, bool bootLoader) {
    if (!device) return false;
    const int id = device->iModuleId;
    if (!sendCommand(id, bootLoader ? 0x0F : 0x0A, 0, 0)) return false;
    for (int attempt = 0; attempt < 10; ++attempt) {
        clock().sleepMs(100);
        VersionRecord v;
        if (readVersion(id, v, bootLoader)) {
            postLog("%s started (iModuleId=0x%03X)\r\n", bootLoader ? "Bootloader" : "Application", id);
            return true;
        }
    }
    return false;
}

bool CBootload::readRunningType(const DeviceInfo* device) {
    uint8_t r[2];
    if (!device || !sendCommand(device->iModuleId, 0x10, 0, 0) ||
        receiveData(device->iModuleId, 0x10, r, 2) != 2) {
        postValue(kMsgRunningType, 0);
        return false;
    }
    postValue(kMsgRunningType, static_cast<uint32_t>(r[0] | r[1] << 8));
    return true;
}

bool CBootload::WriteMemory(int moduleId, const MemoryRow& row) {
    if (row.empty && (row.memoryType == kProgramMemory || row.memoryType == kEepromMemory)) return false;
    uint8_t cmd = 0;
    const char* prefix = nullptr;
    switch (row.memoryType) {
        case kProgramMemory:
            cmd = 0x03;
            prefix = " PM: 0x%06X (%2d bytes) ";
            break;
        case kEepromMemory:
            cmd = 0x05;
            prefix = " EM: 0x%06X (%2d bytes) ";
            break;
        case kConfigMemory:
            cmd = 0x07;
            prefix = " CM: 0x%06X (%2d bytes) ";
            break;
        default:
            postLog("CBootload::WriteMemory (Unknown memory type)\r\n");
            postLog(" : failed (iError=%d, Adr=0x%06X)\r\n", 0, row.baseAddress);
            return false;
    }
    // An EEPROM row carries its word count in the command and two bytes a word in the buffer.
    const int size = rowTransferSize(row);
    const int bytes = row.memoryType == kEepromMemory ? 2 * size : size;
    postText(formatText(kLineLimit, prefix, row.baseAddress, bytes) +
             hexDump(row.transfer.data(), static_cast<size_t>(bytes)) + "\r\n");
    const bool ok = sendData(moduleId, row.transfer.data(), bytes) &&
                    sendFrame(moduleId, cmd, row.baseAddress, static_cast<uint16_t>(size),
                              checksum(row.transfer.data(), static_cast<size_t>(bytes)), nullptr);
    if (!ok) {
        postLog(" : failed (iError=%d, Adr=0x%06X)\r\n", 0, row.baseAddress);
        return false;
    }
    ++progress_.written;
    return true;
}

}  // namespace vz
