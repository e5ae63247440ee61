// The virtual crate's scenario parser on any text: a clear error or a crate, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/virtual_crate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    vsim::VirtualCrate::fromJsonText(std::string(reinterpret_cast<const char*>(data), size), error);
    return 0;
}
