#pragma once
// The crate controller's own configuration record: network settings, Ethernet and option flags.
// 60 bytes, little-endian, in the controller's word-addressed space (module address 255).
#include <array>
#include <cstdint>

namespace vz {

struct ControllerConfig {
    std::array<uint8_t, 60> bytes{};

    uint32_t ipAddress() const { return u32(0); }
    uint32_t subnetMask() const { return u32(4); }
    uint32_t gateway() const { return u32(8); }
    uint16_t ethernetFlags() const { return u16(12); }
    // MAC words as shown left to right: high, middle, low.
    uint16_t macHigh() const { return u16(18); }
    uint16_t macMiddle() const { return u16(16); }
    uint16_t macLow() const { return u16(14); }
    uint16_t httpPort() const { return u16(28); }
    uint16_t snmpPort() const { return u16(32); }
    uint16_t optionFlags() const { return u16(44); }
    // First LV slot on KRAT, power-fail retries on QX308.
    uint16_t slotOrRetries() const { return u16(46); }

    void setEthernetFlags(uint16_t v) { setU16(12, v); }
    void setOptionFlags(uint16_t v) { setU16(44, v); }

    uint16_t u16(std::size_t at) const { return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)); }
    uint32_t u32(std::size_t at) const { return u16(at) | (static_cast<uint32_t>(u16(at + 2)) << 16); }
    void setU16(std::size_t at, uint16_t v) {
        bytes[at] = static_cast<uint8_t>(v);
        bytes[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void setU32(std::size_t at, uint32_t v) {
        setU16(at, static_cast<uint16_t>(v));
        setU16(at + 2, static_cast<uint16_t>(v >> 16));
    }
};

namespace ethernet {
constexpr uint16_t kSpeed100M = 1u << 0;
constexpr uint16_t kFullDuplex = 1u << 1;
constexpr uint16_t kAutoNegotiation = 1u << 2;
constexpr uint16_t kDhcpDisable = 1u << 13;
constexpr uint16_t kBootpDisable = 1u << 14;
constexpr uint16_t kHttpWriteDisable = 1u << 15;
}  // namespace ethernet

namespace option {
constexpr uint16_t kIgnoreIoInputForPf = 1u << 7;
constexpr uint16_t kFastPfDetection = 1u << 8;
}  // namespace option

// The record's word address for the controller's channel limit: 0x9420 for 12 and 60, 0x9580 for 16
// and 127; 0 for a limit without a known record.
uint32_t controllerConfigWordAddress(int channelLimit);

// Reads the whole record; false when it could not be read (the record then holds what arrived).
bool readControllerConfig(ControllerConfig& config);

// The rules the controller expects of a record it is given: with auto-negotiation on, speed and
// duplex are the controller's to find out; fast power-fail detection excludes ignoring the I/O input.
void normalizeControllerConfig(ControllerConfig& config);

// Writes the whole record, after normalising it; false when the write did not go through.
bool writeControllerConfig(ControllerConfig config);

// "192.168.10.20": the first octet is the most significant byte.
void ipAddressText(uint32_t value, char* text, std::size_t size);

}  // namespace vz
