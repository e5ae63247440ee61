#include "channel/firmware_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vz {
namespace {

MODULE_FIRMWARE_DATA firmware(const char* name, uint32_t version) {
    MODULE_FIRMWARE_DATA record;
    std::memcpy(record.name, name, std::min(std::strlen(name), sizeof record.name));
    record.version = version;
    return record;
}

TEST(FirmwareVersionText, NameAndVersionFromByte19Down) {
    struct Case {
        MODULE_FIRMWARE_DATA record;
        const char* text;
    };
    const Case cases[] = {
        {firmware("DEVIZ", 0), "DEVIZ"},
        {firmware("DEVIZ", 0x01020304), "DEVIZ 1.2.3.4"},  // bytes 16..19 = 4, 3, 2, 1
        {firmware("RERUZ", 0x00000100), "RERUZ 0.0.1.0"},
        {firmware("ABCDEFGHIJKLMNOPQ", 0xFF000001), "ABCDEFGHIJKLMNOP 255.0.0.1"},  // name not terminated
    };
    for (const Case& c : cases) EXPECT_EQ(firmwareVersionText(c.record), c.text);
}

TEST(FirmwareVersionText, BufferIsAlwaysTerminated) {
    const MODULE_FIRMWARE_DATA record = firmware("WDXslave", 0x01020304);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    firmwareVersionText(record, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "WDXslav");

    buffer[0] = 'x';
    firmwareVersionText(record, buffer, 0);
    EXPECT_EQ(buffer[0], 'x');
}

}  // namespace
}  // namespace vz
