// A long run of the core against a virtual crate that misbehaves at random: lost, short and corrupt
// replies, module errors and refused parameters, each at 1-30 %. Random parameter writes, switching,
// polling and configuration save/load go through the program's own code. At the end (the faults
// stopped, two polling rounds to read again what a lost reply left uncertain) every value the
// program believes a module holds must equal what the virtual module holds, the module must hold
// exactly what was asked and accepted (nothing else written), and the outputs must be as switched.
// Usage: soak [--exchanges N] [--seed S]; exit 0 when all agreed, 1 otherwise.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/core/connection.h"
#include "app/core/crate.h"
#include "app/core/crate_session.h"
#include "app/core/polling.h"
#include "base/clock.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/parameter_access.h"
#include "channel/parameter_table.h"
#include "channel/switch_commands.h"
#include "configfile/config_file_commands.h"
#include "link/bridge.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/usb_link.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "sim/virtual_crate.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace {

using namespace vz;

constexpr int kChannels = 6;

// Answers every box as an operator who wants the work done: the problem dialog is never cancelled,
// so a faulty crate is retried until it answers.
class PatientOperator final : public HeadlessOperator {
  public:
    BoxAnswer messageBox(const BoxRequest& box) override {
        ++boxes;
        return box.buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
    }
    void commProblemOpen(const std::string&) override { ++problemDialogs; }
    bool commProblemPump() override { return false; }
    int boxes = 0, problemDialogs = 0;
};

// Counts the frames the program sends: one exchange each.
class CountingBridge final : public BridgeLibrary {
  public:
    explicit CountingBridge(BridgeLibrary& inner) : in_(inner) {}
    uint8_t getNumDevices(uint32_t& c) override { return in_.getNumDevices(c); }
    uint8_t getProductString(uint32_t i, char* b, int k) override { return in_.getProductString(i, b, k); }
    uint8_t open(uint32_t i, SiHandle& h) override { return in_.open(i, h); }
    uint8_t close(SiHandle h) override { return in_.close(h); }
    uint8_t read(SiHandle h, void* b, uint32_t n, uint32_t& r) override { return in_.read(h, b, n, r); }
    uint8_t write(SiHandle h, const void* b, uint32_t n, uint32_t& w) override {
        ++writes;
        return in_.write(h, b, n, w);
    }
    uint8_t flushBuffers(SiHandle h, bool t, bool r) override { return in_.flushBuffers(h, t, r); }
    uint8_t setTimeouts(uint32_t r, uint32_t w) override { return in_.setTimeouts(r, w); }
    uint8_t checkRxQueue(SiHandle h, uint32_t& b, uint32_t& s) override { return in_.checkRxQueue(h, b, s); }
    uint8_t setBaudRate(SiHandle h, uint32_t b) override { return in_.setBaudRate(h, b); }
    uint8_t setLineControl(SiHandle h, uint16_t l) override { return in_.setLineControl(h, l); }
    uint8_t setFlowControl(SiHandle h, uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e,
                           bool x) override {
        return in_.setFlowControl(h, a, b, c, d, e, x);
    }
    uint8_t getModemStatus(SiHandle h, uint8_t& s) override { return in_.getModemStatus(h, s); }
    uint8_t getDllVersion(uint32_t& h, uint32_t& l) override { return in_.getDllVersion(h, l); }
    uint8_t getDriverVersion(uint32_t& h, uint32_t& l) override { return in_.getDriverVersion(h, l); }
    uint64_t writes = 0;

  private:
    BridgeLibrary& in_;
};

std::string scenario(std::mt19937& random, const std::string& only) {
    std::uniform_int_distribution<int> percent(1, 30);
    std::string modules;
    for (int c = 0; c < kChannels; ++c) {
        if (c) modules += ",";
        modules += R"({"channel": )" + std::to_string(c) + R"(, "serialNumber": )" +
                   std::to_string(1000 + c) +
                   R"(, "firmware": {"name": "DEVIZ 15V"}, "system": {"voltageExponent": -11,
                   "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
                   "user": {"idGroup": 1, "Unom": "5 V", "Inom": "2 A"}})";
    }
    std::string faults;
    for (const char* kind : {"noReply", "shortReply", "corruptCheck", "moduleError", "refuse"}) {
        if (!only.empty() && only != kind) continue;
        if (!faults.empty()) faults += ",";
        // "after": the module search and identification run on a quiet crate, then the faults start.
        faults += std::string(R"({"kind": ")") + kind + R"(", "after": 400, "probability": )" +
                  std::to_string(percent(random) / 100.0) +
                  (std::strcmp(kind, "refuse") == 0 ? R"(, "operation": "writeReply", "code": 5})" : "}");
    }
    return R"({"seed": )" + std::to_string(random()) +
           R"(, "bridges": [{"serial": "SOAK", "vid": "1A2B", "pid": "0012"}],
             "controller": {"type": 18, "lineRate": false, "cacheChannels": "none", "canTimeoutMs": 1},
             "modules": [)" +
           modules + R"(], "faults": [)" + faults + "]}";
}

