#include "base/settings.h"

namespace vz {

uint32_t fCmdLine = kDefaultCmdLine;
std::string portName = "COM4";
unsigned searchLimit = 127;
bool overwriteSystemConfig = false;
std::atomic<int> controllerType{0};
bool snmpMode = false;
int typeChannelLimit = 12;

void resetSettings() {
    fCmdLine = kDefaultCmdLine;
    portName = "COM4";
    searchLimit = 127;
    overwriteSystemConfig = false;
    controllerType = 0;
    snmpMode = false;
    typeChannelLimit = 12;
}

}  // namespace vz
