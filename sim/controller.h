#pragma once
// The crate controller: cuts module access frames out of the byte stream, answers them from its
// modules and its own cache and configuration record, and injects the scenario's faults. With
// "snmp" it also runs the SNMP agent on the same line (controller_snmp_agent.cpp).
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/line_demux.h"
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
    // One byte from the host that arrived at timeUs; returns the replies to the frames it completed.
    std::vector<Reply> receive(uint8_t byte, int64_t timeUs);
    // Whether the bridge is to report this write as failed (a scenario fault).
    bool writeFails(const uint8_t* data, size_t length);
    // Brings ramps, loads and supervision up to this time.
    void advanceTo(int64_t timeUs);

    uint32_t framesAnswered() const { return framesAnswered_; }
    uint32_t framesIgnored() const { return framesIgnored_; }
    // Parameter writes (writeReply into a module's command space) received, stored or refused.
    uint32_t parameterWrites() const { return parameterWrites_; }
    // SNMP requests answered, and packets dropped: bad IP or UDP headers or checksums, another
    // port, malformed BER, another version or community, or a PDU the agent does not serve.
    uint32_t snmpAnswered() const { return snmpAnswered_; }
    uint32_t snmpDropped() const { return snmpDropped_; }
    // The text the agent gives for sysDescr.0.
    std::string sysDescr() const;
    const std::vector<FaultRule>& faults() const { return faults_; }
    // Faults from now on, in addition to the scenario's; clearFaults ends them all (a test's quiet end).
    void addFault(const FaultRule& rule) { faults_.push_back(rule); }
    void clearFaults() { faults_.clear(); }
    std::array<uint8_t, 60>& configRecord() { return def_.config; }
    // Rises with every change the controller and its modules keep over a power cycle.
    uint64_t changeCount() const;

  private:
    // What the scenario's faults do to one exchange.
    struct FaultEffects {
        bool noReply = false;
        bool corrupt = false;
        bool moduleError = false;
        int shortBytes = 0;
        std::optional<uint16_t> refusal;
        int64_t delayUs = 0;
        bool corruptBuffer = false;        // a module memory read answers with its last byte changed
        bool moduleSilent = false;         // the module does not answer on the CAN bus
        std::optional<uint8_t> exception;  // SNMP only from here on
        bool wrongRequestId = false;
        bool versionZero = false;
        int malformedBytes = 0;
        int garbageBytes = 0;
    };
    enum class Carrier { Direct, Snmp };
    FaultEffects drawFaults(const ExchangeKey& key, Carrier carrier);
    std::optional<Reply> receiveDirect(uint8_t byte, int64_t timeUs);
    std::optional<Reply> handle(const Request& r, int64_t timeUs);
    // The reply frame (check byte included) before the faults that only change its bytes on the
    // line; nullopt when nobody answers at all.
    std::optional<Reply> answerFrame(const Request& r, int64_t timeUs, const FaultEffects& fx);
    std::optional<Reply> answerPacket(const std::vector<uint8_t>& packet, int64_t timeUs);
    ExchangeKey directKeyOf(const uint8_t* data, size_t length) const;
    // The exchange a write of one SLIP frame starts, when it is an SNMP request.
    std::optional<ExchangeKey> snmpKeyOf(const uint8_t* data, size_t length) const;
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
    LineDemux demux_;  // only with snmp
    int64_t lastByteUs_ = 0;
    std::optional<int64_t> physicsUs_;
    uint32_t framesAnswered_ = 0;
    uint32_t framesIgnored_ = 0;
    uint32_t parameterWrites_ = 0;
    uint32_t snmpAnswered_ = 0;
    uint32_t snmpDropped_ = 0;
    uint64_t configWrites_ = 0;
};

}  // namespace vsim
