#include "canfw/hex_parameters.h"

#include <cstdlib>

#include "base/text_format.h"

namespace vz {
namespace {

bool validIntegerLength(size_t n) {
    return n == 1 || n == 2 || n == 4 || n == 8;
}

std::optional<uint64_t> bigEndian(const std::string& hex, size_t firstByte, size_t count) {
    uint64_t v = 0;
    for (size_t i = 0; i < count; ++i) {
        const std::string pair = hex.substr(2 * (firstByte + i), 2);
        if (pair.size() != 2) return std::nullopt;
        char* end = nullptr;
        const unsigned long b = std::strtoul(pair.c_str(), &end, 16);
        if (*end) return std::nullopt;
        v = v << 8 | b;
    }
    return v;
}

}  // namespace

std::optional<HexParameter> parseHexParameter(uint32_t number, int byteCount, const std::string& dataText) {
    if (byteCount - 4 < 1) return std::nullopt;
    if (dataText.size() < 2u * static_cast<size_t>(byteCount)) return std::nullopt;
    const auto type = bigEndian(dataText, 0, 2);
    const auto flags = bigEndian(dataText, 2, 2);
    if (!type || !flags) return std::nullopt;
    HexParameter p;
    p.number = number;
    p.writeToDevice = *flags & 1;
    p.type = static_cast<uint32_t>(*type);
    p.length = static_cast<uint32_t>(byteCount - 4);
    switch (p.type) {
        case kHexSigned:
        case kHexUnsigned:
        case kHexValue32: {
            if (!validIntegerLength(p.length)) return std::nullopt;
            const auto v = bigEndian(dataText, 4, p.length);
            if (!v) return std::nullopt;
            p.value = *v;
            return p;
        }
        case kHexRange: {
            const size_t half = p.length / 2;
            if (p.length % 2 || !validIntegerLength(half)) return std::nullopt;
            const auto a = bigEndian(dataText, 4, half), b = bigEndian(dataText, 4 + half, half);
            if (!a || !b) return std::nullopt;
            p.value = *a;
            p.value2 = *b;
            return p;
        }
        default:
            return std::nullopt;
    }
}

FirmwareSettings deriveFirmwareSettings(const ParameterMap& parameters, bool hexOk, const LogSink& log) {
    FirmwareSettings s;
    if (parameters.empty()) return s;
    log("Assuming predefined (HEX) parameters ..\r\n");
    if (!hexOk) return s;
    for (const auto& [number, p] : parameters) {
        if (p.writeToDevice || number < 1001 || number > 1005) continue;
        const int n = static_cast<int>(number);
        const int t = static_cast<int>(p.type);
        const auto v = static_cast<unsigned long long>(p.value);
        const auto v2 = static_cast<unsigned long long>(p.value2);
        bool supported = true;
        switch (number) {
            case 1001:
                if ((supported = p.type == kHexRange)) {
                    s.configStart = p.value;
                    s.configEnd = p.value2;
                    log(formatText(
                        kLineLimit,
                        "  Parameter %4d (name='module configuration', iStart=0x%06llX, iEnd=0x%06llX, "
                        "protection=%s, type=%d)\r\n",
                        n, v, v2, p.value != p.value2 ? "YES" : "NO", 5));
                }
                break;
            case 1002:
                if ((supported = p.type == kHexRange)) {
                    s.firmwareStart = p.value;
                    s.firmwareEnd = p.value2;
                    log(formatText(
                        kLineLimit,
                        "  Parameter %4d (name='PM firmware', iStart=0x%06llX, iEnd=0x%06llX, type=%d)\r\n",
                        n, v, v2, 5));
                }
                break;
            case 1003:
                if ((supported = p.type == kHexUnsigned)) {
                    s.deviceFamily = static_cast<uint32_t>(p.value);
                    log(formatText(kLineLimit,
                                   "  Parameter %4d (name='device family', uiValue=0x%04llX, type=%d)\r\n", n,
                                   v, 2));
                }
                break;
            case 1004:
                if ((supported = p.type == kHexSigned || p.type == kHexUnsigned)) {
                    s.detect = p.value != 0;
                    log(formatText(
                        kLineLimit,
                        p.type == kHexSigned
                            ? "  Parameter %4d (name='PM firmware detect', iValue=0x%04llX, type=%d)\r\n"
                            : "  Parameter %4d (name='PM firmware detect', uiValue=0x%04llX, type=%d)\r\n",
                        n, v, t));
                }
                break;
            case 1005:
                if ((supported = p.type == kHexUnsigned) && p.value >= 1 && p.value <= 3) {
                    s.firmwareType = static_cast<int>(p.value);
                    log(formatText(kLineLimit,
                                   "  Parameter %4d (name='firmwareType', uiValue=%d, type=%d)\r\n", n,
                                   static_cast<int>(p.value), 2));
                }
                break;
        }
        if (!supported) log(formatText(kLineLimit, "  Parameter %4d not supported (type=%d)\r\n", n, t));
    }
    return s;
}

}  // namespace vz
