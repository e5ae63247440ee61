// The configuration file reader on any bytes: the markup check, the XML parser and the checks of the
// document's contents. The file an operator picks may be anything.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "configfile/config_file_commands.h"
#include "tests/fuzz/quiet_operator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vz::fuzz::QuietOperator quiet;
    vz::setOperatorSeam(&quiet);
    static const std::string path = "/tmp/vz-fuzz-config-" + std::to_string(getpid()) + ".pscfg";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    vz::configurationFileParses(path);
    std::remove(path.c_str());
    return 0;
}
