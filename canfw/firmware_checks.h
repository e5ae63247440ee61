#pragma once
// What a file must be to be written into a module, decided from the file and the module's identity
// alone: the programming job applies it before its first command, and a front end applies it before
// it stops the module's application.
#include <string>

#include "canfw/bootload_job.h"
#include "canfw/firmware_hex_reader.h"
#include "canfw/hex_parameters.h"
#include "canfw/row_image.h"

namespace vz {

struct LoadedFirmware {
    RowImage rows;
    ParameterMap parameters;
    HexReadReport report;
    FirmwareSettings settings;
    bool hexOk = false;
};

// Reads the file for the device family and derives its settings, logging as the programming job does.
// False when the file cannot be opened.
bool loadFirmwareFile(const std::string& path, int deviceFamily, LoadedFirmware& loaded, const LogSink& log);

// The log line ("...\r\n") that refuses the file for this device, or "" when it may be written.
// In order: the device has no memory layout; the file is damaged; for a restore, it is no backup or
// the backup of another processor; otherwise the firmware type does not match bootloaderFile, the
// file is made for another device, detection is off without a firmware range. With checkStart, the
// file must also hold data and an application for program memory must begin with its GOTO (the
// programming job checks both itself, with its own log lines).
std::string firmwareRefusal(const DeviceInfo& device, const LoadedFirmware& file, int memoryType,
                            bool bootloaderFile, bool restore, bool checkStart);

}  // namespace vz
