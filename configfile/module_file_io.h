#pragma once
// The power supply configuration file: every present channel's calibration, limits, user settings
// and flags as physical values in an XML document, and the way back into the modules.
#include <string>

#include "configfile/config_read_options.h"
#include "configfile/xml_config_document.h"

namespace vz {

constexpr const char* kConfigFileExtension = "pscfg";
constexpr const char* kConfigFileFilterName = "Power Supply Configuration File (*.pscfg)";
constexpr const char* kConfigFileFilterPattern = "*.pscfg";

// What applying one file channel to a channel did.
struct OutputApplyCounts {
    int written = 0;               // parameter writes the module accepted
    int refused = 0;               // parameter writes the module refused or that were lost on the link
    bool notConfigurable = false;  // skipped: the channel is not a power output
};

class MODULE_FILE_IO {
  public:
    static constexpr std::size_t kFileNameMax = 259;

    // Adds channel n to the held document; false when the channel is not present.
    bool writeOutputConfiguration(int n);
    // Every channel below the controller's channel limit, in ascending order; always true.
    bool writeAllOutputs();
    // Applies the file's channel Ua to the power supply's channel b, with the kinds of data chosen in
    // readOptions. False when channel b is not present or the file has no element for Ua; single
    // missing or refused parameters do not make it fail, but are counted in counts.
    bool readOutputConfiguration(int configOutputNumber, int realOutputNumber,
                                 OutputApplyCounts* counts = nullptr);

    XmlConfigDocument& document() { return document_; }

    std::string fileName;  // the last chosen file, for both commands
    ConfigReadOptions readOptions;

  private:
    XmlConfigDocument document_;
};

// The program's one file object: its file name and read options outlive each use.
MODULE_FILE_IO& moduleFileIo();

}  // namespace vz
