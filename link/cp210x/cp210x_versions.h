#pragma once
// The two version figures the about box shows for the USB bridge, as pairs of 32-bit words with
// two 16-bit parts each (high part first).
#include <cstdint>
#include <string_view>

#include "link/cp210x/cp210x_usb_transport.h"

namespace vz {

struct VersionWords {
    uint32_t high = 0;
    uint32_t low = 0;
};

// Library version: major.minor in the high word, micro.nano in the low word.
VersionWords libraryVersionWords(const UsbLibraryVersion& version);

// Driver version: on Linux the kernel's usbfs moves every byte for us, so the kernel release
// (uname -r, "6.1.0-18-amd64" -> 6.1.0.18) is the figure that says which driver ran. Parts past
// 65535 are clamped. False when the text does not start with a number.
bool kernelVersionWords(std::string_view release, VersionWords& words);

}  // namespace vz
