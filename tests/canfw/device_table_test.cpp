// The device table tells apart shared ids by procID, and only two processors have a layout.
#include "canfw/device_table.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vz {
namespace {

TEST(DeviceTable, HoldsEveryEntryAndItsTerminators) {
    ASSERT_EQ(deviceTable().size(), 130u);
    EXPECT_EQ(deviceTable().back().name, nullptr);
    ASSERT_EQ(memoryLayouts().size(), 3u);
    EXPECT_EQ(memoryLayouts().back().family, kUnknownFamily);
}

TEST(DeviceTable, LookupByIdAndProcId) {
    struct Case {
        uint32_t id, proc;
        const char* name;  // nullptr: not found
        int family;
        bool layout;
    } cases[] = {
        {0x00C1, 1, "dsPIC30F3012", 0, false},    {0x00C1, 3, "dsPIC33FJ64GP206", 1, false},
        {0x0101, 1, "dsPIC30F4011", 0, true},     {0x0141, 1, "dsPIC30F4013", 0, true},
        {0x0101, 3, nullptr, 4, false},           {0x0240, 1, "dsPIC30F2011", 0, false},
        {0x040D, 3, "PIC24FJ128GA010", 3, false},
    };
    for (const Case& c : cases) {
        DeviceLookup l;
        EXPECT_EQ(lookupDevice(c.id, c.proc, l), c.name != nullptr) << c.id;
        if (!c.name) continue;
        EXPECT_STREQ(l.device->name, c.name);
        EXPECT_EQ(l.device->family, c.family);
        EXPECT_EQ(l.layout != nullptr, c.layout) << c.name;
    }
    DeviceLookup second;
    lookupDevice(0x0240, 1, second);
    EXPECT_EQ(second.device - deviceTable().data(), 2);  // the second dsPIC30F2011, not the first
    EXPECT_STREQ(familyName(2), "PIC24H");
    EXPECT_STREQ(familyName(7), "-?-");
}

}  // namespace
}  // namespace vz
