// Applying one channel of the configuration document to a channel of the power supply, field by field
// from the file description. Every present attribute goes to the module through its parameter's
// setter; absent ones are left alone.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "base/debug_log.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/parameter_access.h"
#include "configfile/module_file_io.h"
#include "configfile/output_file_fields.h"
#include "configfile/xml_attributes.h"
#include "configfile/xml_element_paths.h"
#include "configfile/xml_text.h"

namespace vz {
namespace {

using xercesc::DOMElement;

class ChannelReader {
  public:
    ChannelReader(QOR& q, std::string path, OutputApplyCounts& counts)
        : q_(q), path_(std::move(path)), counts_(counts) {}

    DOMElement* part(const DOMElement* output, const char* name) const {
        DOMElement* e = findChild(output, name);
        if (!e) debugLog(kLogWarning, "Configuration file: Missing Node \"%s.%s\"", path_.c_str(), name);
        return e;
    }

    // ugain and igain of a WDX module, from whichever part carries them.
    void gains(const DOMElement* e) const {
        for (const OutputFileField& f : outputFileFields()) {
            double value = 0;
            if (f.kind == FileFieldKind::wdxGain && fileRuleHolds(f.rule, crateSettings().controllerType) &&
                getDoubleAttribute(e, f.attribute, value))
                gain(e, f, value);
        }
    }

    // Every field of the part that is applied, in the file description's order. The exponents come
    // first, because they change the meaning of every voltage and current that follows.
    void apply(const DOMElement* partElement, const char* partName) const {
        exponents(partElement, partName);
        for (const OutputFileField& f : outputFileFields()) {
            if (std::strcmp(f.part, partName) != 0 || !fileRuleHolds(f.rule, crateSettings().controllerType))
                continue;
            if (f.kind != FileFieldKind::value && f.kind != FileFieldKind::namedBits) continue;
            const DOMElement* e = f.child ? findChild(partElement, f.child) : partElement;
            if (!e) continue;
            f.kind == FileFieldKind::value ? value(e, f) : namedBits(e, f);
        }
    }

  private:
    // Every setter's result is counted: a caller must be able to tell a read that changed nothing,
    // or one the module refused in part, from one that was applied.
    void tally(bool accepted) const { ++(accepted ? counts_.written : counts_.refused); }

    // The pair is written whenever the part carries the exponent fields for this controller, also when
    // both attributes are absent; an absent one keeps the channel's present exponent.
    void exponents(const DOMElement* e, const char* partName) const {
        const ParameterInfo* pair = nullptr;
        int voltage = q_.system().voltageExponent;
        int current = q_.system().currentExponent;
        for (const OutputFileField& f : outputFileFields()) {
            if (std::strcmp(f.part, partName) != 0 || !fileRuleHolds(f.rule, crateSettings().controllerType))
                continue;
            if (f.kind == FileFieldKind::voltageExponent)
                getIntAttribute(e, f.attribute, voltage);
            else if (f.kind == FileFieldKind::currentExponent)
                getIntAttribute(e, f.attribute, current);
            else
                continue;
            pair = f.parameter;
        }
        if (pair)
            tally(setParameter(q_, *pair, static_cast<uint16_t>((voltage & 0xFF) | ((current & 0xFF) << 8))));
    }

    // Integers are cut to the field's width; volts and amperes convert with the channel's exponents as
    // they are at this moment.
    void value(const DOMElement* e, const OutputFileField& f) const {
        const ParameterInfo& p = *f.parameter;
        if (p.raw16Scaled()) {
            double physical = 0;
            if (!getDoubleAttribute(e, f.attribute, physical)) return;
            const int16_t raw =
                p.unit == ParameterUnit::volts ? q_.voltageToRaw(physical) : q_.currentToRaw(physical);
            tally(setParameter(q_, p, raw));
        } else {
            int integer = 0;
            if (getIntAttribute(e, f.attribute, integer))
                tally(setParameter(q_, p, truncatedValue(p, integer)));
        }
    }

    // Starts from the word the channel holds, replaces each named field that the element carries, and
    // writes the whole word once, also when it carries none.
    void namedBits(const DOMElement* e, const OutputFileField& f) const {
        const ParameterInfo& p = *f.parameter;
        uint32_t word = std::visit([](auto v) { return static_cast<uint32_t>(v); }, readParameter(q_, p));
        const uint32_t mask = (1u << f.bitWidth) - 1;
        for (const auto& b : f.bits) {
            int value = 0;
            if (getIntAttribute(e, b.name, value))
                word = (word & ~(mask << b.bit)) | ((static_cast<uint32_t>(value) & mask) << b.bit);
        }
        tally(setParameter(q_, p, truncatedValue(p, word)));
    }

    // The module takes a single-precision gain; the channel's local exponent follows the gain's own
    // binary exponent so that the raw readings scale with it (not written to the module).
    void gain(const DOMElement* e, const OutputFileField& f, double value) const {
        if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
            debugLog(kLogWarning, "Configuration File: Branch \"%s\" Attribut \"%s\": bad double value",
                     nativeText(e->getTagName()).c_str(), f.attribute);
            return;
        }
        const float narrowed = static_cast<float>(value);
        const bool accepted = setParameter(q_, *f.parameter, narrowed);
        tally(accepted);
        if (!accepted) return;
        const unsigned biased = (std::bit_cast<uint32_t>(narrowed) >> 23) & 0xFFu;
        MODULE_SYSTEM_CONFIG& s = q_.system();
        if (f.parameter == &parameter("user.ugain"))
            s.voltageExponent = static_cast<int8_t>(static_cast<uint8_t>(biased + 0x77));
        else
            s.currentExponent = static_cast<int8_t>(static_cast<uint8_t>(biased + 0x76));
    }

    QOR& q_;
    std::string path_;
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
    QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(b)];
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
    if (o.outputConfig) {
        // The gains of a WDX module, from User and then from Configuration, before everything else.
        if (const DOMElement* user = reader.part(output, "User")) reader.gains(user);
        if (const DOMElement* config = reader.part(output, "Configuration")) reader.gains(config);
    }
    if (o.outputCalib) {
        if (const DOMElement* calibration = reader.part(output, "Calibration"))
            reader.apply(calibration, "Calibration");
    }
    if (o.outputConfig) {
        if (const DOMElement* config = reader.part(output, "Configuration"))
            reader.apply(config, "Configuration");
    }
    if (o.outputUser) {
        if (const DOMElement* user = reader.part(output, "User")) reader.apply(user, "User");
    }
    return true;
}

}  // namespace vz
