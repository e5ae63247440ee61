#pragma once
// A module's identified processor and one queued boot-loader job.
#include <cstdint>
#include <string>
#include <type_traits>

namespace vz {

struct DeviceInfo {
    int32_t family = 4;  // 0 to 3 (device table), 4 when not in the table
    uint32_t deviceID = 0;
    uint32_t procID = 0;
    uint32_t revisionNr = 0;
    uint32_t dot = 0;
    char name[20] = "-?-";
    int32_t iModuleId = 0;
};
static_assert(sizeof(DeviceInfo) == 44 && std::is_trivially_copyable_v<DeviceInfo>);

enum JobCode : uint32_t {
    kJobBackup = 2,
    kJobProgramFlash = 3,
    kJobProgramEeprom = 5,
    kJobIdentify = 9,
    kJobStartApplication = 10,
    kJobBootVersion = 11,
    kJobAppVersion = 12,
    kJobStartBootLoader = 15,
    kJobRunningType = 16,
};

struct BootloadJob {
    uint32_t type = 0;
    uint32_t reserved = 0;
    bool bootloaderFile = false;
    bool overrideProtection = false;
    bool checksOff = false;
    // A backup written back: instead of the firmware checks, the file must be a backup of this
    // processor; every row it holds is written but the boot loader's own, and the module keeps its
    // start address (a module cannot tell it).
    bool restore = false;
    DeviceInfo device;
    std::string path;  // at most 259 characters
};

// A job that only addresses a module: family 4 and the module number.
inline DeviceInfo moduleOnly(int moduleId) {
    DeviceInfo d;
    d.iModuleId = moduleId;
    return d;
}

}  // namespace vz
