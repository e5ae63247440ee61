// Applying one channel of the configuration document to a channel of the power supply. Every
// present attribute goes to the module through its setter; absent ones are left alone. The exponents
// come first, because they change the meaning of every voltage and current that follows.
#include <bit>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include "base/debug_log.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "configfile/config_file_names.h"
#include "configfile/module_file_io.h"
#include "configfile/xml_attributes.h"
#include "configfile/xml_element_paths.h"
#include "configfile/xml_text.h"

namespace vz {
namespace {

using xercesc::DOMElement;

class ChannelReader {
  public:
    ChannelReader(QOR& q, std::string path, OutputApplyCounts& counts)
        : q_(q), path_(std::move(path)), full_(cfgnames::fullFieldSet(controllerType)), counts_(counts) {}

    DOMElement* part(const DOMElement* output, const char* name) const {
        DOMElement* e = findChild(output, name);
        if (!e) debugLog(kLogWarning, "Configuration file: Missing Node \"%s.%s\"", path_.c_str(), name);
        return e;
    }

    // ugain and igain of a WDX module.
    void gains(const DOMElement* e) const {
        double value = 0;
        if (getDoubleAttribute(e, "ugain", value)) gain(e, "ugain", value, true);
        if (getDoubleAttribute(e, "igain", value)) gain(e, "igain", value, false);
    }

    void calibration(const DOMElement* e) const {
        MODULE_SYSTEM_CONFIG& s = q_.system();
        if (full_) {
            int voltage = s.voltageExponent;
            int current = s.currentExponent;
            getIntAttribute(e, "voltageExponent", voltage);
            getIntAttribute(e, "currentExponent", current);
            tally(s.setExponent(static_cast<uint16_t>((voltage & 0xFF) | ((current & 0xFF) << 8))));
            volts(e, "pwmOffset", [&](int16_t v) { return s.setPwmOffset(v); });
            integer(e, "pwmMaxOnTime", [&](int v) { return s.setPwmMaxOnTime(static_cast<uint16_t>(v)); });
            integer(e, "pwmMinPeriod", [&](int v) { return s.setPwmMinPeriod(static_cast<uint16_t>(v)); });
        }
        gainOffset(e, "calIMod", false, &MODULE_SYSTEM_CONFIG::setCalIModGain,
                   &MODULE_SYSTEM_CONFIG::setCalIModOffset);
        gainOffset(e, "calUSen", true, &MODULE_SYSTEM_CONFIG::setCalUSenGain,
                   &MODULE_SYSTEM_CONFIG::setCalUSenOffset);
        if (!full_) return;
        gainOffset(e, "calUMod", true, &MODULE_SYSTEM_CONFIG::setCalUModGain,
                   &MODULE_SYSTEM_CONFIG::setCalUModOffset);
        gainOffset(e, "calUSet", true, &MODULE_SYSTEM_CONFIG::setCalUSetGain,
                   &MODULE_SYSTEM_CONFIG::setCalUSetOffset);
        gainOffset(e, "calUInt", true, &MODULE_SYSTEM_CONFIG::setCalUIntGain,
                   &MODULE_SYSTEM_CONFIG::setCalUIntOffset);
        gainOffset(e, "calISet", false, &MODULE_SYSTEM_CONFIG::setCalISetGain,
                   &MODULE_SYSTEM_CONFIG::setCalISetOffset);
    }

    void configuration(const DOMElement* e) const {
        MODULE_SYSTEM_CONFIG& s = q_.system();
        if (full_) {
            integer(e, "phase", [&](int v) { return s.setPhase(static_cast<uint16_t>(v)); });
            volts(e, "maxUnom", [&](int16_t v) { return s.setMaxUnom(v); });
            amperes(e, "maxInom", [&](int16_t v) { return s.setMaxInom(v); });
            volts(e, "maxUModule", [&](int16_t v) { return s.setMaxUTerminal(v); });
            integer(e, "maxTemperature", [&](int v) { return s.setMaxTemperature(static_cast<int16_t>(v)); });
        }
        volts(e, "maxUSense", [&](int16_t v) { return s.setMaxUSense(v); });
        amperes(e, "maxCurrent", [&](int16_t v) { return s.setMaxCurrent(v); });
        integer(e, "maxPower", [&](int v) { return s.setMaxPower(static_cast<uint16_t>(v)); });
        if (!full_) return;
        if (const DOMElement* flags = findChild(e, "Flags"))
            tally(s.setFlags(withBits(flags, cfgnames::kSystemFlags, s.flags)));
    }

