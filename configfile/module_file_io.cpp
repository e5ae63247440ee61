#include "configfile/module_file_io.h"

#include "base/settings.h"
#include "channel/channel_table.h"

namespace vz {

bool MODULE_FILE_IO::writeAllOutputs() {
    for (int n = 0; n < crateSettings().typeChannelLimit && n < kChannelCount; ++n)
        writeOutputConfiguration(n);
    return true;
}

MODULE_FILE_IO& moduleFileIo() {
    static MODULE_FILE_IO instance;
    return instance;
}

}  // namespace vz
