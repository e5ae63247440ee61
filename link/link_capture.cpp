#include "link/link_capture.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "base/debug_log.h"

namespace vz {

namespace {

constexpr uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescriptionBlock = 1;
constexpr uint32_t kEnhancedPacketBlock = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint16_t kLinkTypeRaw = 101;
constexpr uint16_t kLinkTypeUser0 = 147;
constexpr uint16_t kLinkTypeUser1 = 148;
constexpr uint16_t kLinkTypeUser2 = 149;
constexpr uint32_t kSnapLength = 65535;
constexpr uint32_t kSnmpInterface = 0;
constexpr uint32_t kModuleInterface = 1;
constexpr uint32_t kBootSerialInterface = 2;
constexpr uint32_t kModemLinesInterface = 3;

constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kOptShbUserApplication = 4;
constexpr uint16_t kOptIfName = 2;
constexpr uint16_t kOptIfDescription = 3;
constexpr uint16_t kOptEpbFlags = 2;
constexpr uint32_t kFlagInbound = 1;
constexpr uint32_t kFlagOutbound = 2;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Blocks are written in this machine's byte order; the byte-order magic tells readers which one.
class BlockBuilder {
  public:
    explicit BlockBuilder(uint32_t type) {
        put32(type);
        put32(0);  // total length, patched by finish()
    }
    void put16(uint16_t v) { putRaw(&v, sizeof v); }
    void put32(uint32_t v) { putRaw(&v, sizeof v); }
    void putRaw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    void pad() {
        while (bytes_.size() % 4) bytes_.push_back(0);
    }
    void option(uint16_t code, const void* value, size_t length) {
        put16(code);
        put16(static_cast<uint16_t>(length));
        putRaw(value, length);
        pad();
    }
    void option(uint16_t code, const char* text) { option(code, text, std::strlen(text)); }
    const std::vector<uint8_t>& finish() {
        const auto total = static_cast<uint32_t>(bytes_.size() + 4);
        put32(total);
        std::memcpy(bytes_.data() + 4, &total, sizeof total);
        return bytes_;
    }

  private:
    std::vector<uint8_t> bytes_;
};

class Capture {
  public:
    bool start(const std::string& path, std::string& error) {
        std::lock_guard lock(mutex_);
        file_.reset(std::fopen(path.c_str(), "wb"));
        if (!file_) {
            error = std::strerror(errno);
            active_ = false;
            return false;
        }
        bool ok =
            writeSectionHeader() &&
            writeInterface(kLinkTypeRaw, "snmp", "SNMP over UDP/IPv4 over SLIP on the USB serial line") &&
            writeInterface(kLinkTypeUser0, "module-access",
                           "Direct module access frames on the USB serial line") &&
            writeInterface(
                kLinkTypeUser1, "boot-loader-serial",
                "Serial bytes to and from the controller processor's boot loader and access firmware") &&
            writeInterface(kLinkTypeUser2, "modem-lines",
                           "RTS and DTR as set by the program: two bytes, 1 = held active");
        ok = ok && std::fflush(file_.get()) == 0;
        if (!ok) {
            error = std::strerror(errno);
            file_.reset();
        }
        active_ = ok;
        return ok;
    }

    void stop() {
        std::lock_guard lock(mutex_);
        active_ = false;
        file_.reset();
    }

    bool active() const { return active_; }

    void packet(uint32_t interfaceId, const uint8_t* data, size_t length, CaptureDirection direction) {
        if (!active_) return;
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
        const auto stamp = static_cast<uint64_t>(micros);
        std::lock_guard lock(mutex_);
        if (!file_) return;
        BlockBuilder b(kEnhancedPacketBlock);
        b.put32(interfaceId);
        b.put32(static_cast<uint32_t>(stamp >> 32));
        b.put32(static_cast<uint32_t>(stamp));
        const auto captured = static_cast<uint32_t>(std::min<size_t>(length, kSnapLength));
        b.put32(captured);
        b.put32(static_cast<uint32_t>(length));
        b.putRaw(data, captured);
        b.pad();
        const uint32_t flags = direction == CaptureDirection::Inbound ? kFlagInbound : kFlagOutbound;
        b.option(kOptEpbFlags, &flags, sizeof flags);
        b.option(kOptEnd, nullptr, 0);
        // Flushed at once: the file is most wanted after a crash or a hang.
        if (!write(b.finish()) || std::fflush(file_.get()) != 0) {
            debugLog(kLogError, "Link capture: write failed (%s), capture stopped", std::strerror(errno));
            active_ = false;
            file_.reset();
        }
    }

  private:
    bool write(const std::vector<uint8_t>& block) {
        return std::fwrite(block.data(), 1, block.size(), file_.get()) == block.size();
    }
    bool writeSectionHeader() {
        BlockBuilder b(kSectionHeaderBlock);
        b.put32(kByteOrderMagic);
        b.put16(1);  // version 1.0
        b.put16(0);
        b.put32(0xFFFFFFFF);  // section length not given
        b.put32(0xFFFFFFFF);
        b.option(kOptShbUserApplication, "VIDIzozorez");
        b.option(kOptEnd, nullptr, 0);
        return write(b.finish());
    }
    bool writeInterface(uint16_t linkType, const char* name, const char* description) {
        BlockBuilder b(kInterfaceDescriptionBlock);
        b.put16(linkType);
        b.put16(0);
        b.put32(kSnapLength);
        b.option(kOptIfName, name);
        b.option(kOptIfDescription, description);
        b.option(kOptEnd, nullptr, 0);
        return write(b.finish());
    }

    std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::atomic<bool> active_{false};
};

Capture& capture() {
    static Capture instance;
    return instance;
}

}  // namespace

bool startLinkCapture(const std::string& path, std::string& error) {
    return capture().start(path, error);
}

void startLinkCaptureFromEnvironment() {
    const char* path = std::getenv(kCaptureEnvironmentVariable);
    if (path == nullptr || *path == '\0') return;
    std::string error;
    if (startLinkCapture(path, error)) {
        debugLog(kLogInfo, "Link capture to %s", path);
        return;
    }
    std::fprintf(stderr, "%s: cannot write the link capture \"%s\": %s\n", kCaptureEnvironmentVariable, path,
                 error.c_str());
    debugLog(kLogError, "Link capture to %s failed: %s", path, error.c_str());
}

void stopLinkCapture() {
    capture().stop();
}
bool linkCaptureActive() {
    return capture().active();
}

void captureIpPacket(const uint8_t* packet, size_t length, CaptureDirection direction) {
    capture().packet(kSnmpInterface, packet, length, direction);
}

void captureModuleFrame(const uint8_t* frame, size_t length, CaptureDirection direction) {
    capture().packet(kModuleInterface, frame, length, direction);
}

void captureBootSerial(const uint8_t* bytes, size_t length, CaptureDirection direction) {
    if (length > 0) capture().packet(kBootSerialInterface, bytes, length, direction);
}

void captureModemLines(bool rtsActive, bool dtrActive) {
    const uint8_t lines[2] = {static_cast<uint8_t>(rtsActive), static_cast<uint8_t>(dtrActive)};
    capture().packet(kModemLinesInterface, lines, sizeof lines, CaptureDirection::Outbound);
}

}  // namespace vz
