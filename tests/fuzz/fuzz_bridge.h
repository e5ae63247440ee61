#pragma once
// A bridge whose device answers every read with the next bytes of a fuzz input and then stays silent:
// the link's exchanges meet whatever a faulty or foreign device could send.
#include <algorithm>
#include <cstring>

#include "base/clock.h"
#include "link/bridge.h"
#include "tests/support/stub_bridge.h"

namespace vz::fuzz {

class ReplyBridge final : public test::StubBridge {
  public:
    ReplyBridge(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t getNumDevices(uint32_t& count) override {
        count = 1;
        return SI_SUCCESS;
    }
    uint8_t getProductString(uint32_t, char* buffer, int) override {
        std::strcpy(buffer, "FUZZ");
        return SI_SUCCESS;
    }
    uint8_t open(uint32_t, SiHandle& handle) override {
        handle = 1;
        return SI_SUCCESS;
    }
    uint8_t read(SiHandle, void* buffer, uint32_t length, uint32_t& received) override {
        received = static_cast<uint32_t>(std::min<size_t>(length, size_ - at_));
        std::memcpy(buffer, data_ + at_, received);
        at_ += received;
        if (received == length) return SI_SUCCESS;
        clock().sleepUs(int64_t{readTimeoutMs_} * 1000);  // a silent device takes the whole time-out
        return SI_READ_TIMED_OUT;
    }
    uint8_t write(SiHandle, const void*, uint32_t length, uint32_t& written) override {
        written = length;
        return SI_SUCCESS;
    }
    uint8_t setTimeouts(uint32_t readMs, uint32_t) override {
        readTimeoutMs_ = readMs;
        return SI_SUCCESS;
    }
    uint8_t checkRxQueue(SiHandle, uint32_t& bytes, uint32_t& status) override {
        bytes = static_cast<uint32_t>(size_ - at_);
        status = 0;
        return SI_SUCCESS;
    }
    bool exhausted() const { return at_ >= size_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    uint32_t readTimeoutMs_ = 100;
};

}  // namespace vz::fuzz
