#pragma once
// What the update dialog decides from the names and types alone: the kind of a firmware file by its
// name, the names of the firmware types, and which actions the running firmware and the file allow.
#include <string>

namespace vz {

// "_BL.HEX", "_FW.HEX" and "_FBU.HEX" searched in the upper-cased path in this order, each found
// after the first character setting 1, 2 or 3 (a later one wins); 0 when none is found.
int firmwareKindByName(const std::string& path);
// "Bootloader", "Application", "Update Application" or "unsupported".
const char* firmwareTypeName(int type);

// Program: the boot loader runs and the file is an application or update application, or an update
// application runs and the file is a boot loader; anything when the checks are off.
bool downloadAllowedFor(int runningType, int fileType, bool checksOff);
// Prepare (start the boot loader): an application runs and the file is an application.
bool prepareAllowedFor(int runningType, int fileType, bool checksOff);
// Start the application: the boot loader runs and its version was read.
bool startAllowedFor(int runningType, bool versionSeen);

}  // namespace vz
