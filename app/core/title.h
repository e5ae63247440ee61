#pragma once
// The main window's title: controller, bridge serial number, search progress or selected channel.
#include <string>

namespace vz {

// The controller's name in the title, by controllerType and snmpMode.
const char* controllerName();
std::string titleText(const char* text);
// Builds the title and sets it at once (also during the module search).
void updateTitle(const char* text);

}  // namespace vz
