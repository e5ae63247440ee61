// The C face of the driver: the PRG_ entry points, the interface record and the two ways to lend it
// a serial port. Only these names leave libvzprg.so (vzprg.map).
#include <string>

#include "prg/boot_commands.h"
#include "prg/prg_driver.h"
#include "prg/vzprg.h"

using vzprg::BootLink;
using vzprg::driverLink;

namespace {

int transfer(const char* name, uint32_t address, uint16_t page, uint32_t numBytes, uint16_t* buffer,
             const uint16_t* data, int command, bool write) {
    BootLink& link = driverLink();
    if (link.busy()) return PRG_STATUS_BUSY;
    link.status = PRG_STATUS_BUSY;
    link.cancel = 0;
    link.request = vzprg::PendingRequest{address, page, numBytes, buffer, data, command};
    const int status = write ? vzprg::MemWrite(link) : vzprg::MemRead(link);
    link.log(vzprg::kLogInfo, "%s(Addr=0x%X, Page=0x%X, NumBytes=%u): 0x%X", name, address, page, numBytes,
             static_cast<unsigned>(status));
    return status;
}

const PrgInterface kInterface = {
    76,
    1,
    1,
    1,
    1,
    "GENERIC",
    0,
    16,
    PRG_Init,
    PRG_SetOptions,
    PRG_Status,
    PRG_Open,
    PRG_Close,
    PRG_SetMessageCallBack,
    PRG_FlashWrite,
    PRG_FlashRead,
    PRG_FlashVerify,
    PRG_MemWrite,
    PRG_MemRead,
};

}  // namespace

extern "C" {

int PRG_Init(PRG_HANDLE* handle) {
    if (!handle) return PRG_STATUS_FAILED;
    BootLink& link = driverLink();
    link.resetDriver();
    link.handle = &link.options;
    *handle = link.handle;
    return 0;
}

int PRG_SetOptions(PRG_HANDLE, const char* options) {
    if (!options) return PRG_STATUS_FAILED;
    vzprg::parseOptions(driverLink().options, options);
    return 0;
}

int PRG_Status(PRG_HANDLE) {
    return driverLink().status;
}

int PRG_Open(PRG_HANDLE) {
    BootLink& link = driverLink();
    if (link.busy()) return PRG_STATUS_BUSY;
    link.status = PRG_STATUS_BUSY;
    link.cancel = 0;
    return vzprg::OpenChannel(link);
}

int PRG_Close(PRG_HANDLE) {
    BootLink& link = driverLink();
    link.cancel = 1;
    link.connected = 0;
    return 0;
}

int PRG_SetMessageCallBack(PRG_HANDLE handle, PRG_MessageCallBack callback) {
    BootLink& link = driverLink();
    link.callback = callback;
    if (callback) callback(handle, PRG_MESSAGE_INSTALLED, "Installed output message callback\n");
    return 0;
}

int PRG_FlashWrite(PRG_HANDLE, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data) {
    return transfer("PRG_FlashWrite", address, page, numBytes, nullptr, data, vzprg::kCmdFlashWrite, true);
}

int PRG_FlashRead(PRG_HANDLE, uint32_t address, uint16_t page, uint32_t numBytes, uint16_t* buffer) {
    return transfer("PRG_FlashRead", address, page, numBytes, buffer, nullptr, vzprg::kCmdFlashRead, false);
}

int PRG_MemWrite(PRG_HANDLE, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data) {
    return transfer("PRG_MemWrite", address, page, numBytes, nullptr, data, vzprg::kCmdMemWrite, true);
}

int PRG_MemRead(PRG_HANDLE, uint32_t address, uint16_t page, uint32_t numBytes, uint16_t* buffer) {
    return transfer("PRG_MemRead", address, page, numBytes, buffer, nullptr, vzprg::kCmdMemRead, false);
}

int PRG_FlashVerify(PRG_HANDLE, uint32_t address, uint16_t page, uint32_t numBytes, const uint16_t* data) {
    BootLink& link = driverLink();
    // Refused while another operation runs; its busy status stays, so it is not started twice.
    if (link.busy()) return PRG_STATUS_FAILED;
    link.status = PRG_STATUS_BUSY;
    link.cancel = 0;
    const int status = vzprg::VerifyChecksum(link, address, page, numBytes, data);
    link.log(vzprg::kLogInfo, "PRG_FlashVerify(Addr=0x%X, Page=0x%X, NumBytes=%u): 0x%X", address, page,
             numBytes, static_cast<unsigned>(status));
    return status;
}

int PRG_EraseSectors(PRG_HANDLE, uint32_t sectorMask) {
    return vzprg::EraseSectors(driverLink(), sectorMask);
}

int PrgGetInterface(const PrgInterface** record) {
    if (!record) return PRG_STATUS_FAILED;
    *record = &kInterface;
    return 0;
}

int PRG_SetSerialPort(PRG_HANDLE, const PrgSerialPort* port) {
    BootLink& link = driverLink();
    if (link.busy()) return PRG_STATUS_FAILED;
    link.setPort(port);
    vzprg::driverTty().reset();
    return 0;
}

int PRG_OpenSerialDevice(PRG_HANDLE, const char* path) {
    BootLink& link = driverLink();
    if (link.busy()) return PRG_STATUS_FAILED;
    if (!path || !*path) {
        link.message("No serial device given\r\n");
        return PRG_STATUS_FAILED;
    }
    std::string error;
    auto tty = vzprg::TtySerialPort::open(path, error);
    if (!tty) {
        link.message("Unable to open serial device \"%s\": %s\r\n", path, error.c_str());
        return PRG_STATUS_FAILED;
    }
    if (!tty->modemLinesSupported())
        link.message("Serial device \"%s\" has no modem lines: RTS and DTR are not driven\r\n", path);
    const PrgSerialPort port = tty->port();
    link.setPort(&port);
    vzprg::driverTty() = std::move(tty);
    return 0;
}

}  // extern "C"
