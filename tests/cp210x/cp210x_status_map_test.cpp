#include "link/cp210x/cp210x_status_map.h"

#include <gtest/gtest.h>
#include <libusb-1.0/libusb.h>

#include "link/bridge.h"

namespace vz {
namespace {

TEST(StatusMap, LibusbResultsBecomeBridgeStatuses) {
    struct Case {
        int usb;
        uint8_t control, read, write;
    };
    const Case cases[] = {
        {LIBUSB_SUCCESS, SI_SUCCESS, SI_SUCCESS, SI_SUCCESS},
        {19, SI_SUCCESS, SI_SUCCESS, SI_SUCCESS},  // byte counts of transfers
        {LIBUSB_ERROR_TIMEOUT, SI_DEVICE_IO_FAILED, SI_READ_TIMED_OUT, SI_WRITE_TIMED_OUT},
        {LIBUSB_ERROR_NO_DEVICE, SI_DEVICE_NOT_FOUND, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_NOT_FOUND, SI_DEVICE_NOT_FOUND, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_BUSY, SI_DEVICE_IO_FAILED, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_ACCESS, SI_SYSTEM_ERROR_CODE, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_INVALID_PARAM, SI_INVALID_PARAMETER, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_OVERFLOW, SI_INVALID_REQUEST_LENGTH, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_NOT_SUPPORTED, SI_FUNCTION_NOT_SUPPORTED, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_IO, SI_DEVICE_IO_FAILED, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_PIPE, SI_DEVICE_IO_FAILED, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_INTERRUPTED, SI_DEVICE_IO_FAILED, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_NO_MEM, SI_SYSTEM_ERROR_CODE, SI_READ_ERROR, SI_WRITE_ERROR},
        {LIBUSB_ERROR_OTHER, SI_SYSTEM_ERROR_CODE, SI_READ_ERROR, SI_WRITE_ERROR},
        {-1000, SI_SYSTEM_ERROR_CODE, SI_READ_ERROR, SI_WRITE_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.usb);
        EXPECT_EQ(siStatusFromUsb(c.usb, UsbOperation::Control), c.control);
        EXPECT_EQ(siStatusFromUsb(c.usb, UsbOperation::Read), c.read);
        EXPECT_EQ(siStatusFromUsb(c.usb, UsbOperation::Write), c.write);
    }
}

}  // namespace
}  // namespace vz
