#pragma once
// A crate in virtual time with its first bridge opened and configured as the program does, and a
// helper that runs one request/reply exchange on it.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/controller.h"
#include "sim/virtual_crate.h"

using Bytes = std::vector<uint8_t>;

// Appends the check byte: 0x5A XOR all bytes before it.
inline Bytes sealed(Bytes frame) {
    uint8_t c = 0x5A;
    for (uint8_t b : frame) c ^= b;
    frame.push_back(c);
    return frame;
}

struct VirtualClock {
    int64_t now = 0;
    vsim::TimeSource source() {
        return {[this] { return now; }, [this](int64_t us) { now += us; }};
    }
};

class CrateFixture {
  public:
    explicit CrateFixture(const std::string& json, bool configure = true) {
        std::string error;
        crate = vsim::VirtualCrate::fromJsonText(json, error);
        if (!crate) throw std::runtime_error("scenario: " + error);
        crate->setTime(clock.source());
        slot = crate->open(0);
        if (configure) {
            crate->setBaudRate(slot, 115200);
            crate->setLineControl(slot, 0x0810);
        }
    }

    // Writes the request and reads up to `expect` bytes with the program's 333 ms time-out.
    Bytes exchange(const Bytes& request, size_t expect = 64) {
        crate->write(slot, request.data(), request.size());
        Bytes reply(expect);
        bool ok = false;
        reply.resize(crate->read(slot, reply.data(), expect, 333, ok));
        EXPECT_TRUE(ok);
        return reply;
    }

    vsim::Controller& controller() { return crate->controller(); }

    VirtualClock clock;
    std::unique_ptr<vsim::VirtualCrate> crate;
    int slot = -1;
};

// A small crate: a KRAT without line-rate timing, modules at channels 0 (12 V / 10 A) and 5.
inline std::string smallScenario(const std::string& controllerExtra = "", const std::string& extra = "") {
    return R"({
  "controller": { "type": 18, "canTimeoutMs": 40 )" +
           controllerExtra + R"( },
  "bridges": [ { "serial": "B1", "description": "test bridge" } ],
  "modules": [
    { "channel": 0, "serialNumber": 1001, "firmware": { "name": "DEVIZ", "version": "4.3.2.1" },
      "system": { "voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A" },
      "user": { "idGroup": 1, "Unom": "12 V", "Inom": "10 A", "rampUp": 10, "rampDown": 20 } },
    { "channel": 5, "serialNumber": "0x12345678", "firmware": { "name": "RERUZ" },
      "system": { "voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A" },
      "user": { "idGroup": 2, "Unom": "48 V", "Inom": "2 A" } }
  ])" + extra +
           R"(
})";
}

// The same crate on a WDX controller: its modules carry the gains ugain and igain where the others
// keep Unom, Inom and the ramps, with exponents that agree with the gains.
inline std::string smallWdxScenario(const std::string& controllerExtra = "") {
    return R"({
  "controller": { "type": 17, "canTimeoutMs": 40 )" +
           controllerExtra + R"( },
  "bridges": [ { "serial": "B1", "description": "test bridge" } ],
  "modules": [
    { "channel": 0, "serialNumber": 1001, "firmware": { "name": "WDXslave", "version": "4.3.2.1" },
      "system": { "voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A" },
      "user": { "idGroup": 1, "ugain": 0.75, "igain": 1.0 } },
    { "channel": 5, "serialNumber": "0x12345678", "firmware": { "name": "WDXslave" },
      "system": { "voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A" } }
  ]
})";
}
