#include "dialogs/controller_configuration.h"

#include <cstdio>

#include "base/controller_type.h"
#include "dialogs/field_helpers.h"

namespace vz {

namespace {

// getIpAddress: the 32-bit value of an address control; a text that is no address changes nothing.
bool getIpAddress(DialogControls& d, int id, uint32_t& target) {
    const std::optional<std::string> text = d.text(id);
    uint32_t value = 0;
    if (!text || !parseIpAddress(*text, value) || value == target) return false;
    target = value;
    return true;
}

// A 16-bit word of the record through the field helper, so "changed" means what it means everywhere.
bool getWord(DialogControls& d, int id, ControllerConfig& c, std::size_t offset, const char* format) {
    uint16_t value = c.u16(offset);
    if (!getEditU16(d, id, value, {}, format)) return false;
    c.setU16(offset, value);
    return true;
}

bool getAddress(DialogControls& d, int id, ControllerConfig& c, std::size_t offset) {
    uint32_t value = c.u32(offset);
    if (!getIpAddress(d, id, value)) return false;
    c.setU32(offset, value);
    return true;
}

template <std::size_t N>
bool getFlags(DialogControls& d, const FlagControl (&controls)[N], ControllerConfig& c, std::size_t offset) {
    uint32_t word = c.u16(offset);
    bool changed = false;
    for (const FlagControl& f : controls) changed |= getCheckBit(d, f.id, word, f.bit);
    c.setU16(offset, static_cast<uint16_t>(word));
    return changed;
}

}  // namespace

std::string ipAddressControlText(uint32_t value) {
    char text[20];
    ipAddressText(value, text, sizeof text);
    return text;
}

bool parseIpAddress(const std::string& text, uint32_t& value) {
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return false;
    if (a > 255 || b > 255 || c > 255 || d > 255) return false;
    value = (a << 24) | (b << 16) | (c << 8) | d;
    return true;
}

ControllerConfiguration::ControllerConfiguration(DialogControls& controls, int controllerType,
                                                 bool expertView)
    : d_(controls), controllerType_(controllerType), expertView_(expertView) {}

void ControllerConfiguration::open() {
    readControllerConfig(record_);  // a failed read is not reported: the dialog shows what arrived
    show();
    changed_ = false;
}

void ControllerConfiguration::show() {
    d_.setText(ccfg::kIpAddress, ipAddressControlText(record_.ipAddress()));
    d_.setText(ccfg::kSubnetMask, ipAddressControlText(record_.subnetMask()));
    d_.setText(ccfg::kGateway, ipAddressControlText(record_.gateway()));
    setEditInt(d_, ccfg::kMacHigh, record_.macHigh(), "%4.4llX");
    setEditInt(d_, ccfg::kMacMiddle, record_.macMiddle(), "%4.4llX");
    setEditInt(d_, ccfg::kMacLow, record_.macLow(), "%4.4llX");
    setEditInt(d_, ccfg::kHttpPort, record_.httpPort());
    setEditInt(d_, ccfg::kSnmpPort, record_.snmpPort());
    setEditInt(d_, ccfg::kSlotOrRetries, record_.slotOrRetries());
    for (const FlagControl& f : kEthernetFlagControls)
        setCheck(d_, f.id, (record_.ethernetFlags() >> f.bit) & 1u);
    for (const FlagControl& f : kOptionFlagControls)
        setCheck(d_, f.id, (record_.optionFlags() >> f.bit) & 1u);

    // Speed and duplex are the controller's to find out while it negotiates.
    const bool negotiating = record_.ethernetFlags() & ethernet::kAutoNegotiation;
    enableItem(d_, ccfg::kSpeed100M, !negotiating);
    enableItem(d_, ccfg::kFullDuplex, !negotiating);
    enableItem(d_, 1105, controllerType_ == kKrat);
    enableItem(d_, 1106, controllerType_ == kKrat && expertView_);
    enableItem(d_, 1108, controllerType_ == kQx308 && expertView_);
    for (const int id : {ccfg::kMacHigh, ccfg::kMacMiddle, ccfg::kMacLow, 1098, 1100, 1101, 1087, 1089, 1107})
        enableItem(d_, id, expertView_);
}

bool ControllerConfiguration::collect() {
    bool changed = false;
    changed |= getAddress(d_, ccfg::kIpAddress, record_, 0);
    changed |= getAddress(d_, ccfg::kSubnetMask, record_, 4);
    changed |= getAddress(d_, ccfg::kGateway, record_, 8);
    changed |= getFlags(d_, kEthernetFlagControls, record_, 12);
    changed |= getWord(d_, ccfg::kMacLow, record_, 14, "%x");
    changed |= getWord(d_, ccfg::kMacMiddle, record_, 16, "%x");
    changed |= getWord(d_, ccfg::kMacHigh, record_, 18, "%x");
    changed |= getWord(d_, ccfg::kHttpPort, record_, 28, "%i");
    changed |= getWord(d_, ccfg::kSnmpPort, record_, 32, "%i");
    changed |= getFlags(d_, kOptionFlagControls, record_, 44);
    changed |= getWord(d_, ccfg::kSlotOrRetries, record_, 46, "%i");
    if (record_.optionFlags() & option::kFastPfDetection)
        record_.setOptionFlags(static_cast<uint16_t>(record_.optionFlags() & ~option::kIgnoreIoInputForPf));
    return changed;
}

void ControllerConfiguration::autoNegotiationClicked() {
    const bool changed = collect();
    changed_ |= changed;
    if (changed) show();
}

bool ControllerConfiguration::ok() {
    changed_ |= collect();
    if (!changed_) return false;
    // The record goes out whole; writeControllerConfig applies the auto-negotiation rule.
    writeControllerConfig(record_);
    normalizeControllerConfig(record_);
    return true;
}

}  // namespace vz
