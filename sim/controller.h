#pragma once
// The crate controller: cuts module access frames out of the byte stream, answers them from its
// modules and its own cache and configuration record, and injects the scenario's faults.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "sim/module.h"
#include "sim/module_access_frame.h"
#include "sim/scenario.h"

namespace vsim {

class Controller {
  public:
    explicit Controller(const CrateDef& def);
    ~Controller();

    const ControllerDef& definition() const { return def_; }
    int type() const { return def_.type; }
    bool snmp() const { return def_.snmp; }
    int cacheChannels() const { return def_.cacheChannels; }
    uint32_t configWordAddress() const;

    // The module at a channel, or null.
    Module* module(int channel);
    const Module* module(int channel) const;
    std::vector<const Module*> modules() const;

    struct Reply {
        std::vector<uint8_t> bytes;
        int64_t readyUs;  // when the controller starts sending it
    };
    // One byte from the host that arrived at timeUs; returns a reply when it completed a frame.
    std::optional<Reply> receive(uint8_t byte, int64_t timeUs);
    // Whether the bridge is to report this write as failed (a scenario fault).
    bool writeFails(const uint8_t* data, size_t length);
    // Brings ramps, loads and supervision up to this time.
    void advanceTo(int64_t timeUs);

    uint32_t framesAnswered() const { return framesAnswered_; }
    uint32_t framesIgnored() const { return framesIgnored_; }
    const std::vector<FaultRule>& faults() const { return faults_; }
    std::array<uint8_t, 60>& configRecord() { return def_.config; }

  private:
    std::optional<Reply> handle(const Request& r, int64_t timeUs);
    std::vector<uint8_t> errorReply(const Request& r) const;
    std::optional<uint16_t> word(uint32_t wordAddress) const;
    bool readWords(uint32_t wordAddress, size_t length, std::vector<uint8_t>& out) const;
    bool writeWords(uint32_t wordAddress, const std::vector<uint8_t>& data);
    void applyAction(const Module& source, int action);
    Module* moduleBySerial(uint32_t low26);
    ExchangeKey keyOf(const Request& r) const;

    ControllerDef def_;
    std::vector<std::unique_ptr<Module>> modules_;
    std::vector<FaultRule> faults_;
    std::mt19937 random_;
    std::vector<uint8_t> partial_;
    int64_t lastByteUs_ = 0;
    std::optional<int64_t> physicsUs_;
    uint32_t framesAnswered_ = 0;
    uint32_t framesIgnored_ = 0;
};

}  // namespace vsim
