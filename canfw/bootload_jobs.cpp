// The job handler: what the worker does with each queued job, and what it reports.
#include <cstring>

#include "canfw/bootload.h"
#include "canfw/device_table.h"

namespace vz {

int CBootload::runJob(BootloadJob& job) {
    std::string result(44, '\0');  // the job's result record, kept when the job succeeds
    bool ok = false;
    const char* failure = nullptr;
    progress_.done = 0;
    progress_.total = 0;
    progress_.written = 0;
    switch (job.type) {
        case kJobBackup:
            ok = backupDeviceMemory(&job.device, job.path);
            if (ok)
                postLog("Info: Read of device-memory done\r\n");
            else
                failure = "Error: Read of device-memory failed\r\n";
            break;
        case kJobProgramFlash:
            checksOff_ = job.checksOff;
            ok = programDevice(&job.device, kProgramMemory, job.path, job.bootloaderFile,
                               job.overrideProtection, job.restore);
            checksOff_ = false;
            if (ok)
                postValue(kMsgProgrammed, 0);
            else
                failure = "Error: Write of device-memory (FLASH) failed\r\n";
            break;
        case kJobProgramEeprom:
            ok = programDevice(&job.device, kEepromMemory, job.path, false, false, job.restore);
            if (ok)
                postValue(kMsgProgrammed, 0);
            else
                failure = "Error: Write of device-memory (EEPROM) failed\r\n";
            break;
        case kJobIdentify: {
            const int id = job.device.iModuleId;
            if (!sendCommand(id, 0x09, 0, 0)) {
                failure = "Error: Read of deviceId failed\r\n";
                break;
            }
            DeviceInfo info;
            if (!readDeviceId(id, &info)) break;
            postLog("Device found: name='%s' (iModuleId=%d, family=%d/'%s')\r\n", info.name, id, info.family,
                    familyName(info.family));
            postToDialog(kMsgDeviceFound, &info, sizeof info);
            std::memcpy(result.data(), &info, sizeof info);
            ok = true;
            break;
        }
        case kJobStartApplication:
        case kJobStartBootLoader: {
            const bool bootLoader = job.type == kJobStartBootLoader;
            ok = startFirmware(&job.device, bootLoader);
            if (ok) {
                postLog(bootLoader ? "Info: Bootloader started\r\n" : "Info: Application started\r\n");
                postValue(kMsgVersionOrStart, 0);
                postValue(kMsgStarted, 0);
            } else {
                failure = bootLoader ? "Error: Start of bootloader failed\r\n"
                                     : "Error: Start of application failed\r\n";
            }
            break;
        }
        case kJobBootVersion:
        case kJobAppVersion: {
            const bool application = job.type == kJobAppVersion;
            VersionRecord v;
            ok = readVersion(job.device.iModuleId, v, application);
            if (!ok) {
                failure = "Error: Read of version-info failed\r\n";
                break;
            }
            const std::string text = versionText(v);
            postValue(kMsgVersionOrStart, application && text != "unknown" ? 1 : 0);
            postToDialog(application ? kMsgAppVersion : kMsgBootVersion, text.c_str(), text.size() + 1);
            std::memcpy(result.data(), &v, sizeof v);
            break;
        }
        case kJobRunningType:
            ok = readRunningType(&job.device);
            break;
        default:
            break;
    }
    if (ok) {
        resultStorage_.appendItem(std::make_unique<std::string>(std::move(result)));
        return 1;
    }
    ++jobsFailed_;
    if (job.type == kJobRunningType) return -1;  // message 7 with 0 already told it
    if (failure) postLog("%s", failure);
    postLog("Error: Job failed (cmd=0x%02X)\r\n", job.type);
    return -1;
}

void CBootload::reportJobError(const BootloadJob& job, const char* what) {
    ++jobsFailed_;
    postLog("Error: %s\r\n", what);
    postLog("Error: Job failed (cmd=0x%02X)\r\n", job.type);
}

}  // namespace vz
