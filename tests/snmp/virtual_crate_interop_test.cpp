// The client against the virtual crate's own SNMP agent: two independent implementations of the
// wire formats must understand each other (the agent drops packets with bad headers or checksums).
#include <gtest/gtest.h>

#include "app/core/connection.h"
#include "base/settings.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/snmp/snmp_client.h"
#include "link/snmp/snmp_operations.h"
#include "link/usb_link.h"
#include "sim/controller.h"
#include "tests/support/crate_fixture.h"

namespace vz::test {
namespace {

class VirtualCrateSnmpTest : public CrateFixture {
  protected:
    void SetUp() override {
        CrateFixture::SetUp();
        resetSnmpClient();
        useScenario(
            oneBridgeScenario(R"({"channel": 0, "serialNumber": 1000}, {"channel": 5, "serialNumber": 1005})",
                              "", R"("snmp": true)"));
        ASSERT_TRUE(usbOpen(linkState().usbInfo));
    }
};

TEST_F(VirtualCrateSnmpTest, ProbeAndModuleAccessOverSnmp) {
    uint8_t text[128] = {};
    ASSERT_EQ(snmpProbe(text, sizeof text), 0);
    EXPECT_NE(text[0], 0);  // some sysDescr text
    bindSnmpVariants();
    uint8_t serial[4] = {};
    EXPECT_EQ(moduleRead(moduleAddressByte(5), 0x1000, 0, serial, 4), 4);
    EXPECT_EQ(serial[0] | serial[1] << 8, 1005);
    uint8_t block[8];
    EXPECT_EQ(readShort(moduleAddressByte(0), 4, block, 8), 8);
    const uint8_t on[2] = {0x01, 0x00};
    EXPECT_EQ(writeShort(0, 3, on, 2), 2);
    EXPECT_EQ(crate->controller().snmpDropped(), 0u);
    EXPECT_GE(crate->controller().snmpAnswered(), 4u);
}

}  // namespace
}  // namespace vz::test
