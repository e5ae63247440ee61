#pragma once
// The virtual crates the service tests serve, and a `vzctl serve` started on one of them.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/vzctl/serve_process.h"

namespace vz::test {

// Two outputs that are on and settled, with resistive loads: U0 a DEVIZ at 5 V into 2.5 Ω (2 A), U3 a
// RERUZ at 24 V into 48 Ω (0.5 A); `faults` is the scenario's fault list.
inline std::string serveScenario(const std::string& serial, const std::string& faults = "") {
    return R"({"bridges": [{"serial": ")" + serial + R"(", "vid": "1A2B", "pid": "0012"}],
 "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
 "modules": [
  {"channel": 0, "serialNumber": 3001, "firmware": {"name": "DEVIZ 5V20A"},
   "system": {"voltageExponent": -12, "currentExponent": -10, "maxUnom": "6 V", "maxInom": "20 A"},
   "user": {"Unom": "5 V", "Inom": "15 A"}, "on": true},
  {"channel": 3, "serialNumber": 3004, "firmware": {"name": "RERUZ 48V2A"},
   "system": {"voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A"},
   "user": {"Unom": "24 V", "Inom": "1.5 A"}, "on": true}],
 "loads": [{"channel": 0, "ohms": 2.5}, {"channel": 3, "ohms": 48}],
 "faults": [)" +
           faults + "]}";
}

// Every exchange of the crate goes unanswered for a while, once the service has polled for some
// seconds (the count of exchanges before, at two a tick): through the retries of a few tries, then
// it answers again. The later one leaves a scraper that starts with the service time to be scraping.
inline const char* const kFallsSilentForAWhile = R"({"kind": "noReply", "after": 300, "count": 18})";
inline const char* const kFallsSilentLater = R"({"kind": "noReply", "after": 700, "count": 18})";

inline std::string writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
    return path.string();
}

// `vzctl -S -s8 SIM:<scenario> serve --listen 127.0.0.1:0 <extra>`; url is empty when it never served.
struct ServedCrate {
    std::unique_ptr<ChildProcess> process;
    std::string url;
};

inline ServedCrate serveCrate(const std::string& scenarioPath, const std::string& extra = "") {
    ServedCrate c;
    c.process = std::make_unique<ChildProcess>(std::string(VZCTL_PATH) + " -S -s8 SIM:" + scenarioPath +
                                               " serve --listen 127.0.0.1:0 " + extra);
    if (c.process->waitForOutput("serving http://")) c.url = c.process->lineAfter("serving ");
    return c;
}

}  // namespace vz::test
