#pragma once
// What a read of a configuration file applies, and where: the choices of the read dialog, shared by
// the program's dialog and vzctl.
#include <cstdint>
#include <string>
#include <vector>

namespace vz {

struct ConfigReadOptions {
    bool sysUser = false;    // kept for the dialog; has no effect on reading
    bool sysConfig = false;  // kept for the dialog; has no effect on reading
    bool outputUser = true;
    bool outputConfig = false;
    bool outputCalib = false;
    // 0: MATCHING, every target takes the file's channel of its own number; k >= 1: the file's
    // channel k-1 for every target.
    int fileChannel = 0;
    std::vector<int> targets;  // power supply channels
};

// Which choices the operator may change, by controller type and command line options.
struct ReadDialogControls {
    bool outputUser = true;     // "Read Output User Data"
    bool outputConfig = false;  // "Read Output Configuration Data"
    bool outputCalib = false;   // "Read Output Calibration Data"
    bool sysConfig = false;     // "Read System Configuration Data"
    bool channels = true;       // the file channel and the target channels
    // A WDX controller without -ac and -f always reads user and configuration data of matching
    // channels into the preselected ones.
    bool wdxFixed = false;
};

ReadDialogControls readDialogControls(int controllerType, uint32_t cmdLineFlags);

// Imposes the fixed choices of a WDX controller on options (nothing changes otherwise).
void applyReadDialogControls(const ReadDialogControls& controls, ConfigReadOptions& options);

// The file channel choices: "MATCHING", then "0".."11" with 12 channels, else "0".."15".
std::vector<std::string> fileChannelChoices(int channelLimit);

// The targets selected when the dialog opens: channels below the limit that are present and of a
// configurable kind.
std::vector<int> preselectedTargets();

}  // namespace vz
