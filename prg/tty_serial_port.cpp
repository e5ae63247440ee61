#include "prg/tty_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vzprg {
namespace {

// A read returns what arrived within this wait, so the link's time-out loops stay responsive.
constexpr int kReadWaitMs = 5;

speed_t speedFor(uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

}  // namespace

TtySerialPort::~TtySerialPort() {
    ::close(fd_);
}

std::unique_ptr<TtySerialPort> TtySerialPort::open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<TtySerialPort> port(new TtySerialPort(fd));
    if (configure(port.get(), 115200, 0x0800) != 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    int lines = 0;
    port->modemLinesSupported_ = ::ioctl(fd, TIOCMGET, &lines) == 0;
    return port;
}

PrgSerialPort TtySerialPort::port() {
    PrgSerialPort p{};
    p.context = this;
    p.write = &TtySerialPort::write;
    p.read = &TtySerialPort::read;
    p.flush = &TtySerialPort::flush;
    p.configure = &TtySerialPort::configure;
    p.setModemLines = &TtySerialPort::setModemLines;
    p.statusText = &TtySerialPort::statusText;
    return p;
}

int TtySerialPort::write(void* context, const void* data, uint32_t count, uint32_t* written) {
    auto* self = static_cast<TtySerialPort*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(self->fd_, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd p{self->fd_, POLLOUT, 0};
                if (::poll(&p, 1, 1000) <= 0) {
                    if (written) *written = done;
                    return ETIMEDOUT;
                }
                continue;
            }
            if (written) *written = done;
            return errno;
        }
        done += static_cast<uint32_t>(n);
    }
    if (written) *written = done;
    return 0;
}

int TtySerialPort::read(void* context, void* buffer, uint32_t count, uint32_t* received) {
    auto* self = static_cast<TtySerialPort*>(context);
    if (received) *received = 0;
    if (count == 0) return 0;
    pollfd p{self->fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, kReadWaitMs);
    if (ready < 0) return errno == EINTR ? 0 : errno;
    if (ready == 0) return 0;
    const ssize_t n = ::read(self->fd_, buffer, count);
    if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : errno;
    if (received) *received = static_cast<uint32_t>(n);
    return 0;
}

int TtySerialPort::flush(void* context) {
    auto* self = static_cast<TtySerialPort*>(context);
    return ::tcflush(self->fd_, TCIOFLUSH) == 0 ? 0 : errno;
}

int TtySerialPort::configure(void* context, uint32_t baud, uint16_t lineControl) {
    auto* self = static_cast<TtySerialPort*>(context);
    const speed_t speed = speedFor(baud);
    const unsigned dataBits = lineControl >> 8;
    const unsigned parity = (lineControl >> 4) & 0xF;
    const unsigned stopBits = lineControl & 0xF;
    if (speed == B0 || dataBits < 5 || dataBits > 8 || parity > 2 || stopBits > 2) return EINVAL;
    termios t{};
    if (::tcgetattr(self->fd_, &t) != 0) return errno;
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag |= dataBits == 5 ? CS5 : dataBits == 6 ? CS6 : dataBits == 7 ? CS7 : CS8;
    if (parity == 1) t.c_cflag |= PARENB | PARODD;
    if (parity == 2) t.c_cflag |= PARENB;
    if (stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;  // reads wait in poll(), never in the driver
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    return ::tcsetattr(self->fd_, TCSANOW, &t) == 0 ? 0 : errno;
}

int TtySerialPort::setModemLines(void* context, int rts, int dtr) {
    auto* self = static_cast<TtySerialPort*>(context);
    if (!self->modemLinesSupported_) return 0;
    int set = 0;
    int clear = 0;
    (rts ? set : clear) |= TIOCM_RTS;
    (dtr ? set : clear) |= TIOCM_DTR;
    if ((set && ::ioctl(self->fd_, TIOCMBIS, &set) != 0) ||
        (clear && ::ioctl(self->fd_, TIOCMBIC, &clear) != 0)) {
        // A pseudo-terminal or a bridge without modem lines: the link works without them.
        if (errno == ENOTTY || errno == EINVAL || errno == ENOTSUP) {
            self->modemLinesSupported_ = false;
            return 0;
        }
        return errno;
    }
    return 0;
}

const char* TtySerialPort::statusText(void* context, int status) {
    auto* self = static_cast<TtySerialPort*>(context);
    self->statusBuffer_ = std::strerror(status);
    return self->statusBuffer_.c_str();
}

}  // namespace vzprg
