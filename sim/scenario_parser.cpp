// Reading scenario files. Every error names the JSON path of the offending value; unknown keys are
// errors too, so a misspelt field never silently falls back to a default.
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
#include "sim/module_processor.h"
#include "sim/physical_value.h"
#include "sim/record_layout.h"
#include "sim/scenario.h"

namespace vsim {
namespace {

using nlohmann::json;

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw ParseError(path + ": " + what);
}

std::string join(const std::string& path, const std::string& key) {
    return path + "." + key;
}
std::string join(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

void allowKeys(const json& j, const std::string& path, std::initializer_list<const char*> keys) {
    if (!j.is_object()) fail(path, "expected an object");
    for (auto it = j.begin(); it != j.end(); ++it) {
        bool known = false;
        for (const char* k : keys) known = known || it.key() == k;
        if (!known) fail(join(path, it.key()), "unknown key");
    }
}

const json& arrayAt(const json& j, const std::string& path) {
    if (!j.is_array()) fail(path, "expected an array");
    return j;
}

// Integers may be written as numbers or as "0x..." texts.
int64_t integer(const json& j, const std::string& path, int64_t lo, int64_t hi) {
    int64_t v = 0;
    if (j.is_number_integer()) {
        v = j.get<int64_t>();
    } else if (j.is_number_unsigned()) {
        const auto u = j.get<uint64_t>();
        if (u > static_cast<uint64_t>(hi)) fail(path, "value " + std::to_string(u) + " out of range");
        v = static_cast<int64_t>(u);
    } else if (j.is_string()) {
        const std::string s = j.get<std::string>();
        char* end = nullptr;
        errno = 0;
        const long long parsed = std::strtoll(s.c_str(), &end, 0);
        if (s.empty() || *end != '\0' || errno != 0) fail(path, "\"" + s + "\" is not an integer");
        v = parsed;
    } else {
        fail(path, "expected an integer");
    }
    if (v < lo || v > hi)
        fail(path,
             "value " + std::to_string(v) + " outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

bool boolean(const json& j, const std::string& path) {
    if (!j.is_boolean()) fail(path, "expected true or false");
    return j.get<bool>();
}

double number(const json& j, const std::string& path, double lo, double hi) {
    if (!j.is_number()) fail(path, "expected a number");
    const double v = j.get<double>();
    if (!std::isfinite(v) || v < lo || v > hi)
        fail(path, "value outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

std::string text(const json& j, const std::string& path) {
    if (!j.is_string()) fail(path, "expected a text");
    return j.get<std::string>();
}

std::string hexId(const json& j, const std::string& path) {
    const std::string s = text(j, path);
    if (s.size() != 4) fail(path, "expected four hexadecimal digits");
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) fail(path, "expected four hexadecimal digits");
    return s;
}

// Named bits: either a number or an array of names from the table (bit = index).
uint32_t flagBits(const json& j, const std::string& path, std::initializer_list<const char*> names,
                  int64_t max) {
    if (!j.is_array()) return static_cast<uint32_t>(integer(j, path, 0, max));
    uint32_t bits = 0;
    for (size_t i = 0; i < j.size(); ++i) {
        const std::string n = text(j[i], join(path, i));
        int bit = 0;
        bool found = false;
        for (const char* name : names) {
            if (n == name) {
                found = true;
                break;
            }
            ++bit;
        }
        if (!found) fail(join(path, i), "unknown flag \"" + n + "\"");
        bits |= 1u << bit;
    }
    return bits;
}

uint16_t errorActionWord(const json& j, const std::string& path) {
    if (!j.is_object()) return static_cast<uint16_t>(integer(j, path, 0, 0xFFFF));
    static constexpr std::pair<const char*, int> kFields[] = {
        {"minUSense", 0},   {"maxUSense", 2}, {"maxUModule", 4}, {"maxCurrent", 6},
        {"temperature", 8}, {"power", 10},    {"timeout", 14}};
    uint16_t word = 0;
    for (auto it = j.begin(); it != j.end(); ++it) {
        int shift = -1;
        for (const auto& [name, s] : kFields)
            if (it.key() == name) shift = s;
        if (shift < 0) fail(join(path, it.key()), "unknown supervision");
        word |= static_cast<uint16_t>(integer(*it, join(path, it.key()), 0, 3) << shift);
    }
    return word;
}

void storeField(uint8_t* record, const Field& f, int64_t v) {
    if (f.width == 1)
        record[f.offset] = static_cast<uint8_t>(v);
    else if (f.width == 2)
        putU16(record + f.offset, static_cast<uint16_t>(v));
    else
        putU32(record + f.offset, static_cast<uint32_t>(v));
}

int64_t fieldValue(const json& j, const std::string& path, const Field& f, int exponent) {
    if (j.is_string() && f.unit != Unit::None && !(j.get<std::string>().rfind("0x", 0) == 0)) {
        std::string why;
        const auto raw = physicalToRaw(j.get<std::string>(), f.unit, exponent, why);
        if (!raw) fail(path, why);
        return *raw;
    }
    const int bits = 8 * f.width;
    const int64_t lo = f.isSigned ? -(int64_t{1} << (bits - 1)) : 0;
    const int64_t hi = f.isSigned ? (int64_t{1} << (bits - 1)) - 1 : (int64_t{1} << bits) - 1;
    return integer(j, path, lo, hi);
}

constexpr std::initializer_list<const char*> kSystemFlags = {
    "inputStageBias", "switchCurrentGain", "isMaster",      "isSlave",
    "clockDisable",   "isPcbCx",           "pwmAdjustUmod", "pwmVariableFrequency"};
constexpr std::initializer_list<const char*> kUserFlags = {
    "switchOffNoRamp",       "switchModuleReg",      "switchSlowReg", "switchInternalSense",
    "enableExternalInhibit", "disableGlobalInhibit", "autoPowerOn",   "relaxSupervOnPowerup"};

void parseSystem(const json& j, const std::string& path, ModuleDef& m, std::set<std::string>& given) {
    if (!j.is_object()) fail(path, "expected an object");
    uint8_t* rec = m.system.data();
    rec[sysoff::voltageExponent] = static_cast<uint8_t>(-10);  // defaults, see applySystemDefaults
    rec[sysoff::currentExponent] = static_cast<uint8_t>(-10);
    // Exponents first: they give the physical values of the other fields their meaning.
    for (const char* name : {"voltageExponent", "currentExponent"}) {
        if (j.contains(name)) {
            const Field f = *findField(systemFields(), name);
            storeField(rec, f, integer(j[name], join(path, name), -128, 127));
            given.insert(name);
        }
    }
    const int ve = static_cast<int8_t>(rec[sysoff::voltageExponent]);
    const int ce = static_cast<int8_t>(rec[sysoff::currentExponent]);
    for (auto it = j.begin(); it != j.end(); ++it) {
        const std::string p = join(path, it.key());
        if (it.key() == "voltageExponent" || it.key() == "currentExponent") continue;
        if (it.key() == "reserved") {
            const json& a = arrayAt(*it, p);
            if (a.size() != 6) fail(p, "expected 6 bytes");
            for (size_t i = 0; i < 6; ++i)
                rec[58 + i] = static_cast<uint8_t>(integer(a[i], join(p, i), 0, 255));
            continue;
        }
        const auto f = findField(systemFields(), it.key());
        if (!f) fail(p, "unknown system configuration field");
        int64_t v = 0;
        if (f->name == "flags")
            v = flagBits(*it, p, kSystemFlags, 0xFFFFFFFF);
        else
            v = fieldValue(*it, p, *f, f->unit == Unit::Ampere ? ce : ve);
        storeField(rec, *f, v);
        given.insert(it.key());
    }
}

// WDX modules keep the float pair ugain, igain at user bytes 2 to 9, where the other types keep
// Unom, Inom, rampUp and rampDown; a scenario names only the fields its module has.
bool overlapsWdxFloats(const std::string& name) {
    return name == "Unom" || name == "Inom" || name == "rampUp" || name == "rampDown";
}

void parseUser(const json& j, const std::string& path, ModuleDef& m, bool wdx, std::set<std::string>& given) {
    if (!j.is_object()) fail(path, "expected an object");
    uint8_t* rec = m.user.data();
    const int ve = static_cast<int8_t>(m.system[sysoff::voltageExponent]);
    const int ce = static_cast<int8_t>(m.system[sysoff::currentExponent]);
    for (auto it = j.begin(); it != j.end(); ++it) {
        const std::string p = join(path, it.key());
        if (it.key() == "ugain" || it.key() == "igain") {
            if (!wdx) fail(p, "only modules of a WDX controller (type 17) have ugain and igain");
            const float v = static_cast<float>(number(*it, p, -1e30, 1e30));
            uint32_t bits = 0;
            std::memcpy(&bits, &v, 4);
            putU32(rec + (it.key() == "ugain" ? 2 : 6), bits);
            given.insert(it.key());
            continue;
        }
        if (wdx && overlapsWdxFloats(it.key()))
            fail(p, "a module of a WDX controller has no " + it.key() +
                        " (user bytes 2 to 9 hold the floats ugain and igain)");
        const auto f = findField(userFields(), it.key());
        if (!f) fail(p, "unknown user configuration field");
        int64_t v = 0;
        if (f->name == "flags")
            v = flagBits(*it, p, kUserFlags, 0xFFFF);
        else if (f->name == "errorAction")
            v = errorActionWord(*it, p);
        else
            v = fieldValue(*it, p, *f, f->unit == Unit::Ampere ? ce : ve);
        if (f->name == "idGroup" && (v < 1 || v > 127)) fail(p, "group must be 1..127");
        storeField(rec, *f, v);
        given.insert(it.key());
    }
}

// The program takes a WDX channel's exponents from the binary exponents of its gains: the biased
// exponent of the float plus 0x77 for the voltage, plus 0x76 for the current, as a signed byte. A
// module of this crate therefore carries exponents that agree with its gains.
constexpr int kVoltageGainBias = 0x77;
constexpr int kCurrentGainBias = 0x76;

int exponentOfGain(const uint8_t* bytes, int bias) {
    const unsigned biased = (getU32(bytes) >> 23) & 0xFFu;
    return static_cast<int8_t>(static_cast<uint8_t>(biased + static_cast<unsigned>(bias)));
}

void wdxGains(ModuleDef& m, const std::string& path, const std::set<std::string>& user) {
    const struct {
        const char* gain;
        const char* exponent;
        uint16_t offset;
        uint16_t exponentOffset;
        int bias;
    } pairs[] = {{"ugain", "voltageExponent", 2, sysoff::voltageExponent, kVoltageGainBias},
                 {"igain", "currentExponent", 6, sysoff::currentExponent, kCurrentGainBias}};
    for (const auto& g : pairs) {
        const int exponent = static_cast<int8_t>(m.system[g.exponentOffset]);
        uint8_t* bytes = m.user.data() + g.offset;
        if (!user.count(g.gain)) {
            // The power of two whose exponent rule gives the module's exponent.
            const unsigned biased = static_cast<uint8_t>(exponent - g.bias);
            if (biased == 0 || biased == 0xFF)
                fail(join(path, std::string("system.") + g.exponent),
                     "no " + std::string(g.gain) + " gives the exponent " + std::to_string(exponent) +
                         " on a WDX module");
            putU32(bytes, biased << 23);
            continue;
        }
        const int wanted = exponentOfGain(bytes, g.bias);
        if (wanted != exponent)
            fail(join(path, std::string("user.") + g.gain),
                 "this gain gives the exponent " + std::to_string(wanted) + " on a WDX module, but " +
                     g.exponent + " is " + std::to_string(exponent) + "; give " + g.exponent + " " +
                     std::to_string(wanted));
    }
}

void applySystemDefaults(ModuleDef& m, const std::set<std::string>& sys) {
    uint8_t* s = m.system.data();
    auto setS = [&](const char* name, uint16_t off, int64_t v) {
        if (!sys.count(name)) putU16(s + off, static_cast<uint16_t>(v));
    };
    if (!sys.count("voltageExponent")) s[sysoff::voltageExponent] = static_cast<uint8_t>(-10);
    if (!sys.count("currentExponent")) s[sysoff::currentExponent] = static_cast<uint8_t>(-10);
    for (const char* gain :
         {"calUModGain", "calIModGain", "calUSenGain", "calUSetGain", "calISetGain", "calUIntGain"})
        setS(gain, findField(systemFields(), gain)->offset, 0x8000);
    setS("maxUnom", sysoff::maxUnom, 32767);
    setS("maxInom", sysoff::maxInom, 32767);
    setS("maxUSense", sysoff::maxUSense, 32767);
    setS("maxUTerminal", sysoff::maxUTerminal, 32767);
    setS("maxCurrent", sysoff::maxCurrent, 32767);
    setS("maxTemperature", sysoff::maxTemperature, 100);
    setS("maxPower", sysoff::maxPower, 65535);
}

void applyUserDefaults(ModuleDef& m, const std::set<std::string>& user, bool wdx) {
    const uint8_t* s = m.system.data();
    uint8_t* u = m.user.data();
    // Supervision thresholds not given follow the hardware limits, so a plain module does not trip.
    auto setU = [&](const char* name, uint16_t off, uint16_t v) {
        if (!user.count(name)) putU16(u + off, v);
    };
    setU("idGroup", useroff::idGroup, 1);
    if (!wdx) {  // on WDX these bytes are the gains
        setU("Inom", useroff::Inom, getU16(s + sysoff::maxInom));
        setU("rampUp", useroff::rampUp, 10);
        setU("rampDown", useroff::rampDown, 10);
    }
    setU("maxUSense", useroff::maxUSense, getU16(s + sysoff::maxUSense));
    setU("maxUModule", useroff::maxUModule, getU16(s + sysoff::maxUTerminal));
    setU("maxCurrent", useroff::maxCurrent, getU16(s + sysoff::maxCurrent));
    setU("maxTemperature", useroff::maxTemperature, getU16(s + sysoff::maxTemperature));
    setU("maxPower", useroff::maxPower, getU16(s + sysoff::maxPower));
}

void parseFirmware(const json& j, const std::string& path, ModuleDef& m) {
    allowKeys(j, path, {"name", "version"});
    if (j.contains("name")) {
        const std::string n = text(j["name"], join(path, "name"));
        if (n.size() > 16) fail(join(path, "name"), "longer than 16 characters");
        std::memcpy(m.firmware.data(), n.data(), n.size());
    }
    if (j.contains("version")) {
        const std::string p = join(path, "version");
        const json& v = j["version"];
        const std::string s = v.is_string() ? v.get<std::string>() : std::string();
        if (std::count(s.begin(), s.end(), '.') == 3) {
            // Shown as byte 19.18.17.16, so the first number is the highest byte.
            size_t pos = 0;
            for (int i = 0; i < 4; ++i) {
                const size_t dot = s.find('.', pos);
                const std::string part =
                    s.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
                m.firmware[19 - i] = static_cast<uint8_t>(integer(json(part), p, 0, 255));
                pos = dot + 1;
            }
        } else {
            putU32(m.firmware.data() + 16, static_cast<uint32_t>(integer(v, p, 0, 0xFFFFFFFF)));
        }
    }
}

// Per path {"gain": 1.03, "offset": "40 mV"}; the offset in the path's unit.
void parseAnalogError(const json& j, const std::string& path, ModuleDef& m) {
    static constexpr std::array<const char*, kAnalogPaths> kNames{"uSense", "uTerminal", "current",
                                                                  "uSet",   "uInternal", "iSet"};
    allowKeys(j, path, {"uSense", "uTerminal", "current", "uSet", "uInternal", "iSet"});
    for (size_t i = 0; i < kAnalogPaths; ++i) {
        if (!j.contains(kNames[i])) continue;
        const std::string p = join(path, kNames[i]);
        const json& e = j[kNames[i]];
        allowKeys(e, p, {"gain", "offset"});
        if (e.contains("gain")) m.analogError[i].gain = number(e["gain"], join(p, "gain"), 0.5, 2.0);
        if (e.contains("offset")) {
            const bool amperes = i == 2 || i == 5;
            const std::string t = text(e["offset"], join(p, "offset"));
            char* end = nullptr;
            const double v = std::strtod(t.c_str(), &end);
            std::string unit(end);
            while (!unit.empty() && unit.front() == ' ') unit.erase(unit.begin());
            const std::string base = amperes ? "A" : "V";
            double scale = 0;
            if (unit == base) scale = 1;
            if (unit == "m" + base) scale = 1e-3;
            if (end == t.c_str() || scale == 0 || !std::isfinite(v) || std::fabs(v * scale) > 10)
                fail(join(p, "offset"),
                     "\"" + t + "\" is not an offset in " + base + " or m" + base + " within 10 " + base);
            m.analogError[i].offset = v * scale;
        }
    }
}

// "2.1.0.7" and, optionally, "2026-03-02 09:15:00" as a version record.
FirmwareVersion parseFirmwareVersion(const json& j, const std::string& path) {
    allowKeys(j, path, {"version", "built"});
    FirmwareVersion v;
    if (!j.contains("version")) fail(path, "missing \"version\"");
    const std::string s = text(j["version"], join(path, "version"));
    unsigned a = 0, b = 0, c = 0, d = 0;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4 || a > 255 || b > 255 ||
        c > 65535 || d > 65535)
        fail(join(path, "version"), "\"" + s + "\" is not a version a.b.c.d");
    v.major = static_cast<uint8_t>(a);
    v.minor = static_cast<uint8_t>(b);
    v.third = static_cast<uint16_t>(c);
    v.fourth = static_cast<uint16_t>(d);
    if (j.contains("built")) {
        const std::string t = text(j["built"], join(path, "built"));
        unsigned y = 0, mo = 0, da = 0, h = 0, mi = 0, se = 0;
        if (std::sscanf(t.c_str(), "%u-%u-%u %u:%u:%u%c", &y, &mo, &da, &h, &mi, &se, &tail) != 6 || y < 1 ||
            y > 65535 || mo < 1 || mo > 12 || da < 1 || da > 31 || h > 23 || mi > 59 || se > 59)
            fail(join(path, "built"), "\"" + t + "\" is not a time YYYY-MM-DD hh:mm:ss");
        v.year = static_cast<uint16_t>(y);
        v.month = static_cast<uint8_t>(mo);
        v.day = static_cast<uint8_t>(da);
        v.hour = static_cast<uint8_t>(h);
        v.minute = static_cast<uint8_t>(mi);
        v.second = static_cast<uint8_t>(se);
    }
    return v;
}

// The module processor and its two firmwares; a dsPIC30F4011 with boot loader 1.4.0.0 and
// application 2.0.0.0 unless the scenario says otherwise.
void parseBootFirmware(const json& j, const std::string& path, ModuleDef& m) {
    BootFirmwareDef& b = m.bootFirmware;
    b.processor = *processorByName("dsPIC30F4011");
    b.bootLoader.major = 1;
    b.bootLoader.minor = 4;
    b.application = FirmwareVersion{};
    b.application->major = 2;
    b.seed = getU32(m.system.data());
    if (j.contains("processor")) {
        const std::string name = text(j["processor"], join(path, "processor"));
        const auto model = processorByName(name);
        if (!model)
            fail(join(path, "processor"),
                 "unknown processor \"" + name + "\" (dsPIC30F4011, dsPIC30F4013, dsPIC30F3012)");
        b.processor = *model;
    }
    if (j.contains("bootLoader"))
        b.bootLoader = parseFirmwareVersion(j["bootLoader"], join(path, "bootLoader"));
    if (j.contains("application")) {
        const std::string p = join(path, "application");
        const json& a = j["application"];
        if (a.is_string() && a.get<std::string>() == "none") {
            b.application.reset();
        } else {
            json version = a;
            if (a.is_object() && a.contains("rows")) {
                b.applicationRows = static_cast<int>(integer(a["rows"], join(p, "rows"), 4, 200));
                version.erase("rows");
            }
            b.application = parseFirmwareVersion(version, p);
        }
    }
    if (j.contains("running")) {
        const std::string r = text(j["running"], join(path, "running"));
        if (r != "bootloader" && r != "application")
            fail(join(path, "running"), "expected bootloader or application");
        b.startInBootLoader = r == "bootloader";
    }
}

ModuleDef parseModule(const json& j, const std::string& path, int controllerType) {
    allowKeys(j, path,
              {"channel", "serialNumber", "firmware", "system", "user", "on", "cableOhms", "ambientC",
               "heatCPerW", "temperatures", "cacheWords", "statusBits", "processor", "bootLoader",
               "application", "running", "jovaInputs", "analogError"});
    ModuleDef m;
    if (!j.contains("channel")) fail(path, "missing \"channel\"");
    m.channel = static_cast<int>(integer(j["channel"], join(path, "channel"), 0, 126));
    std::set<std::string> sysGiven, userGiven;
    if (j.contains("system")) parseSystem(j["system"], join(path, "system"), m, sysGiven);
    if (j.contains("serialNumber")) {
        if (sysGiven.count("serialNumber")) fail(join(path, "serialNumber"), "also given in system");
        putU32(m.system.data(),
               static_cast<uint32_t>(integer(j["serialNumber"], join(path, "serialNumber"), 1, 0xFFFFFFFF)));
        sysGiven.insert("serialNumber");
    }
    if (!sysGiven.count("serialNumber")) fail(path, "missing \"serialNumber\"");
    applySystemDefaults(m, sysGiven);  // exponents and limits before the user values that use them
    const bool wdx = controllerType == 17;
    if (j.contains("user")) parseUser(j["user"], join(path, "user"), m, wdx, userGiven);
    applyUserDefaults(m, userGiven, wdx);
    if (wdx) wdxGains(m, path, userGiven);
    if (j.contains("firmware")) parseFirmware(j["firmware"], join(path, "firmware"), m);
    if (j.contains("on")) m.on = boolean(j["on"], join(path, "on"));
    if (j.contains("cableOhms")) m.cableOhms = number(j["cableOhms"], join(path, "cableOhms"), 0, 1000);
    if (j.contains("ambientC")) m.ambientC = number(j["ambientC"], join(path, "ambientC"), -50, 200);
    if (j.contains("heatCPerW")) m.heatCPerW = number(j["heatCPerW"], join(path, "heatCPerW"), 0, 100);
    if (j.contains("temperatures")) {
        const std::string p = join(path, "temperatures");
        const json& a = arrayAt(j["temperatures"], p);
        if (a.size() != 8) fail(p, "expected 8 temperatures");
        for (size_t i = 0; i < 8; ++i)
            m.boardTemperatures[i] = static_cast<int16_t>(integer(a[i], join(p, i), -32768, 32767));
    }
    if (j.contains("cacheWords")) {
        const std::string p = join(path, "cacheWords");
        const json& a = arrayAt(j["cacheWords"], p);
        if (a.size() != 2) fail(p, "expected two words");
        m.cacheWordLow = static_cast<uint16_t>(integer(a[0], join(p, 0), 0, 0xFFFF));
        m.cacheWordHigh = static_cast<uint16_t>(integer(a[1], join(p, 1), 0, 0xFFFF));
    }
    if (j.contains("statusBits"))
        m.extraStatus = static_cast<uint16_t>(integer(j["statusBits"], join(path, "statusBits"), 0, 0xFFFF));
    if (j.contains("jovaInputs"))
        m.jovaInputs = static_cast<uint32_t>(integer(j["jovaInputs"], join(path, "jovaInputs"), 0, 0x3FFFF));
    if (j.contains("analogError")) parseAnalogError(j["analogError"], join(path, "analogError"), m);
    parseBootFirmware(j, path, m);
    return m;
}

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

FaultRule parseFault(const json& j, const std::string& path) {
    allowKeys(j, path,
              {"kind", "channel", "operation", "address", "field", "after", "everyNth", "count",
               "probability", "code", "bytes", "delayMs"});
    FaultRule r;
    if (!j.contains("kind")) fail(path, "missing \"kind\"");
    const auto kind = faultKindFromName(text(j["kind"], join(path, "kind")));
    if (!kind)
        fail(join(path, "kind"),
             "unknown fault kind (noReply, shortReply, corruptCheck, moduleError, refuse, writeFail, slow, "
             "corruptBuffer, moduleSilent, "
             "noSuchObject, noSuchInstance, endOfMibView, wrongRequestId, versionZero, malformedBer, "
             "garbage)");
    r.kind = *kind;
    if (j.contains("channel")) {
        const std::string p = join(path, "channel");
        if (j["channel"].is_string() && j["channel"].get<std::string>() == "controller")
            r.channel = 255;
        else
            r.channel = static_cast<int>(integer(j["channel"], p, 0, 126));
    }
    if (j.contains("operation")) {
        const std::string p = join(path, "operation");
        const auto op = operationFromName(text(j["operation"], p).c_str());
        if (!op)
            fail(p,
                 "unknown operation (readShort, readAddr, writeShort, writeAddr, writeReply, assign, probe)");
        r.operation = op;
    }
    if (j.contains("address") && j.contains("field")) fail(path, "give either \"address\" or \"field\"");
    if (j.contains("address"))
        r.address = static_cast<uint32_t>(integer(j["address"], join(path, "address"), 0, 0x3FFFF));
    if (j.contains("field")) {
        // "user.Unom" or "system.maxUnom": the command address of that parameter.
        const std::string p = join(path, "field");
        const std::string f = text(j["field"], p);
        const size_t dot = f.find('.');
        const std::string block = f.substr(0, dot);
        const std::string name = dot == std::string::npos ? "" : f.substr(dot + 1);
        std::optional<Field> field;
        uint32_t base = 0;
        if (block == "user") {
            field = findField(userFields(), name);
            if (!field) field = findField(userFloatFields(), name);
            base = kUserBase;
        } else if (block == "system") {
            field = name == "exponent" ? findField(systemFields(), "voltageExponent")
                                       : findField(systemFields(), name);
            base = kSystemBase;
        }
        if (!field) fail(p, "unknown parameter \"" + f + "\" (write user.NAME or system.NAME)");
        r.address = kCommandSpace + base + field->offset;
    }
    if (j.contains("after"))
        r.after = static_cast<int>(integer(j["after"], join(path, "after"), 0, 1000000000));
    if (j.contains("everyNth"))
        r.everyNth = static_cast<int>(integer(j["everyNth"], join(path, "everyNth"), 1, 1000000000));
    if (j.contains("count"))
        r.count = static_cast<int>(integer(j["count"], join(path, "count"), 0, 1000000000));
    if (j.contains("probability")) r.probability = number(j["probability"], join(path, "probability"), 0, 1);
    if (j.contains("code")) r.code = static_cast<uint16_t>(integer(j["code"], join(path, "code"), 1, 0xFFFF));
    if (j.contains("bytes")) r.bytes = static_cast<int>(integer(j["bytes"], join(path, "bytes"), 1, 64));
    if (j.contains("delayMs"))
        r.delayMs = static_cast<int>(integer(j["delayMs"], join(path, "delayMs"), 0, 600000));
    return r;
}

// The modules and loads of an object, in the record layout of the crate's controller.
void parseModulesAndLoads(const json& j, const std::string& path, CrateDef& crate) {
    if (j.contains("modules")) {
        crate.modules.clear();
        const std::string p = join(path, "modules");
        const json& a = arrayAt(j["modules"], p);
        std::set<int> channels;
        std::set<uint32_t> serials;
        for (size_t i = 0; i < a.size(); ++i) {
            ModuleDef m = parseModule(a[i], join(p, i), crate.controller.type);
            if (!channels.insert(m.channel).second)
                fail(join(p, i), "channel " + std::to_string(m.channel) + " used twice");
            if (!serials.insert(getU32(m.system.data())).second) fail(join(p, i), "serial number used twice");
            crate.modules.push_back(std::move(m));
        }
    }
    if (j.contains("loads")) {
        const std::string p = join(path, "loads");
        const json& a = arrayAt(j["loads"], p);
        for (size_t i = 0; i < a.size(); ++i) {
            const std::string q = join(p, i);
            allowKeys(a[i], q, {"channel", "ohms", "switchOhms", "switchPeriodMs"});
            if (!a[i].contains("channel") || !a[i].contains("ohms"))
                fail(q, "needs \"channel\" and \"ohms\"");
            const int ch = static_cast<int>(integer(a[i]["channel"], join(q, "channel"), 0, 126));
            const double ohms = number(a[i]["ohms"], join(q, "ohms"), 1e-6, 1e9);
            // A switching load: the second resistance and the period it alternates with.
            if (a[i].contains("switchOhms") != a[i].contains("switchPeriodMs"))
                fail(q, "a switching load needs both \"switchOhms\" and \"switchPeriodMs\"");
            double switchOhms = 0;
            int64_t periodUs = 0;
            if (a[i].contains("switchOhms")) {
                switchOhms = number(a[i]["switchOhms"], join(q, "switchOhms"), 1e-6, 1e9);
                periodUs = static_cast<int64_t>(std::llround(
                    1000 * number(a[i]["switchPeriodMs"], join(q, "switchPeriodMs"), 0.01, 1e6)));
            }
            bool found = false;
            for (ModuleDef& m : crate.modules)
                if (m.channel == ch) {
                    m.loadOhms = ohms;
                    m.switchOhms = switchOhms;
                    m.switchPeriodUs = periodUs;
                    found = true;
                }
            if (!found) fail(join(q, "channel"), "no module at channel " + std::to_string(ch));
        }
    }
}

// The crate parts of an object besides its modules and loads: controller, faults, seed.
void parseCrateSettings(const json& j, const std::string& path, CrateDef& crate) {
    if (j.contains("seed"))
        crate.seed = static_cast<uint32_t>(integer(j["seed"], join(path, "seed"), 0, 0xFFFFFFFF));
    if (j.contains("controller"))
        crate.controller = parseController(j["controller"], join(path, "controller"));
    if (j.contains("faults")) {
        crate.faults.clear();
        const std::string p = join(path, "faults");
        const json& a = arrayAt(j["faults"], p);
        // Every exchange walks the rules: their number bounds the cost of each one.
        if (a.size() > kMaxFaultRules) fail(p, "at most " + std::to_string(kMaxFaultRules) + " fault rules");
        for (size_t i = 0; i < a.size(); ++i) crate.faults.push_back(parseFault(a[i], join(p, i)));
    }
}

// A bridge that does not name its own modules takes the shared ones, read in the record layout of
// its own controller (a WDX keeps other fields than a KRAT).
BridgeDef parseBridge(const json& j, const std::string& path, const CrateDef& shared, const json& root,
                      bool& tookSharedModules) {
    allowKeys(j, path,
              {"serial", "description", "vid", "pid", "busy", "plugged", "seed", "controller", "modules",
               "loads", "faults"});
    BridgeDef b;
    b.crate = shared;
    if (!j.contains("serial")) fail(path, "missing \"serial\"");
    b.info.serial = text(j["serial"], join(path, "serial"));
    if (b.info.serial.empty() || b.info.serial.size() > 255)
        fail(join(path, "serial"), "must be 1 to 255 characters");
    if (j.contains("description")) b.info.description = text(j["description"], join(path, "description"));
    b.info.vid = j.contains("vid") ? hexId(j["vid"], join(path, "vid")) : "1A2B";
    b.info.pid = j.contains("pid") ? hexId(j["pid"], join(path, "pid")) : "0012";
    if (j.contains("busy")) b.info.busy = boolean(j["busy"], join(path, "busy"));
    if (j.contains("plugged")) b.plugged = boolean(j["plugged"], join(path, "plugged"));
    // A bridge that names its own modules or loads starts from its own module list.
    if (j.contains("loads") && !j.contains("modules"))
        fail(join(path, "loads"), "give \"modules\" beside \"loads\"");
    parseCrateSettings(j, path, b.crate);
    if (j.contains("modules")) {
        parseModulesAndLoads(j, path, b.crate);
    } else {
        parseModulesAndLoads(root, "$", b.crate);
        tookSharedModules = true;
    }
    return b;
}

// Where the JSON reader is in the text, as a path like $.modules[2].user.Unom: for the errors the
// library reports without one (a number beyond a double), and to refuse a key given twice in one
// object, of which the library would silently keep the last.
class JsonPathTracker {
  public:
    bool operator()(int, json::parse_event_t event, json& parsed) {
        using Event = json::parse_event_t;
        switch (event) {
            case Event::object_start:
            case Event::array_start:
                frames_.push_back({event == Event::array_start, path(), 0, {}, {}});
                break;
            case Event::key: {
                Frame& f = frames_.back();
                f.key = parsed.get<std::string>();
                if (!f.keys.insert(f.key).second) fail(path(), "key given twice");
                break;
            }
            case Event::value:
                next();
                break;
            case Event::object_end:
            case Event::array_end:
                frames_.pop_back();
                next();
                break;
        }
        return true;
    }

    // The value being read now.
    std::string path() const {
        if (frames_.empty()) return "$";
        const Frame& f = frames_.back();
        return f.array ? join(f.path, f.index) : join(f.path, f.key);
    }

  private:
    void next() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    }

    struct Frame {
        bool array;
        std::string path;
        size_t index;
        std::string key;
        std::set<std::string> keys;
    };
    std::vector<Frame> frames_;
};

// The shape of the text before the JSON reader builds anything from it, in one pass: its size, how
// deep it nests and how long its arrays are. Scenarios are small; a text beyond these bounds is no
// scenario, and refusing it early keeps the reader's time and memory linear and small.
std::optional<std::string> shapeError(const std::string& text) {
    if (text.size() > kMaxScenarioBytes)
        return "$: larger than " + std::to_string(kMaxScenarioBytes / 1024) + " KiB, no scenario is that long";
    struct Level {
        bool array;
        size_t elements;
        bool empty;
    };
    std::vector<Level> levels;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (!levels.empty() && levels.back().empty && c != ' ' && c != '\t' && c != '\n' && c != '\r' &&
            c != ']' && c != '}') {
            levels.back().empty = false;
            levels.back().elements = 1;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (levels.size() >= kMaxScenarioDepth)
                    return "$: nested more than " + std::to_string(kMaxScenarioDepth) + " levels deep";
                levels.push_back({c == '[', 0, true});
                break;
            case ']':
            case '}':
                if (!levels.empty()) levels.pop_back();
                break;
            case ',':
                if (!levels.empty() && levels.back().array && ++levels.back().elements > kMaxArrayElements)
                    return "$: an array of more than " + std::to_string(kMaxArrayElements) + " elements";
                break;
            default:
                break;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Scenario> parseScenario(const std::string& jsonText, std::string& error) {
    if (auto shape = shapeError(jsonText)) {
        error = *shape;
        return std::nullopt;
    }
    JsonPathTracker where;
    try {
        const json root = json::parse(jsonText, [&where](int depth, json::parse_event_t event, json& parsed) {
            return where(depth, event, parsed);
        });
        allowKeys(root, "$",
                  {"seed", "controller", "modules", "loads", "faults", "bridges", "comment", "stateFile",
                   "keepOutputsOn"});
        CrateDef shared;
        parseCrateSettings(root, "$", shared);
        if (!root.contains("bridges")) fail("$", "missing \"bridges\"");
        const json& a = arrayAt(root["bridges"], "$.bridges");
        if (a.empty()) fail("$.bridges", "at least one bridge is needed");
        Scenario s;
        std::set<std::string> serials;
        bool sharedModulesRead = false;
        for (size_t i = 0; i < a.size(); ++i) {
            BridgeDef b =
                parseBridge(a[i], join(std::string("$.bridges"), i), shared, root, sharedModulesRead);
            if (!serials.insert(b.info.serial).second)
                fail(join(std::string("$.bridges"), i), "serial used twice");
            s.bridges.push_back(std::move(b));
        }
        // Shared modules no bridge takes are still checked, so that no error in them goes unseen.
        if (!sharedModulesRead) parseModulesAndLoads(root, "$", shared);
        if (root.contains("stateFile")) {
            if (!root["stateFile"].is_string() || root["stateFile"].get<std::string>().empty())
                fail("$.stateFile", "expected a file name");
            s.stateFile = root["stateFile"].get<std::string>();
        }
        if (root.contains("keepOutputsOn")) {
            if (!root["keepOutputsOn"].is_boolean()) fail("$.keepOutputsOn", "expected true or false");
            s.keepOutputsOn = root["keepOutputsOn"].get<bool>();
        }
        return s;
    } catch (const json::parse_error& e) {
        error = std::string("not valid JSON: ") + e.what();
    } catch (const json::out_of_range& e) {
        // 406: a number too large for a double, met while reading the text.
        const std::string what = e.what();
        const size_t text = what.find("] ");
        error = e.id == 406 ? where.path() + ": " + (text == std::string::npos ? what : what.substr(text + 2))
                            : std::string("scenario: ") + what;
    } catch (const ParseError& e) {
        error = e.what();
    } catch (const json::exception& e) {
        error = std::string("scenario: ") + e.what();
    }
    return std::nullopt;
}

}  // namespace vsim
