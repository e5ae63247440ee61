#pragma once
// The driver's one instance: the link state behind the PRG_ entry points and the serial device it
// opened itself, if any.
#include <memory>

#include "prg/boot_link.h"
#include "prg/tty_serial_port.h"

namespace vzprg {

BootLink& driverLink();
// The device opened by PRG_OpenSerialDevice; replaced or dropped when another port is set.
std::unique_ptr<TtySerialPort>& driverTty();

}  // namespace vzprg
