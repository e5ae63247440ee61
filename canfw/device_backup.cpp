// The device-memory backup: vector tables, flash, EEPROM and configuration memory read through the
// boot loader into a sparse image and written as a HEX file that names the processor it came from.
// Memory the module does not have ends its sweep with a warning; any other failure writes no file
// (and leaves an earlier file of that name as it was).
#include <vector>

#include "canfw/bootload.h"
#include "canfw/device_table.h"

namespace vz {

bool CBootload::backupDeviceMemory(const DeviceInfo* device, const std::string& path) {
    CHexFile image(0x0FFFFFFF);
    image.setReport([this](const std::string& text) { postText(text); });
    DeviceLookup found;
    if (!device || path.empty() || !lookupDevice(device->deviceID, device->procID, found) || !found.layout) {
        postLog("Error: invalid parameter\r\n");
        return false;
    }
    const DeviceMemoryLayout& L = *found.layout;
    const int id = device->iModuleId;
    postLog("Read device-memory: ");

    struct Sweep {
        const char* opening;
        uint32_t openingAddress;
        uint8_t command;
        bool programMemory;
        uint32_t first, step, steps;  // sweep address: HEX byte address (program memory) or device address
        uint16_t size;                // the command's iSize
        int bytes;                    // bytes received
        uint32_t phantom;
        const char* receiveError;
        const char* insertError;
    };
    const uint32_t pmRead = 3 * L.pmRowSize;
    const Sweep sweeps[] = {
        {"\r\n IVT/AVT (baseAdr=0x%05X: ", 0, 0x02, true, 0, 4 * L.pmRowSize,
         (L.flashBase + 4 * L.pmRowSize - 1) / (4 * L.pmRowSize), static_cast<uint16_t>(pmRead),
         static_cast<int>(pmRead), 4 - L.bytesPerInstruction,
         "\r\nError: receive FLASH-data failed (iAdr=0x%X)\r\n",
         "\r\nError: insert FLASH-memory block to HEX-file failed (iAdr=0x%X)\r\n"},
        {"\r\n FLASH (baseAdr=0x%05X: ", L.flashBase, 0x02, true, L.flashBase, 4 * L.pmRowSize, L.pmRows,
         static_cast<uint16_t>(pmRead), static_cast<int>(pmRead), 4 - L.bytesPerInstruction,
         "\r\nError: receive FLASH-data failed (iAdr=0x%X)\r\n",
         "\r\nError: insert FLASH-memory block to HEX-file failed (iAdr=0x%X)\r\n"},
        {"\r\n EEPROM (baseAdr=0x%05X: ", L.eepromBase, 0x04, false, L.eepromBase,
         L.eepromRowSize * L.bytesPerEepromWord, L.eepromRows, static_cast<uint16_t>(L.eepromRowSize),
         static_cast<int>(L.eepromRowSize * L.bytesPerEepromWord), 4 - L.bytesPerEepromWord,
         "\r\nError: receive EEPROM-data failed (iAdr=0x%X)\r\n",
         "\nError: insert EEPROM-memory block to HEX-file failed (iAdr=0x%X)\n"},
        {"\r\n CFG (baseAdr=0x%05X: ", L.configBase, 0x06, false, L.configBase,
         L.configRowSize * L.bytesPerConfigWord, L.configRows,
         static_cast<uint16_t>(L.configRowSize * L.bytesPerConfigWord),
         static_cast<int>(L.configRowSize * L.bytesPerConfigWord), 4 - L.bytesPerConfigWord,
         "\r\nError: receive EEPROM-data failed (iAdr=0x%X)\r\n",
         "\r\nError: insert EEPROM-memory block to HEX-file failed (iAdr=0x%X)\r\n"},
    };
    int total = 0;
    for (const Sweep& s : sweeps) total += static_cast<int>(s.steps);
    progress_.total = total;
    progress_.done = 0;

    bool ok = true;
    std::vector<uint8_t> buffer(4096);
    for (const Sweep& s : sweeps) {
        if (!ok) break;
        postLog(s.opening, s.openingAddress);
        for (uint32_t k = 0; k < s.steps && ok; ++k) {
            if (cancelRequested()) {
                postLog("\r\nError: backup stopped by request; no file written, the module is unchanged\r\n");
                return false;
            }
            const uint32_t sweepAddress = s.first + k * s.step;
            const uint32_t commandAddress = s.programMemory ? sweepAddress / 2 : sweepAddress;
            const uint32_t hexAddress = s.programMemory ? sweepAddress : 2 * sweepAddress;
            int error = 0;
            const bool sent = sendCommand(id, s.command, commandAddress, s.size, nullptr, &error);
            if (error == kResultMemoryNotAvailable) {
                postLog("\r\nWarn: memory not available (iAdr=0x%X)\r\n", sweepAddress);
                progress_.done += static_cast<int>(s.steps - k);  // nothing more to read in this sweep
                ok = true;
                break;
            }
            if (!sent) {
                ok = false;
                break;
            }
            if (receiveData(id, s.command, buffer.data(), s.bytes) != s.bytes) {
                postLog(s.receiveError, sweepAddress);
                ok = false;
                break;
            }
            if (s.programMemory) postText(hexDump(buffer.data(), static_cast<size_t>(s.bytes)) + "\r\n");
            if (!image.insertBlock(hexAddress, buffer.data(), static_cast<uint32_t>(s.bytes), s.phantom)) {
                postLog(s.insertError, sweepAddress);
                ok = false;
                break;
            }
            postLog(".");
            ++progress_.done;
        }
    }
    if (!ok) return false;
    image.setStartSegment(static_cast<uint16_t>(device->deviceID), static_cast<uint16_t>(device->procID));
    if (!image.writeHexFile(path, false)) {
        postLog("\r\nError: write HEX-file failed (strFilePath='%s')\r\n", path.c_str());
        return false;
    }
    postLog("\r\ndone\r\n");
    return true;
}

}  // namespace vz
