#include "prg/prg_driver.h"

namespace vzprg {

BootLink& driverLink() {
    static BootLink link;
    return link;
}

std::unique_ptr<TtySerialPort>& driverTty() {
    static std::unique_ptr<TtySerialPort> tty;
    return tty;
}

}  // namespace vzprg
