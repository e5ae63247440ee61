#include "link/cp210x/cp210x_status_map.h"

#include <libusb-1.0/libusb.h>

#include "link/bridge.h"

namespace vz {

// libusb result            Control / open           Read                 Write
// success (>= 0)           SI_SUCCESS               SI_SUCCESS           SI_SUCCESS
// ERROR_TIMEOUT            SI_DEVICE_IO_FAILED      SI_READ_TIMED_OUT    SI_WRITE_TIMED_OUT
// ERROR_NO_DEVICE          SI_DEVICE_NOT_FOUND      SI_READ_ERROR        SI_WRITE_ERROR
// ERROR_NOT_FOUND          SI_DEVICE_NOT_FOUND      SI_READ_ERROR        SI_WRITE_ERROR
// ERROR_BUSY               SI_DEVICE_IO_FAILED      SI_READ_ERROR        SI_WRITE_ERROR
// ERROR_ACCESS             SI_SYSTEM_ERROR_CODE     SI_READ_ERROR        SI_WRITE_ERROR
// ERROR_INVALID_PARAM      SI_INVALID_PARAMETER     SI_READ_ERROR        SI_WRITE_ERROR
// ERROR_OVERFLOW           SI_INVALID_REQUEST_LENGTH SI_READ_ERROR       SI_WRITE_ERROR
// ERROR_NOT_SUPPORTED      SI_FUNCTION_NOT_SUPPORTED SI_READ_ERROR       SI_WRITE_ERROR
// ERROR_IO, PIPE, INTERRUPTED SI_DEVICE_IO_FAILED   SI_READ_ERROR        SI_WRITE_ERROR
// ERROR_NO_MEM, OTHER, any other SI_SYSTEM_ERROR_CODE SI_READ_ERROR      SI_WRITE_ERROR
//
// Reads and writes report only "timed out" or "failed": that is all their callers tell apart.
// Elsewhere the code says where to look: gone (0xFF), held by another program or refused by the
// device (0x08), no permission on the device node (0x0C, see the udev rule).
uint8_t siStatusFromUsb(int usbResult, UsbOperation operation) {
    if (usbResult >= 0) return SI_SUCCESS;
    switch (operation) {
        case UsbOperation::Read:
            return usbResult == LIBUSB_ERROR_TIMEOUT ? SI_READ_TIMED_OUT : SI_READ_ERROR;
        case UsbOperation::Write:
            return usbResult == LIBUSB_ERROR_TIMEOUT ? SI_WRITE_TIMED_OUT : SI_WRITE_ERROR;
        case UsbOperation::Control:
            break;
    }
    switch (usbResult) {
        case LIBUSB_ERROR_NO_DEVICE:
        case LIBUSB_ERROR_NOT_FOUND:
            return SI_DEVICE_NOT_FOUND;
        case LIBUSB_ERROR_ACCESS:
            return SI_SYSTEM_ERROR_CODE;
        case LIBUSB_ERROR_INVALID_PARAM:
            return SI_INVALID_PARAMETER;
        case LIBUSB_ERROR_OVERFLOW:
            return SI_INVALID_REQUEST_LENGTH;
        case LIBUSB_ERROR_NOT_SUPPORTED:
            return SI_FUNCTION_NOT_SUPPORTED;
        case LIBUSB_ERROR_BUSY:
        case LIBUSB_ERROR_TIMEOUT:
        case LIBUSB_ERROR_IO:
        case LIBUSB_ERROR_PIPE:
        case LIBUSB_ERROR_INTERRUPTED:
            return SI_DEVICE_IO_FAILED;
        default:
            return SI_SYSTEM_ERROR_CODE;
    }
}

}  // namespace vz
