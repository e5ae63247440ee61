#include "app/core/shell_commands.h"

#include <cstdint>

#include "channel/switch_commands.h"

namespace vz {

namespace {
struct SwitchMenuEntry {
    int id;
    uint8_t address;
    uint16_t word;
};
constexpr SwitchMenuEntry kSwitchMenu[] = {
    {32783, kAllModules, kSwitchOn}, {32784, kAllModules, kSwitchOff}, {32785, kGroup1, kSwitchOn},
    {32786, kGroup1, kSwitchOff},    {32789, kGroup2, kSwitchOn},      {32790, kGroup2, kSwitchOff},
    {32799, kAllModules, kInhibitOn}, {32800, kAllModules, kInhibitOff}, {32787, kAllModules, 3},
    {32788, kGroup1, 3},             {32791, kGroup2, 3},
};
}  // namespace

bool runSwitchMenuCommand(int commandId) {
    for (const auto& e : kSwitchMenu) {
        if (e.id == commandId) {
            sendSwitchCommand(e.address, e.word);
            return true;
        }
    }
    return false;
}

}  // namespace vz
