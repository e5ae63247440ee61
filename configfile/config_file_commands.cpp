#include "configfile/config_file_commands.h"

#include <algorithm>

#include "base/message_boxes.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "configfile/module_file_io.h"

namespace vz {

bool savePowerSupplyConfiguration(const std::string& path) {
    MODULE_FILE_IO& io = moduleFileIo();
    io.fileName = path.substr(0, MODULE_FILE_IO::kFileNameMax);
    XmlConfigDocument& document = io.document();
    if (!document.open(nullptr)) {
        document.close();
        printBox("Error in configuration file \"%s\"", path.c_str());
        return false;
    }
    io.writeAllOutputs();
    const bool saved = document.save(path.c_str());
    const std::string why = document.saveError();
    document.close();
    // Reported, not passed over: the operator must know that the file does not hold this crate.
    if (!saved) printBox("Could not save the configuration to \"%s\": %s", path.c_str(), why.c_str());
    return saved;
}

bool configurationFileParses(const std::string& path) {
    XmlConfigDocument& document = moduleFileIo().document();
    const bool parsed = document.open(path.c_str());
    document.close();
    return parsed;
}

bool applyConfigurationFile(const std::string& path, const ConfigReadOptions& options,
                            ConfigApplyReport* report) {
    MODULE_FILE_IO& io = moduleFileIo();
    io.fileName = path.substr(0, MODULE_FILE_IO::kFileNameMax);
    io.readOptions = options;
    XmlConfigDocument& document = io.document();
    if (!document.open(path.c_str())) {
        document.close();
        printBox("Error in configuration file \"%s\"", path.c_str());
        return false;
    }
    std::vector<int> targets = options.targets;
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    using Result = ConfigApplyReport::Target::Result;
    for (int channel : targets) {
        const int fileChannel = options.fileChannel != 0 ? options.fileChannel - 1 : channel;
        if (channel < 0 || channel >= crateSettings().typeChannelLimit || channel >= kChannelCount) {
            if (report) {
                report->failed.push_back(channel);
                report->targets.push_back({channel, fileChannel, Result::absent});
            }
            continue;
        }
        OutputApplyCounts counts;
        const bool ok = io.readOutputConfiguration(fileChannel, channel, &counts);
        if (!report) continue;
        (ok ? report->applied : report->failed).push_back(channel);
        const Result result = !ok ? (channelPresent(channel) ? Result::notInFile : Result::absent)
                              : counts.notConfigurable ? Result::notConfigurable
                                                       : Result::applied;
        report->targets.push_back({channel, fileChannel, result, counts.written, counts.refused});
    }
    document.close();
    return true;
}

}  // namespace vz
