// A scenario's modules: their records, firmware, processor and analogue errors.
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
#include "sim/scenario_sections.h"

namespace vsim::scenario_read {
namespace {

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

}  // namespace

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

}  // namespace vsim::scenario_read
