#include "tools/vzctl/controller_config_command.h"

#include <nlohmann/json.hpp>
#include <string>

#include "base/settings.h"
#include "channel/controller_config.h"

namespace vz::ctl {
namespace {

struct FlagName {
    uint16_t bit;
    const char* text;
};
// The texts the controller configuration dialog shows beside each check box.
constexpr FlagName kEthernetFlags[] = {
    {0, "Ethernet Speed 100M"},    {1, "Ethernet Full-Duplex"},    {2, "Ethernet Auto-Negotiation Enabled"},
    {13, "Ethernet DHCP disable"}, {14, "Ethernet BOOTP disable"}, {15, "Ethernet HTTP write disable"}};
constexpr FlagName kOptionFlags[] = {{0, "Ignore Hardware Interlocks"},
                                     {1, "Disable Synchronisation"},
                                     {2, "Channels Switch On with Main Switch"},
                                     {4, "Interlock 11 is common, start input detection"},
                                     {5, "Use Global Interlock"},
                                     {6, "Replace SNMP BIT with INTEGER"},
                                     {7, "Ignore I/O input for PF detection"},
                                     {8, "Fast PF detection (PCB A2 required)."},
                                     {9, "Fast Connection to HV modules (KRAT Controller only)"},
                                     {10, "Use Interrupt for PF detection (PCB A2 required)."},
                                     {11, "Enable main switch on KRATC (KRAT Controller only)"},
                                     {12, "Enable RIX4 Adaption Mode (VELK only)"}};

std::string ip(uint32_t value) {
    char text[20];
    ipAddressText(value, text, sizeof text);
    return text;
}

std::string mac(const ControllerConfig& c) {
    char text[20];
    std::snprintf(text, sizeof text, "%4.4X %4.4X %4.4X", c.macHigh(), c.macMiddle(), c.macLow());
    return text;
}

}  // namespace

int controllerConfigCommand(bool json, std::FILE* out) {
    if (controllerConfigWordAddress(crateSettings().typeChannelLimit) == 0) {
        std::fprintf(stderr, "vzctl: this controller has no configuration record\n");
        return 1;
    }
    ControllerConfig c;
    if (!readControllerConfig(c)) {
        std::fprintf(stderr, "vzctl: the controller's configuration could not be read\n");
        return 1;
    }
    if (json) {
        nlohmann::json doc = {{"ipAddress", ip(c.ipAddress())},
                              {"subnetMask", ip(c.subnetMask())},
                              {"gateway", ip(c.gateway())},
                              {"mac", mac(c)},
                              {"httpPort", c.httpPort()},
                              {"snmpPort", c.snmpPort()},
                              {"ethernetFlags", c.ethernetFlags()},
                              {"optionFlags", c.optionFlags()},
                              {"firstSlotOrPfRetries", c.slotOrRetries()}};
        nlohmann::json set = nlohmann::json::array();
        for (const auto& f : kEthernetFlags)
            if (c.ethernetFlags() & (1u << f.bit)) set.push_back(f.text);
        for (const auto& f : kOptionFlags)
            if (c.optionFlags() & (1u << f.bit)) set.push_back(f.text);
        doc["flagsSet"] = set;
        std::fprintf(out, "%s\n", doc.dump(2).c_str());
        return 0;
    }
    std::fprintf(out, "IP Address        %s\n", ip(c.ipAddress()).c_str());
    std::fprintf(out, "Subnet Mask       %s\n", ip(c.subnetMask()).c_str());
    std::fprintf(out, "Default Gateway   %s\n", ip(c.gateway()).c_str());
    std::fprintf(out, "MAC Address       %s\n", mac(c).c_str());
    std::fprintf(out, "HTTP Port Number  %u\n", c.httpPort());
    std::fprintf(out, "SNMP Port Number  %u\n", c.snmpPort());
    std::fprintf(out, "KRAT: First LV Slot / QX3xx: PF Retries  %u\n", c.slotOrRetries());
    for (const auto& f : kEthernetFlags)
        std::fprintf(out, "[%c] %s\n", (c.ethernetFlags() & (1u << f.bit)) ? 'x' : ' ', f.text);
    for (const auto& f : kOptionFlags)
        std::fprintf(out, "[%c] %s\n", (c.optionFlags() & (1u << f.bit)) ? 'x' : ' ', f.text);
    return 0;
}

}  // namespace vz::ctl
