#include "link/cp210x/cp210x_versions.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vz {

namespace {

uint32_t pack(uint32_t high, uint32_t low) {
    return (std::min<uint32_t>(high, 0xFFFF) << 16) | std::min<uint32_t>(low, 0xFFFF);
}

}  // namespace

VersionWords libraryVersionWords(const UsbLibraryVersion& version) {
    return {pack(version.major, version.minor), pack(version.micro, version.nano)};
}

bool kernelVersionWords(std::string_view release, VersionWords& words) {
    // Up to four numbers separated by any non-digit run ('.', '-', '+', letters).
    std::array<uint32_t, 4> parts{};
    std::size_t count = 0;
    std::size_t i = 0;
    if (release.empty() || !std::isdigit(static_cast<unsigned char>(release[0]))) return false;
    while (i < release.size() && count < parts.size()) {
        if (std::isdigit(static_cast<unsigned char>(release[i]))) {
            uint32_t value = 0;
            while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) {
                value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(release[i] - '0'), 0xFFFF);
                ++i;
            }
            parts[count++] = value;
        } else {
            ++i;
        }
    }
    words = {pack(parts[0], parts[1]), pack(parts[2], parts[3])};
    return true;
}

}  // namespace vz