    void user(const DOMElement* e) const {
        MODULE_USER_CONFIG& u = q_.user();
        integer(e, "idGroup", [&](int v) { return u.setIdGroup(static_cast<uint16_t>(v)); });
        volts(e, "minUSense", [&](int16_t v) { return u.setMinUSense(v); });
        volts(e, "maxUSense", [&](int16_t v) { return u.setMaxUSense(v); });
        amperes(e, "maxCurrent", [&](int16_t v) { return u.setMaxCurrent(v); });
        integer(e, "maxPower", [&](int v) { return u.setMaxPower(static_cast<uint16_t>(v)); });
        integer(e, "maxTimeout", [&](int v) { return u.setMaxTimeout(static_cast<uint16_t>(v)); });
        if (full_) {
            volts(e, "maxUModule", [&](int16_t v) { return u.setMaxUModule(v); });
            integer(e, "maxTemperature", [&](int v) { return u.setMaxTemperature(static_cast<int16_t>(v)); });
            volts(e, "unom", [&](int16_t v) { return u.setUnom(v); });
            amperes(e, "inom", [&](int16_t v) { return u.setInom(v); });
            integer(e, "rampUp", [&](int v) { return u.setRampUp(static_cast<uint16_t>(v)); });
            integer(e, "rampDown", [&](int v) { return u.setRampDown(static_cast<uint16_t>(v)); });
        }
        if (const DOMElement* actions = findChild(e, "ErrorAction")) {
            uint32_t word = u.errorAction;
            for (const auto& a : cfgnames::kErrorActions) {
                int code = 0;
                if (getIntAttribute(actions, a.name, code))
                    word = (word & ~(3u << a.bit)) | ((static_cast<uint32_t>(code) & 3u) << a.bit);
            }
            tally(u.setErrorAction(static_cast<uint16_t>(word)));
        }
        if (!full_) return;
        if (const DOMElement* flags = findChild(e, "Flags"))
            tally(u.setFlags(static_cast<uint16_t>(withBits(flags, cfgnames::kUserFlags, u.flags))));
        if (const DOMElement* d = findChild(e, "SupervisionDelay")) {
            auto delay = [&](const char* name, bool (MODULE_USER_CONFIG::*set)(uint16_t)) {
                integer(d, name, [&](int v) { return (u.*set)(static_cast<uint16_t>(v)); });
            };
            delay("minUSense", &MODULE_USER_CONFIG::setDelayMinUSense);
            delay("maxUSense", &MODULE_USER_CONFIG::setDelayMaxUSense);
            delay("maxUModule", &MODULE_USER_CONFIG::setDelayMaxUModule);
            delay("maxCurrent", &MODULE_USER_CONFIG::setDelayMaxCurrent);
            delay("temperature", &MODULE_USER_CONFIG::setDelayMaxTemperature);
            delay("power", &MODULE_USER_CONFIG::setDelayMaxPower);
        }
    }

  private:
    // Every setter's result is counted: a caller must be able to tell a read that changed nothing,
    // or one the module refused in part, from one that was applied.
    void tally(bool accepted) const { ++(accepted ? counts_.written : counts_.refused); }

    void integer(const DOMElement* e, const char* name, const std::function<bool(int)>& apply) const {
        int value = 0;
        if (getIntAttribute(e, name, value)) tally(apply(value));
    }
    // Converted with the channel's exponents as they are at this moment.
    void volts(const DOMElement* e, const char* name, const std::function<bool(int16_t)>& apply) const {
        double value = 0;
        if (getDoubleAttribute(e, name, value)) tally(apply(q_.voltageToRaw(value)));
    }
    void amperes(const DOMElement* e, const char* name, const std::function<bool(int16_t)>& apply) const {
        double value = 0;
        if (getDoubleAttribute(e, name, value)) tally(apply(q_.currentToRaw(value)));
    }

