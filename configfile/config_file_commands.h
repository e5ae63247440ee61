#pragma once
// The two file commands without their windows: save every present channel to a file, and apply a
// file to chosen channels. The program's menu and dialog and vzctl call these.
#include <string>
#include <vector>

#include "configfile/config_read_options.h"

namespace vz {

// Writes every present channel below the channel limit into a new document and saves it, replacing
// the file only when the whole document was written. A failure is shown with printBox and returns
// false.
bool savePowerSupplyConfiguration(const std::string& path);

struct ConfigApplyReport {
    std::vector<int> applied;  // targets whose file channel was applied (or skipped as not configurable)
    std::vector<int> failed;   // targets that are absent, or whose file channel the file lacks

    // Each target in the order applied, with what it really got.
    struct Target {
        enum class Result { applied, notConfigurable, absent, notInFile };
        int channel;
        int fileChannel;
        Result result;
        int written = 0;  // parameters the module accepted
        int refused = 0;  // parameters the module refused (or lost on the link)
    };
    std::vector<Target> targets;
};

// Opens the file and applies, for each target below the channel limit in ascending order, the file's
// channel chosen by options.fileChannel. A file that does not parse is shown with printBox
// "Error in configuration file" and nothing is written to any module. The options and the file name
// are kept for the next use.
// Reads and checks a configuration file without touching any module: false (with the reasons in the
// debug log) when it would be refused or does not parse. Lets a tool turn a bad file away before it
// connects to a crate.
bool configurationFileParses(const std::string& path);

bool applyConfigurationFile(const std::string& path, const ConfigReadOptions& options,
                            ConfigApplyReport* report = nullptr);

}  // namespace vz
