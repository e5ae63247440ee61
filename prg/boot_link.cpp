#include "prg/boot_link.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

namespace vzprg {

void BootLink::setPort(const PrgSerialPort* port) {
    hasPort_ = port != nullptr;
    port_ = port ? *port : PrgSerialPort{};
}

void BootLink::resetLink() {
    sendSequence = -1;
    receiveSequence = -1;
    packet.fill(0);
}

void BootLink::resetDriver() {
    resetLink();
    status = PRG_STATUS_OK;
    cancel = 0;
    connected = 0;
    callback = nullptr;
    options = PrgOptions{};
    request = PendingRequest{};
}

void BootLink::sleepMs(uint32_t ms) {
    if (hasPort_ && port_.sleepMs) {
        port_.sleepMs(port_.context, ms);
        return;
    }
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint64_t BootLink::nowMs() {
    if (hasPort_ && port_.nowMs) return port_.nowMs(port_.context);
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void BootLink::log(uint32_t flags, const char* format, ...) {
    if (!hasPort_ || !port_.log) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    port_.log(port_.context, flags, line);
}

void BootLink::message(const char* format, ...) {
    if (!callback) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(messageBuffer_.data(), messageBuffer_.size(), format, args);
    va_end(args);
    callback(handle, PRG_MESSAGE_PROGRESS, messageBuffer_.data());
}

const char* BootLink::statusText(int code) {
    if (hasPort_ && port_.statusText) {
        if (const char* text = port_.statusText(port_.context, code)) return text;
    }
    std::snprintf(statusBuffer_.data(), statusBuffer_.size(), "0x%X", static_cast<unsigned>(code));
    return statusBuffer_.data();
}

int SioSendMsg(BootLink& link, const uint8_t* msg, int count) {
    if (count < 0) count = 0;
    uint32_t written = 0;
    int rc = -1;
    if (link.hasPort() && link.port().write) {
        rc = link.port().write(link.port().context, msg, static_cast<uint32_t>(count), &written);
    }
    if (rc != 0) {
        link.log(kLogWarning, "SioSendMsg(pMsg, Count=%d): SI_Write error: %s", count, link.statusText(rc));
        return 0;
    }
    if (written > static_cast<uint32_t>(count)) written = static_cast<uint32_t>(count);
    link.log(kLogDebug, "SioSendMsg(pMsg, Count=%d): return %d", count, static_cast<int>(written));
    return static_cast<int>(written);
}

int SioRecvMsg(BootLink& link, uint8_t* msg, int count) {
    if (count < 0) count = 0;
    uint32_t received = 0;
    int rc = -1;
    if (link.hasPort() && link.port().read) {
        rc = link.port().read(link.port().context, msg, static_cast<uint32_t>(count), &received);
    }
    if (rc != 0) {
        link.log(kLogWarning, "SioRecvMsg(pMsg, Count=%d): SI_Read error: %s", count, link.statusText(rc));
        return 0;
    }
    // A port that claims more than was asked for must not make us read past the buffer.
    if (received > static_cast<uint32_t>(count)) received = static_cast<uint32_t>(count);
    link.log(kLogDebug, "SioRecvMsg(pMsg, Count=%d): return %d", count, static_cast<int>(received));
    return static_cast<int>(received);
}

bool SioFlush(BootLink& link) {
    if (!link.hasPort() || !link.port().flush) return false;
    return link.port().flush(link.port().context) == 0;
}

}  // namespace vzprg
