#include "base/settings.h"

#include "base/crate_binding.h"

namespace vz {

CrateSettings& crateSettings() {
    CrateSettings* settings = boundCrate().settings;
    if (!settings) noCrateBound("settings");
    return *settings;
}

void resetSettings() {
    CrateSettings& s = crateSettings();
    const CrateSettings start;
    s.fCmdLine = start.fCmdLine;
    s.portName = start.portName;
    s.searchLimit = start.searchLimit;
    s.overwriteSystemConfig = start.overwriteSystemConfig;
    s.controllerType = start.controllerType.load();
    s.snmpMode = start.snmpMode;
    s.typeChannelLimit = start.typeChannelLimit;
}

}  // namespace vz
