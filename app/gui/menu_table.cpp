#include "app/gui/menu_table.h"

#include "base/command_ids.h"

namespace vz {

const MenuRow kFullMenu[] = {
    {"&File", cmd::kReadConfiguration, "&Read Power Supply Configuration from File"},
    {"&File", cmd::kSaveConfiguration, "&Save Power Supply Configuration to File"},
    {"&File", cmd::kExit, "&Exit"},
    {"&Switch...", cmd::kAllOn, "all on"},
    {"&Switch...", cmd::kAllOff, "all off"},
    {"&Switch...", cmd::kGroup1On, "group 1 on"},
    {"&Switch...", cmd::kGroup1Off, "group 1 off"},
    {"&Switch...", cmd::kGroup2On, "group 2 on"},
    {"&Switch...", cmd::kGroup2Off, "group 2 off"},
    {"&Switch...", cmd::kAllInhibitOn, "all inhibit on"},
    {"&Switch...", cmd::kAllInhibitOff, "all inhibit off"},
    {nullptr, cmd::kSelectOutput, "&SelectOutput"},
    {nullptr, cmd::kDvm, "&DVM"},
    {nullptr, cmd::kOutputConfiguration, "&OutputConfiguration"},
    {nullptr, cmd::kOutputCalibration, "Output&Calibration"},
    {"S&ystem", cmd::kSystemConfiguration, "&Configuration"},
    {"S&ystem", cmd::kFirmwareUpdate, "&Firmware Update"},
    {"S&ystem", cmd::kFirmwareUpdateViaCan, "F&irmware Update via CAN"},
    {nullptr, cmd::kStop, "&Stop"},
    {"&Help", cmd::kInfo, "&Info..."},
    {nullptr, cmd::kScope, "Scope"},
    {nullptr, cmd::kTrace, "&Trace"},
};
const int kFullMenuSize = sizeof kFullMenu / sizeof kFullMenu[0];

const MenuRow kReducedMenu[] = {
    {"&File", cmd::kExit, "&Exit"},
    {nullptr, cmd::kFirmwareUpdate, "&Firmware Update"},
    {"&Help", cmd::kInfo, "&Info..."},
};
const int kReducedMenuSize = sizeof kReducedMenu / sizeof kReducedMenu[0];

}  // namespace vz
