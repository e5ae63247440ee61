#pragma once
// A POSIX serial device (a CP210x under its kernel driver, for instance) as the driver's port:
// termios raw at 115200 8N1, short polled reads, RTS and DTR through the modem-control ioctls.
#include <memory>
#include <string>

#include "prg/vzprg.h"

namespace vzprg {

class TtySerialPort {
  public:
    ~TtySerialPort();
    TtySerialPort(const TtySerialPort&) = delete;
    TtySerialPort& operator=(const TtySerialPort&) = delete;

    // nullptr with error set to a description when the device cannot be opened or configured.
    static std::unique_ptr<TtySerialPort> open(const std::string& path, std::string& error);

    // Whether the device has RTS and DTR at all (a pseudo-terminal has not); without them the lines
    // are simply not driven.
    bool modemLinesSupported() const { return modemLinesSupported_; }
    // The port record; its context is this object.
    PrgSerialPort port();

  private:
    explicit TtySerialPort(int fd) : fd_(fd) {}
    static int write(void* context, const void* data, uint32_t count, uint32_t* written);
    static int read(void* context, void* buffer, uint32_t count, uint32_t* received);
    static int flush(void* context);
    static int configure(void* context, uint32_t baud, uint16_t lineControl);
    static int setModemLines(void* context, int rts, int dtr);
    static const char* statusText(void* context, int status);

    int fd_;
    bool modemLinesSupported_ = true;
    std::string statusBuffer_;
};

}  // namespace vzprg
