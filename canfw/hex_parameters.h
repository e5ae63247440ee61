#pragma once
// Private HEX records (type 0xD1) that tell what a firmware file contains and where, and the
// settings the programming job derives from them.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "canfw/log_text.h"

namespace vz {

enum HexParameterType : uint32_t {
    kHexSigned = 1,
    kHexUnsigned = 2,
    kHexValue32 = 3,
    kHexText = 4,
    kHexRange = 5,
};

struct HexParameter {
    uint32_t number = 0;
    bool writeToDevice = false;
    uint32_t type = 0;
    uint64_t value = 0;
    uint64_t value2 = 0;
    uint32_t length = 0;
};

// Ordered by number, one per number.
using ParameterMap = std::map<uint32_t, HexParameter>;

// dataText: the record's data field as hexadecimal text (2 × byteCount characters).
std::optional<HexParameter> parseHexParameter(uint32_t number, int byteCount, const std::string& dataText);

enum FirmwareType : int {
    kNoFirmwareType = 0,
    kBootLoaderFirmware = 1,
    kApplicationFirmware = 2,
    kUpdateFirmware = 3
};

struct FirmwareSettings {
    uint64_t configStart = 0, configEnd = 0;      // module configuration range (1001)
    uint64_t firmwareStart = 0, firmwareEnd = 0;  // PM firmware range (1002)
    int64_t deviceFamily = -1;                    // 1003: the device id the file is made for
    bool detect = true;                           // 1004
    int firmwareType = kNoFirmwareType;           // 1005

    bool configRangeSet() const { return configStart != configEnd; }
    bool firmwareRangeSet() const { return firmwareStart != firmwareEnd; }
};

// Applies parameters 1001 to 1005 with their log lines; defaults when the map is empty or !hexOk.
FirmwareSettings deriveFirmwareSettings(const ParameterMap& parameters, bool hexOk, const LogSink& log);

}  // namespace vz
