// A capture of a real session with the virtual crate's SNMP agent, read back by tshark.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/core/connection.h"
#include "app/core/polling.h"
#include "app/core/title.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/link_capture.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using CaptureWithCrateTest = test::CrateFixture;

TEST_F(CaptureWithCrateTest, TsharkDecodesTheSnmpSessionWithGoodChecksums) {
    if (std::system("which tshark > /dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
    const std::string path =
        (std::filesystem::temp_directory_path() / ("vz_crate_" + std::to_string(getpid()) + ".pcapng"))
            .string();
    useScenario(test::oneBridgeScenario(
        R"({"channel": 1, "serialNumber": 11, "firmware": {"name": "DEVIZ"}, "on": true})", "",
        R"("snmp": true, "canTimeoutMs": 1)"));
    std::string error;
    ASSERT_TRUE(startLinkCapture(path, error)) << error;
    crateSettings().searchLimit = 2;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    pollingTick();
    stopLinkCapture();
    EXPECT_TRUE(crateSettings().snmpMode);
    EXPECT_EQ(titleText(""), "VIDIzozorez --> KRAT(SNMP)(SN1) channel U1");

    const std::string command =
        "tshark -r '" + path + "' -o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -V 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string out;
    std::array<char, 4096> buffer;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
    std::filesystem::remove(path);
    EXPECT_NE(out.find("1.3.6.1.2.1.1.1.0"), std::string::npos);  // the probe
    EXPECT_NE(out.find("1.3.6.1.4.1.24680.1.1.1027.0"), std::string::npos);
    EXPECT_NE(out.find("get-response"), std::string::npos);
    EXPECT_NE(out.find("[Header checksum status: Good]"), std::string::npos) << out.substr(0, 3000);
    EXPECT_NE(out.find("[Checksum Status: Good]"), std::string::npos);
    EXPECT_EQ(out.find("Bad]"), std::string::npos);
    EXPECT_EQ(out.find("Malformed"), std::string::npos);
}

}  // namespace
}  // namespace vz
