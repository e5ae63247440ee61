#pragma once
// What the configuration file keeps of one output, field by field, in the order in which the fields
// are written and applied. Each field names its parameter in the parameter table, which gives the
// offset, width and unit; the writer and the reader are loops over this list.
#include <cstdint>
#include <span>

#include "channel/parameter_table.h"
#include "configfile/config_file_names.h"

namespace vz {

// Which controllers' files carry the field.
enum class FileRule : uint8_t {
    any,
    fullFieldSet,  // QX308 and KRAT only
    wdx,           // WDX only
};

enum class FileFieldKind : uint8_t {
    value,            // the parameter; volts and amperes in physical units with the channel's exponents
    information,      // written from the parameter, never applied
    moduleId,         // the system record's idModule, written for information; no command changes it
    voltageExponent,  // low byte of system.exponent; both bytes are applied as one pair, before the rest
    currentExponent,  // high byte of system.exponent
    wdxGain,          // a float gain; applied before everything else, from User and from Configuration
    namedBits,        // a child element with one attribute per named bit field of the parameter's word
};

struct OutputFileField {
    const char* part;                // "Calibration", "Configuration" or "User", below Output.U<n>
    const char* child;               // element below the part, or nullptr for an attribute of the part itself
    const char* attribute;           // nullptr for namedBits
    const ParameterInfo* parameter;  // nullptr for moduleId
    FileRule rule;
    FileFieldKind kind = FileFieldKind::value;
    std::span<const cfgnames::BitName> bits = {};  // namedBits: names and lowest bit of each field
    unsigned bitWidth = 1;                         // namedBits: bits per named field
};

std::span<const OutputFileField> outputFileFields();

bool fileRuleHolds(FileRule rule, int controllerType);

}  // namespace vz
