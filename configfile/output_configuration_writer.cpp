// Writing one channel into the configuration document. Physical values use the channel's own
// exponents, so a file can be applied to modules whose exponents differ.
#include <cstdio>

#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/firmware_version.h"
#include "configfile/config_file_names.h"
#include "configfile/module_file_io.h"
#include "configfile/xml_attributes.h"
#include "configfile/xml_element_paths.h"

namespace vz {
namespace {

using xercesc::DOMElement;

class ChannelWriter {
  public:
    explicit ChannelWriter(const QOR& q) : q_(q), full_(cfgnames::fullFieldSet(controllerType)) {}

    void calibration(DOMElement* e) const {
        const MODULE_SYSTEM_CONFIG_DATA& s = q_.system();
        if (full_) {
            setUIntAttribute(e, "serialNumber", s.serialNumber);
            setIntAttribute(e, "voltageExponent", s.voltageExponent);
            setIntAttribute(e, "currentExponent", s.currentExponent);
            volts(e, "pwmOffset", s.pwmOffset);
            setIntAttribute(e, "pwmMaxOnTime", s.pwmMaxOnTime);
            setIntAttribute(e, "pwmMinPeriod", s.pwmMinPeriod);
        }
        gainOffset(e, "calIMod", s.calIModGain, amperesOf(s.calIModOffset));
        gainOffset(e, "calUSen", s.calUSenGain, voltsOf(s.calUSenOffset));
        if (!full_) return;
        gainOffset(e, "calUMod", s.calUModGain, voltsOf(s.calUModOffset));
        gainOffset(e, "calUSet", s.calUSetGain, voltsOf(s.calUSetOffset));
        gainOffset(e, "calUInt", s.calUIntGain, voltsOf(s.calUIntOffset));
        gainOffset(e, "calISet", s.calISetGain, amperesOf(s.calISetOffset));
    }

    void configuration(DOMElement* e) const {
        const MODULE_SYSTEM_CONFIG_DATA& s = q_.system();
        if (full_) {
            setIntAttribute(e, "idModule", s.idModule);
            setIntAttribute(e, "phase", s.phase);
            volts(e, "maxUnom", s.maxUnom);
            amperes(e, "maxInom", s.maxInom);
            volts(e, "maxUModule", s.maxUTerminal);
            setIntAttribute(e, "maxTemperature", s.maxTemperature);
        }
        volts(e, "maxUSense", s.maxUSense);
        amperes(e, "maxCurrent", s.maxCurrent);
        setIntAttribute(e, "maxPower", s.maxPower);
        if (cfgnames::wdxController(controllerType)) {
            setDoubleAttribute(e, "ugain", q_.user().ugain());
            setDoubleAttribute(e, "igain", q_.user().igain());
        }
        if (full_) bits(getOrCreateChild(e, "Flags"), cfgnames::kSystemFlags, s.flags);
    }

    void user(DOMElement* e) const {
        const MODULE_USER_CONFIG_DATA& u = q_.user();
        setIntAttribute(e, "idGroup", u.idGroup);
        volts(e, "minUSense", u.minUSense);
        volts(e, "maxUSense", u.maxUSense);
        amperes(e, "maxCurrent", u.maxCurrent);
        setIntAttribute(e, "maxPower", u.maxPower);
        setIntAttribute(e, "maxTimeout", u.maxTimeout);
        if (full_) {
            volts(e, "maxUModule", u.maxUModule);
            setIntAttribute(e, "maxTemperature", u.maxTemperature);
            volts(e, "unom", u.Unom);
            amperes(e, "inom", u.Inom);
            setIntAttribute(e, "rampUp", u.rampUp);
            setIntAttribute(e, "rampDown", u.rampDown);
        }
        DOMElement* actions = getOrCreateChild(e, "ErrorAction");
        for (const auto& a : cfgnames::kErrorActions)
            setIntAttribute(actions, a.name, static_cast<int>((u.errorAction >> a.bit) & 3u));
        if (!full_) return;
        bits(getOrCreateChild(e, "Flags"), cfgnames::kUserFlags, u.flags);
        DOMElement* delays = getOrCreateChild(e, "SupervisionDelay");
        const SupervisionDelayData& d = u.SupervisionDelays;
        setIntAttribute(delays, "minUSense", d.minUSense);
        setIntAttribute(delays, "maxUSense", d.maxUSense);
        setIntAttribute(delays, "maxUModule", d.maxUModule);
        setIntAttribute(delays, "maxCurrent", d.maxCurrent);
        setIntAttribute(delays, "temperature", d.maxTemperature);
        setIntAttribute(delays, "power", d.maxPower);
    }

  private:
    double voltsOf(int16_t raw) const { return q_.voltageFromRaw(raw); }
    double amperesOf(int16_t raw) const { return q_.currentFromRaw(raw); }
    void volts(DOMElement* e, const char* name, int16_t raw) const {
        setDoubleAttribute(e, name, voltsOf(raw));
    }
    void amperes(DOMElement* e, const char* name, int16_t raw) const {
        setDoubleAttribute(e, name, amperesOf(raw));
    }
    static void gainOffset(DOMElement* parent, const char* name, uint16_t gain, double offset) {
        DOMElement* e = getOrCreateChild(parent, name);
        setIntAttribute(e, "gain", gain);
        setDoubleAttribute(e, "offset", offset);
    }
    template <std::size_t N>
    static void bits(DOMElement* e, const cfgnames::BitName (&names)[N], uint32_t word) {
        for (const auto& b : names) setUIntAttribute(e, b.name, (word >> b.bit) & 1u);
    }

    const QOR& q_;
    bool full_;
};

}  // namespace

bool MODULE_FILE_IO::writeOutputConfiguration(int n) {
    if (!channelPresent(n) || !document_.root()) return false;
    QOR& q = channelTable.channels[static_cast<std::size_t>(n)];
    char path[32];
    std::snprintf(path, sizeof path, "Output.U%d", n);
    DOMElement* output = document_.getOrCreatePath(path);

    char version[33];
    firmwareVersionText(q.firmware(), version, sizeof version);
    setAttributeText(output, "firmwareVersion", version);
    if (!q.configurable()) return true;

    // The file shows what the module holds now; a failed read leaves the last known copy.
    q.system().readFromModule();
    q.user().readFromModule();

    const ChannelWriter writer(q);
    writer.calibration(getOrCreateChild(output, "Calibration"));
    writer.configuration(getOrCreateChild(output, "Configuration"));
    writer.user(getOrCreateChild(output, "User"));
    return true;
}

}  // namespace vz
