#pragma once
// A bridge library that passes every call on to another one and records what the link asked for.
#include <cstdint>
#include <string>
#include <vector>

#include "link/bridge.h"

namespace vz::test {

class RecordingBridge : public BridgeLibrary {
public:
    explicit RecordingBridge(BridgeLibrary& inner) : inner_(inner) {}

    struct Write {
        std::vector<uint8_t> bytes;
        uint8_t status;
    };
    std::vector<Write> writes;
    std::vector<uint32_t> opened;  // indices, including the availability probes
    std::vector<uint32_t> stringQueries;  // device index of every product-string query
    uint32_t baud = 0;
    uint16_t lineControl = 0;
    uint32_t readTimeout = 0, writeTimeout = 0;
    int flushes = 0;
    uint8_t rtsMode = 0xFF, dtrMode = 0xFF;

    uint8_t getNumDevices(uint32_t& count) override { return inner_.getNumDevices(count); }
    uint8_t getProductString(uint32_t index, char* buffer, int kind) override {
        stringQueries.push_back(index);
        return inner_.getProductString(index, buffer, kind);
    }
    uint8_t open(uint32_t index, SiHandle& handle) override {
        opened.push_back(index);
        return inner_.open(index, handle);
    }
    uint8_t close(SiHandle handle) override { return inner_.close(handle); }
    uint8_t read(SiHandle h, void* b, uint32_t n, uint32_t& got) override { return inner_.read(h, b, n, got); }
    uint8_t write(SiHandle h, const void* b, uint32_t n, uint32_t& written) override {
        const uint8_t s = inner_.write(h, b, n, written);
        const auto* p = static_cast<const uint8_t*>(b);
        writes.push_back({std::vector<uint8_t>(p, p + n), s});
        return s;
    }
    uint8_t flushBuffers(SiHandle h, bool t, bool r) override {
        ++flushes;
        return inner_.flushBuffers(h, t, r);
    }
    uint8_t setTimeouts(uint32_t r, uint32_t w) override {
        readTimeout = r;
        writeTimeout = w;
        return inner_.setTimeouts(r, w);
    }
    uint8_t checkRxQueue(SiHandle h, uint32_t& b, uint32_t& s) override { return inner_.checkRxQueue(h, b, s); }
    uint8_t setBaudRate(SiHandle h, uint32_t b) override {
        baud = b;
        return inner_.setBaudRate(h, b);
    }
    uint8_t setLineControl(SiHandle h, uint16_t l) override {
        lineControl = l;
        return inner_.setLineControl(h, l);
    }
    uint8_t setFlowControl(SiHandle h, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr, uint8_t dcd,
                           bool x) override {
        rtsMode = rts;
        dtrMode = dtr;
        return inner_.setFlowControl(h, cts, rts, dtr, dsr, dcd, x);
    }
    uint8_t getModemStatus(SiHandle h, uint8_t& s) override { return inner_.getModemStatus(h, s); }
    uint8_t getDllVersion(uint32_t& h, uint32_t& l) override { return inner_.getDllVersion(h, l); }
    uint8_t getDriverVersion(uint32_t& h, uint32_t& l) override { return inner_.getDriverVersion(h, l); }

private:
    BridgeLibrary& inner_;
};

}  // namespace vz::test
