#include "link/cp210x/cp210x_versions.h"

#include <gtest/gtest.h>

#include "tests/cp210x/bridge_fixture.h"

namespace vz {
namespace {

TEST(Versions, LibraryVersionPacksTwoPartsPerWord) {
    const VersionWords words = libraryVersionWords({1, 0, 26, 11724});
    EXPECT_EQ(words.high, 0x00010000u);
    EXPECT_EQ(words.low, 0x001A2DCCu);
}

TEST(Versions, KernelReleaseText) {
    struct Case {
        const char* release;
        bool ok;
        uint32_t high, low;
    };
    const Case cases[] = {
        {"6.1.0-18-amd64", true, 0x00060001, 0x00000012},
        {"5.15.0-1051-azure", true, 0x0005000F, 0x0000041B},
        {"6.8.12", true, 0x00060008, 0x000C0000},
        {"4.19.0+", true, 0x00040013, 0x00000000},
        {"6.1.99999999-x", true, 0x00060001, 0xFFFF0000},  // clamped, not wrapped
        {"", false, 0, 0},
        {"linux-6.1", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.release);
        VersionWords words{7, 7};
        EXPECT_EQ(kernelVersionWords(c.release, words), c.ok);
        if (c.ok) {
            EXPECT_EQ(words.high, c.high);
            EXPECT_EQ(words.low, c.low);
        }
    }
}

using DriverVersions = test::BridgeFixture;

TEST_F(DriverVersions, ReportedThroughTheBridge) {
    usb->libraryVersion = {1, 0, 27, 0};
    uint32_t high = 0, low = 0;
    EXPECT_EQ(bridge->getDllVersion(high, low), SI_SUCCESS);
    EXPECT_EQ(high, 0x00010000u);
    EXPECT_EQ(low, 0x001B0000u);
    EXPECT_EQ(bridge->getDriverVersion(high, low), SI_SUCCESS);
    EXPECT_NE(high, 0u) << "every kernel release has a major number";
}

}  // namespace
}  // namespace vz
