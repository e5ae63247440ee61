#pragma once
// Translation of libusb results into the bridge library's status codes.
#include <cstdint>

namespace vz {

// What the failed call was doing: time-outs and failures of data transfers have their own codes.
enum class UsbOperation { Control, Read, Write };

uint8_t siStatusFromUsb(int usbResult, UsbOperation operation = UsbOperation::Control);

}  // namespace vz
