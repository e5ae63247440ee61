// The file description against the parameter table: every parameter has its place in the file, and
// no element carries the same attribute twice.
#include "configfile/output_file_fields.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "channel/parameter_table.h"

namespace vz::test {
namespace {

// Parameters the configuration file does not keep. None today: every parameter is saved and applied.
const std::set<std::string> kNotInFile = {};

TEST(OutputFileFields, EveryParameterIsInTheFileOrListedAsNotInIt) {
    std::set<const ParameterInfo*> inFile;
    std::set<std::string> placed;
    for (const OutputFileField& f : outputFileFields()) {
        if (f.parameter) inFile.insert(f.parameter);
        const std::string element = std::string(f.part) + (f.child ? std::string(".") + f.child : "");
        if (f.attribute) {
            EXPECT_TRUE(placed.insert(element + "@" + f.attribute).second) << element << " " << f.attribute;
        }
        for (const auto& b : f.bits)
            EXPECT_TRUE(placed.insert(element + "@" + b.name).second) << element << " " << b.name;
        EXPECT_EQ(f.kind == FileFieldKind::namedBits, !f.bits.empty()) << element;
    }
    for (const ParameterInfo& p : kParameters)
        EXPECT_NE(inFile.count(&p) == 1, kNotInFile.count(p.key) == 1) << p.key;
}

}  // namespace
}  // namespace vz::test
