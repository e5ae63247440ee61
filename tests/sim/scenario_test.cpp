// Scenario files: physical units, the built-in crate, the shipped examples, and clear errors.
#include "sim/scenario.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "sim/byte_order.h"
#include "sim/controller.h"
#include "sim/virtual_crate.h"

namespace {

std::string oneModule(const std::string& module, const std::string& extra = "") {
    return R"({ "bridges": [ { "serial": "S" } ], "modules": [ )" + module + " ]" + extra + " }";
}

TEST(Scenario, PhysicalValuesBecomeRawWithTheChannelsExponents) {
    std::string error;
    const auto s = vsim::parseScenario(oneModule(R"({ "channel": 2, "serialNumber": 77,
                       "system": { "maxUnom": "15 V", "currentExponent": -13, "voltageExponent": -11,
                                   "calUSetOffset": "-0.05 V", "flags": ["isSlave", "isMaster"] },
                       "user": { "Unom": "12 V", "Inom": "250 mA", "maxCurrent": 8192, "idGroup": "0x2",
                                 "errorAction": { "power": 3, "minUSense": 1 }, "flags": 64 },
                       "firmware": { "name": "RERUZ", "version": "1.2.3.4" } })"),
                                       error);
    ASSERT_TRUE(s) << error;
    const vsim::ModuleDef& m = s->bridges[0].crate.modules[0];
    EXPECT_EQ(vsim::getS16(m.system.data() + 34), 30720);  // exponent given after the value still applies
    EXPECT_EQ(vsim::getS16(m.system.data() + 26), -102);   // -0.05 * 2048 = -102.4
    EXPECT_EQ(vsim::getU32(m.system.data() + 4), 0x0Cu);
    EXPECT_EQ(vsim::getS16(m.user.data() + 2), 24576);
    EXPECT_EQ(vsim::getS16(m.user.data() + 4), 2048);
    EXPECT_EQ(vsim::getS16(m.user.data() + 18), 8192);
    EXPECT_EQ(vsim::getU16(m.user.data() + 0), 2);
    EXPECT_EQ(vsim::getU16(m.user.data() + 10), 0x0C01);
    EXPECT_EQ(vsim::getU16(m.user.data() + 28), 64);
    EXPECT_EQ(std::memcmp(m.firmware.data(), "RERUZ\0", 6), 0);
    EXPECT_EQ(m.firmware[16], 4);
    EXPECT_EQ(m.firmware[19], 1);
    // Defaults: unity calibration gains, thresholds at the hardware limits.
    EXPECT_EQ(vsim::getU16(m.system.data() + 20), 0x8000);
    EXPECT_EQ(vsim::getS16(m.user.data() + 14), vsim::getS16(m.system.data() + 38));
}

