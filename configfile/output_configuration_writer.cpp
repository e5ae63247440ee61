// Writing one channel into the configuration document, field by field from the file description.
// Physical values use the channel's own exponents, so a file can be applied to modules whose exponents
// differ.
#include <cstdio>

#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/firmware_version.h"
#include "channel/parameter_access.h"
#include "configfile/module_file_io.h"
#include "configfile/output_file_fields.h"
#include "configfile/xml_attributes.h"
#include "configfile/xml_element_paths.h"

namespace vz {
namespace {

using xercesc::DOMElement;

void writeValue(DOMElement* e, const char* name, const QOR& q, const ParameterInfo& p) {
    const ParameterValue raw = readParameter(q, p);
    if (p.raw16Scaled() || p.type == ParameterType::float32)
        setDoubleAttribute(e, name, physicalValue(q, p));
    else if (p.type == ParameterType::uint32)
        setUIntAttribute(e, name, std::get<uint32_t>(raw));
    else
        setIntAttribute(e, name, std::visit([](auto v) { return static_cast<int>(v); }, raw));
}

void writeField(DOMElement* e, const OutputFileField& f, const QOR& q) {
    switch (f.kind) {
        case FileFieldKind::value:
        case FileFieldKind::information:
        case FileFieldKind::wdxGain:
            writeValue(e, f.attribute, q, *f.parameter);
            return;
        case FileFieldKind::moduleId:
            setIntAttribute(e, f.attribute, q.system().idModule);
            return;
        case FileFieldKind::voltageExponent:
            setIntAttribute(e, f.attribute, q.system().voltageExponent);
            return;
        case FileFieldKind::currentExponent:
            setIntAttribute(e, f.attribute, q.system().currentExponent);
            return;
        case FileFieldKind::namedBits: {
            const uint32_t word =
                std::visit([](auto v) { return static_cast<uint32_t>(v); }, readParameter(q, *f.parameter));
            const uint32_t mask = (1u << f.bitWidth) - 1;
            for (const auto& b : f.bits) setUIntAttribute(e, b.name, (word >> b.bit) & mask);
            return;
        }
    }
}

}  // namespace

bool MODULE_FILE_IO::writeOutputConfiguration(int n) {
    if (!channelPresent(n) || !document_.root()) return false;
    QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(n)];
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

    // The three parts always exist, in this order, also where the controller type leaves one empty.
    for (const char* part : {"Calibration", "Configuration", "User"}) getOrCreateChild(output, part);
    for (const OutputFileField& f : outputFileFields()) {
        if (!fileRuleHolds(f.rule, crateSettings().controllerType)) continue;
        DOMElement* e = getOrCreateChild(output, f.part);
        if (f.child) e = getOrCreateChild(e, f.child);
        writeField(e, f, q);
    }
    return true;
}

}  // namespace vz