struct Expected {
    std::array<uint8_t, 64> user{};
    bool on = false;
};

}  // namespace

// The resident memory now, in KiB: a long run must not grow.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

int main(int argc, char** argv) {
    uint64_t exchanges = 3000, seed = 1;
    std::string only;  // one fault kind instead of all
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--exchanges") == 0)
            exchanges = std::strtoull(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--seed") == 0)
            seed = std::strtoull(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
    }
    std::mt19937 random(static_cast<uint32_t>(seed));
    const BoundCrate bound;
    VirtualClock virtualTime;
    setClock(&virtualTime);
    PatientOperator seam;
    const ScopedOperatorSeam seamInstalled(seam);
    resetProcessState();
    // The program's messages (refusals, file notes) are part of the run, not of its report.
    if (!std::freopen("/dev/null", "w", stderr)) return 1;

    const std::string json = scenario(random, only);
    std::string error;
    auto crate = vsim::VirtualCrate::fromJsonText(json, error);
    if (!crate) {
        std::printf("soak: scenario: %s\n", error.c_str());
        return 1;
    }
    vsim::VirtualCrate* sim = crate.get();
    VirtualBridgeDriver driver(std::move(crate));
    CountingBridge counting(driver);
    setBridge(&counting);
    crateSettings().searchLimit = kChannels;
    if (!connectController(crateSettings().fCmdLine)) {
        std::printf("soak: no connection\n");
        return 1;
    }
    vsim::Controller& controller = sim->controller(0);
    std::vector<Expected> expected(kChannels);
    int mismatches = 0, compared = 0;
    for (int c = 0; c < kChannels; ++c) {
        if (!channelPresent(c)) {
            std::printf("soak: U%d not found\n", c);
            return 1;
        }
        expected[c].user = controller.module(c)->user();
    }

    const char* keys[] = {"user.Unom",     "user.Inom",     "user.rampUp",
                          "user.rampDown", "user.maxPower", "user.SupervisionDelays.maxCurrent"};
    const std::string file =
        (std::filesystem::temp_directory_path() / ("vz-soak-" + std::to_string(seed) + ".pscfg")).string();
    uint64_t writes = 0, accepted = 0, refused = 0, switches = 0, saves = 0, loads = 0, polls = 0;
    std::vector<Expected> saved;
    const auto start = std::chrono::steady_clock::now();
    long rssAtMillion = -1;
    while (counting.writes < exchanges) {
        if (rssAtMillion < 0 && counting.writes >= 1'000'000) rssAtMillion = residentKiB();
        const int channel = static_cast<int>(random() % kChannels);
        QOR& q = channelState().channelTable.channels[static_cast<size_t>(channel)];
        const unsigned action = random() % 100;
        if (action < 50) {
            pollingTick();
            ++polls;
        } else if (action < 85) {
            const ParameterInfo* p = findParameter(keys[random() % std::size(keys)]);
            const auto raw = static_cast<uint16_t>(random() % 20000);
            ++writes;
            if (setParameter(q, *p,
                             p->type == ParameterType::int16 ? ParameterValue{static_cast<int16_t>(raw)}
                                                             : ParameterValue{raw})) {
                ++accepted;
                std::memcpy(expected[channel].user.data() + p->offset, &raw, 2);
            } else {
                // Reported as failed: the module holds the old value, or the new one when only the
                // reply of an earlier attempt was lost. Anything else was written unasked.
                ++refused;
                uint8_t* want = expected[channel].user.data() + p->offset;
                const uint8_t* now = controller.module(channel)->user().data() + p->offset;
                if (std::memcmp(now, &raw, 2) == 0) std::memcpy(want, &raw, 2);
                if (std::memcmp(now, want, 2) != 0 && ++mismatches <= 10)
                    std::printf("U%d %s after a failed write: module 0x%02X%02X, neither asked nor held\n",
                                channel, p->key, now[1], now[0]);
            }
        } else if (action < 98) {
            const bool on = random() % 2;
            // A switch reported as failed may still have reached the module (its reply lost); the
            // program keeps no belief about it, the next poll shows the output as it is.
            if (sendSwitchCommand(q.addressByte(), on ? kSwitchOn : kSwitchOff) >= 0)
                expected[channel].on = on;
            else
                expected[channel].on = controller.module(channel)->output().isOn();
            ++switches;
        } else if (action < 99) {
            if (savePowerSupplyConfiguration(file)) {
                // The file holds what the program believed after reading each module for the save
                // (the last known copy where that read failed).
                ++saves;
                saved = expected;
                for (int c = 0; c < kChannels; ++c) {
                    const auto* believed =
                        reinterpret_cast<const uint8_t*>(static_cast<MODULE_USER_CONFIG_DATA*>(
                            &channelState().channelTable.channels[static_cast<size_t>(c)]));
                    std::copy(believed,
                              believed + std::min(sizeof(MODULE_USER_CONFIG_DATA), saved[c].user.size()),
                              saved[c].user.begin());
                }
            }
        } else if (!saved.empty()) {
            // Applying the file takes each module back to what was saved, except where a value was
            // refused: then the module keeps what it had. Anything else was written unasked.
            ConfigReadOptions options;
            for (int c = 0; c < kChannels; ++c) options.targets.push_back(c);
            loads += applyConfigurationFile(file, options);
            for (int c = 0; c < kChannels; ++c) {
                const auto& now = controller.module(c)->user();
                for (size_t i = 0; i < now.size(); ++i, ++compared) {
                    if (now[i] != saved[c].user[i] && now[i] != expected[c].user[i] && ++mismatches <= 10)
                        std::printf(
                            "U%d user byte %zu after a load: 0x%02X, neither saved 0x%02X nor held 0x%02X\n",
                            c, i, now[i], saved[c].user[i], expected[c].user[i]);
                    expected[c].user[i] = now[i];
                }
            }
        }
        virtualTime.advanceUs(20'000);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // The faults end; the polling then has two rounds to read again what a lost reply left uncertain.
    controller.clearFaults();
    for (int tick = 0; tick < 2 * kChannels; ++tick) {
        pollingTick();
        virtualTime.advanceUs(100'000);
    }

    for (int c = 0; c < kChannels; ++c) {
        const vsim::Module& m = *controller.module(c);
        QOR& q = channelState().channelTable.channels[static_cast<size_t>(c)];
        for (size_t i = 0; i < sizeof(MODULE_USER_CONFIG_DATA) && i < m.user().size(); ++i, ++compared) {
            const uint8_t believed =
                reinterpret_cast<const uint8_t*>(static_cast<MODULE_USER_CONFIG_DATA*>(&q))[i];
            if (believed != m.user()[i] || expected[c].user[i] != m.user()[i]) {
                if (++mismatches <= 10)
                    std::printf("U%d user byte %zu: program 0x%02X, asked 0x%02X, module 0x%02X\n", c, i,
                                believed, expected[c].user[i], m.user()[i]);
            }
        }
        ++compared;
        if (m.output().isOn() != expected[c].on) {
            ++mismatches;
            std::printf("U%d is %s, switched %s\n", c, m.output().isOn() ? "on" : "off",
                        expected[c].on ? "on" : "off");
        }
    }
    std::filesystem::remove(file);
    if (rssAtMillion > 0)
        std::printf("soak: resident memory %ld KiB after 1000000 exchanges, %ld KiB at the end\n",
                    rssAtMillion, residentKiB());
    std::printf(
        "soak: %llu exchanges in %.2f s (%.0f exchanges/s); faults survived: %u read and %u write retries, "
        "%d problem dialogs, %llu refusals; %llu polls, %llu writes (%llu accepted), %llu switches, "
        "%llu saves, %llu loads; %d values compared, %d mismatches\n",
        static_cast<unsigned long long>(counting.writes), seconds, counting.writes / seconds,
        linkState().commProblem.readRetries.load(), linkState().commProblem.writeRetries.load(),
        seam.problemDialogs, static_cast<unsigned long long>(refused), static_cast<unsigned long long>(polls),
        static_cast<unsigned long long>(writes), static_cast<unsigned long long>(accepted),
        static_cast<unsigned long long>(switches), static_cast<unsigned long long>(saves),
        static_cast<unsigned long long>(loads), compared, mismatches);
    usbClose();
    setBridge(nullptr);
    setClock(nullptr);
    return mismatches == 0 ? 0 : 1;
}