TEST(Scenario, BadInputIsReportedWithItsPath) {
    struct Case {
        std::string json;
        const char* expected;  // part of the error text
    };
    const Case cases[] = {
        {"{", "not valid JSON"},
        {"[]", "$: expected an object"},
        {R"({ "modules": [] })", "$: missing \"bridges\""},
        {R"({ "bridges": [] })", "$.bridges: at least one bridge"},
        {R"({ "bridges": [ { "serial": "S", "vid": "1A2" } ] })",
         "$.bridges[0].vid: expected four hexadecimal"},
        {R"({ "bridges": [ { "serial": "S" }, { "serial": "S" } ] })", "$.bridges[1]: serial used twice"},
        {R"({ "bridges": [ { "serial": "S", "colour": 1 } ] })", "$.bridges[0].colour: unknown key"},
        {R"({ "bridges": [ { "serial": "S" } ], "controller": { "type": 19 } })", "$.controller.type"},
        {R"({ "bridges": [ { "serial": "S" } ], "controller": { "cacheChannels": 13 } })",
         "$.controller.cacheChannels"},
        {oneModule(R"({ "channel": 127, "serialNumber": 1 })"),
         "$.modules[0].channel: value 127 outside 0..126"},
        {oneModule(R"({ "channel": 1 })"), "$.modules[0]: missing \"serialNumber\""},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "Unom": "12 A" } })"),
         "$.modules[0].user.Unom: \"12 A\" needs the unit V"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "Unom": "40 V" } })"),
         "$.modules[0].user.Unom: \"40 V\" does not fit"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "Unom": "twelve" } })"),
         "$.modules[0].user.Unom"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "idGroup": 0 } })"),
         "$.modules[0].user.idGroup"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "rampUp": 70000 } })"),
         "$.modules[0].user.rampUp: value 70000"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "flags": ["fast"] } })"),
         "$.modules[0].user.flags[0]: unknown flag"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "system": { "Unom": 1 } })"),
         "$.modules[0].system.Unom: unknown system"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "firmware": { "name": "A NAME OF 17 CHAR" } })"),
         "$.modules[0].firmware.name: longer than 16"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1 }, { "channel": 1, "serialNumber": 2 })"),
         "$.modules[1]: channel 1 used twice"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1 })", R"(, "loads": [ { "channel": 2, "ohms": 5 } ])"),
         "$.loads[0].channel: no module at channel 2"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1 })",
                   R"(, "loads": [ { "channel": 1, "ohms": 5, "switchOhms": 2 } ])"),
         "$.loads[0]: a switching load needs both \"switchOhms\" and \"switchPeriodMs\""},
        {oneModule(R"({ "channel": 1, "serialNumber": 1 })", R"(, "faults": [ { "kind": "explode" } ])"),
         "$.faults[0].kind"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1 })",
                   R"(, "faults": [ { "kind": "refuse", "field": "user.Volts" } ])"),
         "$.faults[0].field: unknown parameter"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1 })",
                   R"(, "faults": [ { "kind": "slow", "everyNth": 0 } ])"),
         "$.faults[0].everyNth"},
        {R"({ "bridges": [ { "serial": "S", "busy": true, "serial": "T" } ] })",
         "$.bridges[0].serial: key given twice"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "Unom": "5 V", "Unom": "6 V" } })"),
         "$.modules[0].user.Unom: key given twice"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "cableOhms": 1e400 })"),
         "$.modules[0].cableOhms: number overflow parsing '1e400'"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "temperatures": [1, 2, -1e999] })"),
         "$.modules[0].temperatures[2]: number overflow"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "ugain": 1.0 } })"),
         "$.modules[0].user.ugain: only modules of a WDX controller"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "user": { "Unom": "5 V" } })",
                   R"(, "controller": { "type": 17 })"),
         "$.modules[0].user.Unom: a module of a WDX controller has no Unom"},
        {oneModule(R"({ "channel": 1, "serialNumber": 1, "system": { "voltageExponent": -11 },
                        "user": { "ugain": 1.0 } })",
                   R"(, "controller": { "type": 17 })"),
         "$.modules[0].user.ugain: this gain gives the exponent -10 on a WDX module, but voltageExponent is "
         "-11; give voltageExponent -10"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(vsim::VirtualCrate::fromJsonText(c.json, error), nullptr) << c.json;
        EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error;
    }
    std::string error;
    EXPECT_EQ(vsim::VirtualCrate::fromFile("/nonexistent/crate.json", error), nullptr);
    EXPECT_NE(error.find("/nonexistent/crate.json: cannot be read"), std::string::npos);
    EXPECT_EQ(vsim::VirtualCrate::fromFile("/tmp", error), nullptr);
    EXPECT_NE(error.find("/tmp: is a directory, not a scenario file"), std::string::npos) << error;
}

// Texts no scenario can be are refused by their shape before they are read, quickly and without
// memory growing with them; files that are no regular files are refused before they are opened.
TEST(Scenario, HostileShapesAndFilesAreRefusedCheaply) {
    const std::string deep = std::string(40000, '[') + std::string(40000, ']');
    std::string wide = R"({ "bridges": [ { "serial": "S" } ], "comment": [)";
    for (int i = 0; i < 400000; ++i) wide += i ? ",0" : "0";
    wide += "] }";
    std::string faults = R"({ "bridges": [ { "serial": "S" } ], "faults": [)";
    for (int i = 0; i < 1001; ++i) faults += std::string(i ? "," : "") + R"({ "kind": "noReply" })";
    faults += "] }";
    const std::string big = R"({ "bridges": [ { "serial": "S" } ], "comment": ")" + std::string(1 << 20, 'x') + "\" }";
    const struct {
        std::string json;
        const char* expected;
    } cases[] = {
        {deep, "$: nested more than 32 levels deep"},
        {wide, "$: an array of more than 10000 elements"},
        {faults, "$.faults: at most 1000 fault rules"},
        {big, "$: larger than 1024 KiB"},
        // Brackets inside strings are text, not nesting.
        {R"({ "bridges": [ { "serial": "S" } ], "comment": ")" + std::string(100, '[') + R"(\"" })", nullptr},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto crate = vsim::VirtualCrate::fromJsonText(c.json, error);
        if (!c.expected) {
            EXPECT_NE(crate, nullptr) << error;
            continue;
        }
        EXPECT_EQ(crate, nullptr);
        EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error.substr(0, 200);
    }
    const std::string fifo = ::testing::TempDir() + "scenario_fifo_" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        std::string error;
        EXPECT_EQ(vsim::VirtualCrate::fromFile(path, error), nullptr);
        EXPECT_NE(error.find(path + ": is not a regular file"), std::string::npos) << error;
    }
    std::remove(fifo.c_str());
}

