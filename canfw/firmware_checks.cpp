#include "canfw/firmware_checks.h"

#include <cstdio>
#include <memory>

#include "base/text_format.h"
#include "canfw/device_table.h"

namespace vz {

bool loadFirmwareFile(const std::string& path, int deviceFamily, LoadedFirmware& loaded, const LogSink& log) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!file) return false;
    loaded.hexOk =
        loadFirmwareHex(file.get(), deviceFamily, loaded.rows, loaded.parameters, log, &loaded.report);
    loaded.settings = deriveFirmwareSettings(loaded.parameters, loaded.hexOk, log);
    return true;
}

std::string firmwareRefusal(const DeviceInfo& device, const LoadedFirmware& file, int memoryType,
                            bool bootloaderFile, bool restore, bool checkStart) {
    DeviceLookup found;
    if (!lookupDevice(device.deviceID, device.procID, found) || !found.layout)
        return "Error: unknown/unsupported device\r\n";
    // Rows around a dropped line would be written with erased words inside the code.
    if (file.report.damaged())
        return formatText(kLineLimit, "Error: HEX-file damaged (%s); nothing was written\r\n",
                          file.report.damageText().c_str());
    const FirmwareSettings& fw = file.settings;
    if (restore) {
        // A backup carries no HEX-parameters; firmware files (a boot loader among them) do.
        if (!file.parameters.empty() || !file.hexOk)
            return "Error: not a backup file (it carries HEX-parameters or no data); nothing was written\r\n";
        if (file.report.startSegment && (file.report.startSegment->first != (device.deviceID & 0xFFFF) ||
                                         file.report.startSegment->second != device.procID))
            return formatText(
                kLineLimit,
                "Error: backup of another processor (deviceId=0x%04X, procID=%u), the module has "
                "deviceId=0x%04X; nothing was written\r\n",
                file.report.startSegment->first, file.report.startSegment->second, device.deviceID);
        return "";
    }
    const bool typeFits = bootloaderFile
                              ? fw.firmwareType == kBootLoaderFirmware
                              : fw.firmwareType == kApplicationFirmware || fw.firmwareType == kUpdateFirmware;
    if (!typeFits) return "Error: HEX-File not enriched or wrong firmware type\r\n";
    if (fw.deviceFamily >= 0 && static_cast<uint32_t>(fw.deviceFamily) != device.deviceID)
        return formatText(kLineLimit,
                          "Error: connected device is incompatible with HEX-file (deviceId=0x%04llX, "
                          "deviceFamilyHex=0x%04llX)\r\n",
                          static_cast<unsigned long long>(device.deviceID),
                          static_cast<unsigned long long>(fw.deviceFamily));
    if (!fw.detect && !fw.firmwareRangeSet())
        return "Error: program-memory location-detection is set to OFF and no firmware location is given\r\n";
    if (checkStart && !file.hexOk) return "Error: HEX-file holds no data\r\n";
    if (checkStart && memoryType == kProgramMemory && !bootloaderFile) {
        MemoryRow row0 = file.rows[0];
        packRow(row0);
        if (row0.empty || row0.transfer[2] != 0x04)
            return " Error: Extraction of application start-address failed\r\n";
    }
    return "";
}

}  // namespace vz
