// A scenario's controller: its type, configuration and signal processor.
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>

#include "sim/byte_order.h"
#include "sim/scenario_sections.h"

namespace vsim::scenario_read {
namespace {

uint32_t ipAddress(const json& j, const std::string& path) {
    const std::string s = text(j, path);
    unsigned a = 0, b = 0, c = 0, d = 0;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 ||
        c > 255 || d > 255)
        fail(path, "\"" + s + "\" is not a dotted IPv4 address");
    return (a << 24) | (b << 16) | (c << 8) | d;  // first octet most significant
}

void parseConfig(const json& j, const std::string& path, ControllerDef& c) {
    allowKeys(j, path,
              {"ip", "subnetMask", "gateway", "ethernetFlags", "mac", "httpPort", "snmpPort", "optionFlags",
               "firstSlot", "wordAddress"});
    uint8_t* r = c.config.data();
    if (j.contains("ip")) putU32(r + 0, ipAddress(j["ip"], join(path, "ip")));
    if (j.contains("subnetMask")) putU32(r + 4, ipAddress(j["subnetMask"], join(path, "subnetMask")));
    if (j.contains("gateway")) putU32(r + 8, ipAddress(j["gateway"], join(path, "gateway")));
    if (j.contains("ethernetFlags"))
        putU16(r + 12,
               static_cast<uint16_t>(integer(j["ethernetFlags"], join(path, "ethernetFlags"), 0, 0xFFFF)));
    if (j.contains("mac")) {
        const std::string p = join(path, "mac");
        const std::string s = text(j["mac"], p);
        unsigned b[6];
        char tail = 0;
        if (std::sscanf(s.c_str(), "%x:%x:%x:%x:%x:%x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &tail) !=
            6)
            fail(p, "expected six hexadecimal bytes separated by colons");
        for (unsigned x : b)
            if (x > 255) fail(p, "byte out of range");
        putU16(r + 18, static_cast<uint16_t>((b[0] << 8) | b[1]));  // high word
        putU16(r + 16, static_cast<uint16_t>((b[2] << 8) | b[3]));
        putU16(r + 14, static_cast<uint16_t>((b[4] << 8) | b[5]));  // low word
    }
    if (j.contains("httpPort"))
        putU16(r + 28, static_cast<uint16_t>(integer(j["httpPort"], join(path, "httpPort"), 0, 0xFFFF)));
    if (j.contains("snmpPort"))
        putU16(r + 32, static_cast<uint16_t>(integer(j["snmpPort"], join(path, "snmpPort"), 0, 0xFFFF)));
    if (j.contains("optionFlags"))
        putU16(r + 44,
               static_cast<uint16_t>(integer(j["optionFlags"], join(path, "optionFlags"), 0, 0xFFFF)));
    if (j.contains("firstSlot"))
        putU16(r + 46, static_cast<uint16_t>(integer(j["firstSlot"], join(path, "firstSlot"), 0, 0xFFFF)));
    if (j.contains("wordAddress"))
        c.configWordAddress =
            static_cast<uint32_t>(integer(j["wordAddress"], join(path, "wordAddress"), 0, 0xFFE2));
}

DspFault parseDspFault(const json& j, const std::string& path) {
    allowKeys(j, path, {"kind", "nth", "command"});
    DspFault f;
    if (!j.contains("kind")) fail(path, "missing \"kind\"");
    const auto kind = dspFaultKindFromName(text(j["kind"], join(path, "kind")));
    if (!kind) fail(join(path, "kind"), "unknown fault kind (lostEcho, lostAck, nak, wrongSequence)");
    f.kind = *kind;
    if (!j.contains("nth")) fail(path, "missing \"nth\"");
    f.nth = static_cast<int>(integer(j["nth"], join(path, "nth"), 1, 1000000000));
    if (j.contains("command")) {
        // The boot stream carries no commands.
        if (f.kind == DspFaultKind::LostEcho)
            fail(join(path, "command"), "lostEcho counts boot stream bytes");
        f.command = static_cast<uint16_t>(integer(j["command"], join(path, "command"), 0, 0xFFFF));
    }
    return f;
}

// A version text as it goes into a version block: at most 16 characters of printable ASCII.
std::string versionText(const json& j, const std::string& path) {
    const std::string s = text(j, path);
    if (s.size() > 16) fail(path, "at most 16 characters");
    for (char c : s)
        if (c < 0x20 || c > 0x7E) fail(path, "printable ASCII only");
    return s;
}

Tms320Def parseDsp(const json& j, const std::string& path) {
    allowKeys(j, path,
              {"partId", "revisionId", "firmwareText", "bootloaderText", "blank", "flashFile", "faults"});
    Tms320Def d;
    if (j.contains("partId"))
        d.partId = static_cast<uint16_t>(integer(j["partId"], join(path, "partId"), 0, 0xFFFF));
    if (j.contains("revisionId"))
        d.revisionId = static_cast<uint16_t>(integer(j["revisionId"], join(path, "revisionId"), 0, 0xFFFF));
    if (j.contains("firmwareText"))
        d.firmwareText = versionText(j["firmwareText"], join(path, "firmwareText"));
    if (j.contains("bootloaderText"))
        d.bootloaderText = versionText(j["bootloaderText"], join(path, "bootloaderText"));
    if (j.contains("blank")) d.blank = boolean(j["blank"], join(path, "blank"));
    if (j.contains("flashFile")) d.flashFile = text(j["flashFile"], join(path, "flashFile"));
    if (j.contains("faults")) {
        const std::string p = join(path, "faults");
        const json& a = arrayAt(j["faults"], p);
        if (a.size() > kMaxFaultRules) fail(p, "at most " + std::to_string(kMaxFaultRules) + " fault rules");
        for (size_t i = 0; i < a.size(); ++i) d.faults.push_back(parseDspFault(a[i], join(p, i)));
    }
    return d;
}

}  // namespace

ControllerDef parseController(const json& j, const std::string& path) {
    allowKeys(j, path,
              {"type", "snmp", "cacheChannels", "canTimeoutMs", "absentSilent", "lineRate", "config", "dsp"});
    ControllerDef c;
    if (j.contains("type")) {
        const std::string p = join(path, "type");
        c.type = static_cast<int>(integer(j["type"], p, 0, 255));
        if (c.type != 16 && c.type != 17 && c.type != 18 && c.type != 21 && c.type != 22)
            fail(p, "controller type must be 16, 17, 18, 21 or 22");
    }
    if (j.contains("snmp")) c.snmp = boolean(j["snmp"], join(path, "snmp"));
    if (j.contains("cacheChannels")) {
        const std::string p = join(path, "cacheChannels");
        const json& v = j["cacheChannels"];
        if (v.is_null() || (v.is_string() && v.get<std::string>() == "none")) {
            c.cacheChannels = 0;
        } else {
            c.cacheChannels = static_cast<int>(integer(v, p, 0, 16));
            if (c.cacheChannels != 0 && c.cacheChannels != 12 && c.cacheChannels != 16)
                fail(p, "expected 12, 16 or \"none\"");
        }
    }
    if (j.contains("canTimeoutMs"))
        c.canTimeoutMs = static_cast<int>(integer(j["canTimeoutMs"], join(path, "canTimeoutMs"), 0, 60000));
    if (j.contains("absentSilent")) c.absentSilent = boolean(j["absentSilent"], join(path, "absentSilent"));
    if (j.contains("lineRate")) c.lineRate = boolean(j["lineRate"], join(path, "lineRate"));
    if (j.contains("config")) parseConfig(j["config"], join(path, "config"), c);
    if (j.contains("dsp")) c.dsp = parseDsp(j["dsp"], join(path, "dsp"));
    return c;
}

}  // namespace vsim::scenario_read