// A WDX module keeps its gains where the other types keep Unom, Inom and the ramps: no default may
// land on them, and gains not given follow the module's exponents as the program's exponent rule
// expects (voltage: biased exponent + 0x77, current: + 0x76). The controller may also be the bridge's
// own, below shared modules.
TEST(Scenario, WdxModulesKeepGainsThatAgreeWithTheirExponents) {
    std::string error;
    const auto s = vsim::parseScenario(R"({
        "modules": [
          { "channel": 0, "serialNumber": 1, "system": { "voltageExponent": -11, "currentExponent": -13 },
            "user": { "ugain": 0.75, "igain": 0.375 } },
          { "channel": 1, "serialNumber": 2, "system": { "voltageExponent": -10, "currentExponent": -10 } } ],
        "bridges": [ { "serial": "W", "controller": { "type": 17 } },
                     { "serial": "K", "modules": [ { "channel": 1, "serialNumber": 2 } ] } ] })",
                                       error);
    ASSERT_TRUE(s) << error;
    auto gain = [](const vsim::ModuleDef& m, int offset) {
        const uint32_t bits = vsim::getU32(m.user.data() + offset);
        float value = 0;
        std::memcpy(&value, &bits, 4);
        return value;
    };
    const auto& wdx = s->bridges[0].crate.modules;
    EXPECT_EQ(gain(wdx[0], 2), 0.75f);
    EXPECT_EQ(gain(wdx[0], 6), 0.375f);
    EXPECT_EQ(gain(wdx[1], 2), 1.0f);
    EXPECT_EQ(gain(wdx[1], 6), 2.0f);
    // A KRAT module keeps Unom, Inom and the ramps at those bytes.
    const auto& krat = s->bridges[1].crate.modules;
    EXPECT_EQ(vsim::getU16(krat[0].user.data() + 6), 10);  // rampUp default
}

TEST(Scenario, BuiltInCrate) {
    auto crate = vsim::VirtualCrate::fromDefault();
    ASSERT_TRUE(crate);
    ASSERT_EQ(crate->bridgeCount(), 1);
    EXPECT_EQ(crate->bridgeInfo(0).vid, "1A2B");
    EXPECT_EQ(crate->bridgeInfo(0).pid, "0012");
    vsim::Controller& c = crate->controller();
    EXPECT_EQ(c.type(), 18);
    EXPECT_TRUE(c.snmp());
    EXPECT_TRUE(c.definition().lineRate);
    const auto modules = c.modules();
    EXPECT_GE(modules.size(), 8u);
    int deviz = 0, reruz = 0, slaves = 0, boards = 0;
    for (const vsim::Module* m : modules) {
        deviz += std::memcmp(m->firmware().data(), "DEVIZ", 5) == 0;
        reruz += std::memcmp(m->firmware().data(), "RERUZ", 5) == 0;
        slaves += (vsim::getU32(m->system().data() + 4) & 8) != 0;
        boards += m->isTemperatureBoard();
    }
    EXPECT_GE(deviz, 2);
    EXPECT_GE(reruz, 2);
    EXPECT_EQ(slaves, 1);
    EXPECT_EQ(boards, 1);
    // One module reports a supervision failure once its delay has passed.
    c.advanceTo(0);
    c.advanceTo(1000000);
    int failing = 0;
    for (const vsim::Module* m : c.modules())
        failing += (vsim::getU16(m->measurement().data()) & 0xFC00) != 0;
    EXPECT_EQ(failing, 1);
}

TEST(Scenario, ShippedExamplesLoad) {
    for (const char* name : {"krat-crate.json", "two-bridges.json", "controller-firmware.json"}) {
        std::string error;
        auto crate = vsim::VirtualCrate::fromFile(std::string(VZ_DOCS_EXAMPLES) + "/" + name, error);
        ASSERT_TRUE(crate) << name << ": " << error;
    }
    std::string error;
    auto two = vsim::VirtualCrate::fromFile(std::string(VZ_DOCS_EXAMPLES) + "/two-bridges.json", error);
    ASSERT_EQ(two->bridgeCount(), 2);
    EXPECT_NE(two->bridgeInfo(0).busy, two->bridgeInfo(1).busy);
}

}  // namespace
