#pragma once
// The state of the one serial link to the processor's boot loader and its access firmware: the lent
// port, the driver's status, cancel and connected flags, the pending transfer, the options, the packet
// sequence numbers and the operator message callback. Every wait and time-out reads the port's clock.
#include <array>
#include <atomic>
#include <cstdint>

#include "prg/prg_options.h"
#include "prg/vzprg.h"

namespace vzprg {

enum LogFlags : uint32_t {
    kLogError = 0x80000000,
    kLogWarning = 0x80000001,
    kLogInfo = 0x80000002,
    kLogDebug = 0x80000003,
};

constexpr uint32_t kLinkBaud = 115200;
constexpr uint16_t kLineControl8N1 = 0x0800;

// The read or write the entry points hand to MemRead and MemWrite.
struct PendingRequest {
    uint32_t address = 0;
    uint16_t page = 0;
    uint32_t numBytes = 0;
    uint16_t* buffer = nullptr;      // reads
    const uint16_t* data = nullptr;  // writes
    int command = 0;
};

class BootLink {
  public:
    BootLink() = default;
    BootLink(const BootLink&) = delete;
    BootLink& operator=(const BootLink&) = delete;

    void setPort(const PrgSerialPort* port);
    bool hasPort() const { return hasPort_; }
    const PrgSerialPort& port() const { return port_; }

    // Sequence numbers and buffers, as at PRG_Init and at every OpenChannel.
    void resetLink();
    // Everything PRG_Init clears: the link, status, flags, callback and options (the port stays).
    void resetDriver();

    void sleepMs(uint32_t ms);
    uint64_t nowMs();
    // One line to the port's debug log (dropped without one).
    void log(uint32_t flags, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // One operator message through the callback (kind 1), formatted into the 1024-byte buffer.
    void message(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The port's spelling of a status code, or the number in hexadecimal.
    const char* statusText(int code);

    bool busy() const { return status.load() == PRG_STATUS_BUSY; }
    bool cancelled() const { return cancel.load() != 0; }

    PrgOptions options;
    std::atomic<int> status{PRG_STATUS_OK};
    std::atomic<int> cancel{0};  // set by PRG_Close, possibly from another thread
    std::atomic<int> connected{0};
    PendingRequest request;
    PRG_MessageCallBack callback = nullptr;
    PRG_HANDLE handle = nullptr;

    int sendSequence = -1;  // so the first packet carries 0
    int receiveSequence = -1;
    std::array<uint8_t, 256> packet{};  // 8-byte header and up to 248 data bytes

  private:
    PrgSerialPort port_{};
    bool hasPort_ = false;
    std::array<char, 1024> messageBuffer_{};
    std::array<char, 32> statusBuffer_{};
};

// One write of count bytes; the number written, or 0 on a port error.
int SioSendMsg(BootLink& link, const uint8_t* msg, int count);
// One read of up to count bytes; the number read, or 0 on a port error.
int SioRecvMsg(BootLink& link, uint8_t* msg, int count);
// Drops what is queued in both directions; false on a port error.
bool SioFlush(BootLink& link);

}  // namespace vzprg
