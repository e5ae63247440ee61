#include "canfw/update_rules.h"

#include <algorithm>
#include <cctype>

namespace vz {

int firmwareKindByName(const std::string& path) {
    std::string upper = path;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    int kind = 0;
    const char* marks[] = {"_BL.HEX", "_FW.HEX", "_FBU.HEX"};
    for (int i = 0; i < 3; ++i) {
        // A name that is only the mark names no firmware.
        if (upper.size() > 1 && upper.find(marks[i], 1) != std::string::npos) kind = i + 1;
    }
    return kind;
}

const char* firmwareTypeName(int type) {
    switch (type) {
        case 1:
            return "Bootloader";
        case 2:
            return "Application";
        case 3:
            return "Update Application";
        default:
            return "unsupported";
    }
}

static bool isApplication(int type) {
    return type == 2 || type == 3;
}

bool downloadAllowedFor(int runningType, int fileType, bool checksOff) {
    if (checksOff) return true;
    return (runningType == 1 && isApplication(fileType)) || (runningType == 3 && fileType == 1);
}

bool prepareAllowedFor(int runningType, int fileType, bool checksOff) {
    if (checksOff) return isApplication(fileType);
    return isApplication(runningType) && isApplication(fileType);
}

bool startAllowedFor(int runningType, bool versionSeen) {
    return runningType == 1 && versionSeen;
}

}  // namespace vz
