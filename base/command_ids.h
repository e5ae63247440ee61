#pragma once
// Command ids of the main window's menus and accelerators.

namespace vz::cmd {

constexpr int kInfo = 104;
constexpr int kExit = 105;
constexpr int kOutputCalibration = 32772;
constexpr int kScope = 32773;
constexpr int kSelectOutput = 32777;
constexpr int kOutputConfiguration = 32778;
constexpr int kNothing = 32780;
constexpr int kAllOn = 32783;
constexpr int kAllOff = 32784;
constexpr int kGroup1On = 32785;
constexpr int kGroup1Off = 32786;
constexpr int kAllCommand3 = 32787;
constexpr int kGroup1Command3 = 32788;
constexpr int kGroup2On = 32789;
constexpr int kGroup2Off = 32790;
constexpr int kGroup2Command3 = 32791;
constexpr int kSystemConfiguration = 32794;
constexpr int kFirmwareUpdate = 32795;
constexpr int kDvm = 32796;
constexpr int kTrace = 32797;
constexpr int kStop = 32798;
constexpr int kAllInhibitOn = 32799;
constexpr int kAllInhibitOff = 32800;
constexpr int kSaveConfiguration = 32804;
constexpr int kReadConfiguration = 32805;
constexpr int kSelectUsbDevice = 32807;
constexpr int kFirmwareUpdateViaCan = 32808;

}  // namespace vz::cmd