    using GainSetter = bool (MODULE_SYSTEM_CONFIG::*)(uint16_t);
    using OffsetSetter = bool (MODULE_SYSTEM_CONFIG::*)(int16_t);
    void gainOffset(const DOMElement* calibration, const char* name, bool voltage, GainSetter setGain,
                    OffsetSetter setOffset) const {
        const DOMElement* e = findChild(calibration, name);
        if (!e) return;
        MODULE_SYSTEM_CONFIG& s = q_.system();
        integer(e, "gain", [&](int v) { return (s.*setGain)(static_cast<uint16_t>(v)); });
        const auto offset = [&](int16_t v) { return (s.*setOffset)(v); };
        voltage ? volts(e, "offset", offset) : amperes(e, "offset", offset);
    }

    template <std::size_t N>
    static uint32_t withBits(const DOMElement* e, const cfgnames::BitName (&names)[N], uint32_t word) {
        for (const auto& b : names) {
            int value = 0;
            if (getIntAttribute(e, b.name, value))
                word = (word & ~(1u << b.bit)) | ((static_cast<uint32_t>(value) & 1u) << b.bit);
        }
        return word;
    }

    // The module takes a single-precision gain; the channel's local exponent follows the gain's own
    // binary exponent so that the raw readings scale with it (not written to the module).
    void gain(const DOMElement* e, const char* name, double value, bool voltage) const {
        if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
            debugLog(kLogWarning, "Configuration File: Branch \"%s\" Attribut \"%s\": bad double value",
                     nativeText(e->getTagName()).c_str(), name);
            return;
        }
        const float narrowed = static_cast<float>(value);
        MODULE_USER_CONFIG& u = q_.user();
        const bool accepted = voltage ? u.setUgain(narrowed) : u.setIgain(narrowed);
        tally(accepted);
        if (!accepted) return;
        const unsigned biased = (std::bit_cast<uint32_t>(narrowed) >> 23) & 0xFFu;
        MODULE_SYSTEM_CONFIG& s = q_.system();
        if (voltage)
            s.voltageExponent = static_cast<int8_t>(static_cast<uint8_t>(biased + 0x77));
        else
            s.currentExponent = static_cast<int8_t>(static_cast<uint8_t>(biased + 0x76));
    }

    QOR& q_;
    std::string path_;
    bool full_;
    OutputApplyCounts& counts_;
};

}  // namespace

bool MODULE_FILE_IO::readOutputConfiguration(int a, int b, OutputApplyCounts* counts) {
    OutputApplyCounts ignored;
    OutputApplyCounts& tally = counts ? *counts : ignored;
    tally = {};
    debugLog(kLogInfo,
             "MODULE_FILE_IO::readOutputConfiguration: configOutputNumber U%d -> realOutputNumber U%d", a, b);
    if (!channelPresent(b)) return false;
    QOR& q = channelTable.channels[static_cast<std::size_t>(b)];
    if (!q.configurable()) {
        debugLog(kLogInfo, "Skipping U%d due to noQNL flag", b);
        tally.notConfigurable = true;
        return true;
    }
    // Partial fields (flags, error actions) are merged into what the module holds now.
    q.system().readFromModule();
    q.user().readFromModule();

    char path[32];
    std::snprintf(path, sizeof path, "Output.U%d", a);
    const DOMElement* output = document_.findPath(path);
    if (!output) {
        debugLog(kLogError, "Configuration file: Missing Node \"%s\"", path);
        return false;
    }
    const ChannelReader reader(q, path, tally);
    const ConfigReadOptions& o = readOptions;
    const bool wdx = cfgnames::wdxController(controllerType);
    if (o.outputConfig) {
        if (const DOMElement* user = reader.part(output, "User"); user && wdx) reader.gains(user);
        if (const DOMElement* config = reader.part(output, "Configuration"); config && wdx)
            reader.gains(config);
    }
    if (o.outputCalib) {
        if (const DOMElement* calibration = reader.part(output, "Calibration"))
            reader.calibration(calibration);
    }
    if (o.outputConfig) {
        if (const DOMElement* config = reader.part(output, "Configuration")) reader.configuration(config);
    }
    if (o.outputUser) {
        if (const DOMElement* user = reader.part(output, "User")) reader.user(user);
    }
    return true;
}

}  // namespace vz
