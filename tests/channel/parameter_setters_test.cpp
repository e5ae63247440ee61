#include <cerrno>
#include <cstring>
#include <functional>

#include "channel_fixture.h"

namespace vz::test {
namespace {

// One row per setter: what it is called in its box, where it writes, how wide, and how the local
// field reads back.
struct SetterRow {
    const char* name;
    uint32_t address;
    int width;
    std::function<bool(QOR&, uint32_t)> set;
    std::function<uint32_t(const QOR&)> get;
};

#define ROW(facet, setter, field, T, name, address)                                                    \
    SetterRow {                                                                                        \
        name, address, static_cast<int>(sizeof(T)),                                                    \
            [](QOR& q, uint32_t v) { return q.facet().setter(static_cast<T>(v)); }, [](const QOR& q) { \
                return static_cast<uint32_t>(static_cast<std::make_unsigned_t<T>>(q.facet().field));   \
            }                                                                                          \
    }

const SetterRow kSetters[] = {
    ROW(system, setSerialNumber, serialNumber, uint32_t, "MODULE_SYSTEM_CONFIG::serialNumber", 0x11000),
    ROW(system, setFlags, flags, uint32_t, "MODULE_SYSTEM_CONFIG::flags", 0x11004),
    ROW(system, setCalUModGain, calUModGain, uint16_t, "MODULE_SYSTEM_CONFIG::calUModGain", 0x1100C),
    ROW(system, setCalUModOffset, calUModOffset, int16_t, "MODULE_SYSTEM_CONFIG::calUModOffset", 0x1100E),
    ROW(system, setCalIModGain, calIModGain, uint16_t, "MODULE_SYSTEM_CONFIG::calIModGain", 0x11010),
    ROW(system, setCalIModOffset, calIModOffset, int16_t, "MODULE_SYSTEM_CONFIG::calIModOffset", 0x11012),
    ROW(system, setCalUSenGain, calUSenGain, uint16_t, "MODULE_SYSTEM_CONFIG::calUSenGain", 0x11014),
    ROW(system, setCalUSenOffset, calUSenOffset, int16_t, "MODULE_SYSTEM_CONFIG::calUSenOffset", 0x11016),
    ROW(system, setCalUSetGain, calUSetGain, uint16_t, "MODULE_SYSTEM_CONFIG::calUSetGain", 0x11018),
    ROW(system, setCalUSetOffset, calUSetOffset, int16_t, "MODULE_SYSTEM_CONFIG::calUSetOffset", 0x1101A),
    ROW(system, setCalISetGain, calISetGain, uint16_t, "MODULE_SYSTEM_CONFIG::calISetGain", 0x1101C),
    ROW(system, setCalISetOffset, calISetOffset, int16_t, "MODULE_SYSTEM_CONFIG::calISetOffset", 0x1101E),
    ROW(system, setPhase, phase, uint16_t, "MODULE_SYSTEM_CONFIG::phase", 0x11020),
    ROW(system, setMaxUnom, maxUnom, int16_t, "MODULE_SYSTEM_CONFIG::maxUnom", 0x11022),
    ROW(system, setMaxInom, maxInom, int16_t, "MODULE_SYSTEM_CONFIG::maxInom", 0x11024),
    ROW(system, setMaxUSense, maxUSense, int16_t, "MODULE_SYSTEM_CONFIG::maxUSense", 0x11026),
    ROW(system, setMaxUTerminal, maxUTerminal, int16_t, "MODULE_SYSTEM_CONFIG::maxUTerminal", 0x11028),
    ROW(system, setMaxCurrent, maxCurrent, int16_t, "MODULE_SYSTEM_CONFIG::maxCurrent", 0x1102A),
    ROW(system, setMaxTemperature, maxTemperature, int16_t, "MODULE_SYSTEM_CONFIG::maxTemperature", 0x1102C),
    ROW(system, setMaxPower, maxPower, uint16_t, "MODULE_SYSTEM_CONFIG::maxPower", 0x1102E),
    ROW(system, setPwmOffset, pwmOffset, int16_t, "MODULE_SYSTEM_CONFIG::pwmOffset", 0x11030),
    ROW(system, setCalUIntGain, calUIntGain, uint16_t, "MODULE_SYSTEM_CONFIG::calUIntGain", 0x11032),
    ROW(system, setCalUIntOffset, calUIntOffset, int16_t, "MODULE_SYSTEM_CONFIG::calUIntOffset", 0x11034),
    ROW(system, setPwmMaxOnTime, pwmMaxOnTime, uint16_t, "MODULE_SYSTEM_CONFIG::pwmMaxOnTime", 0x11036),
    ROW(system, setPwmMinPeriod, pwmMinPeriod, uint16_t, "MODULE_SYSTEM_CONFIG::pwmMinPeriod", 0x11038),
    ROW(user, setIdGroup, idGroup, uint16_t, "MODULE_USER_CONFIG::idGroup", 0x12000),
    ROW(user, setUnom, Unom, int16_t, "MODULE_USER_CONFIG::Unom", 0x12002),
    ROW(user, setInom, Inom, int16_t, "MODULE_USER_CONFIG::Inom", 0x12004),
    ROW(user, setRampUp, rampUp, uint16_t, "MODULE_USER_CONFIG::rampUp", 0x12006),
    ROW(user, setRampDown, rampDown, uint16_t, "MODULE_USER_CONFIG::rampDown", 0x12008),
    ROW(user, setErrorAction, errorAction, uint16_t, "MODULE_USER_CONFIG::errorAction", 0x1200A),
    ROW(user, setMinUSense, minUSense, int16_t, "MODULE_USER_CONFIG::minUSense", 0x1200C),
    ROW(user, setMaxUSense, maxUSense, int16_t, "MODULE_USER_CONFIG::maxUSense", 0x1200E),
    ROW(user, setMaxUModule, maxUModule, int16_t, "MODULE_USER_CONFIG::maxUModule", 0x12010),
    ROW(user, setMaxCurrent, maxCurrent, int16_t, "MODULE_USER_CONFIG::maxCurrent", 0x12012),
    ROW(user, setMaxTemperature, maxTemperature, int16_t, "MODULE_USER_CONFIG::maxTemperature", 0x12014),
    ROW(user, setMaxPower, maxPower, uint16_t, "MODULE_USER_CONFIG::maxPower", 0x12016),
    ROW(user, setMaxTimeout, maxTimeout, uint16_t, "MODULE_USER_CONFIG::maxTimeout", 0x1201A),
    ROW(user, setFlags, flags, uint16_t, "MODULE_USER_CONFIG::flags", 0x1201C),
    ROW(user, setDelayMinUSense, SupervisionDelays.minUSense, uint16_t,
        "MODULE_USER_CONFIG::SupervisionDelays.minUSense", 0x12020),
    ROW(user, setDelayMaxUSense, SupervisionDelays.maxUSense, uint16_t,
        "MODULE_USER_CONFIG::SupervisionDelays.maxUSense", 0x12022),
    ROW(user, setDelayMaxUModule, SupervisionDelays.maxUModule, uint16_t,
        "MODULE_USER_CONFIG::SupervisionDelays.maxUModule", 0x12024),
    ROW(user, setDelayMaxCurrent, SupervisionDelays.maxCurrent, uint16_t,
        "MODULE_USER_CONFIG::SupervisionDelays.maxCurrent", 0x12026),
    ROW(user, setDelayMaxTemperature, SupervisionDelays.maxTemperature, uint16_t,
        "MODULE_USER_CONFIG::SupervisionDelays.maxTemperature", 0x12028),
    ROW(user, setDelayMaxPower, SupervisionDelays.maxPower, uint16_t,
        "MODULE_USER_CONFIG::SupervisionDelays.maxPower", 0x1202A),
};

#undef ROW

class ParameterSetters : public ChannelFixture {};

// Every setter: a refusal sends the command, keeps the local value and names the parameter in the
// box; the retry that is accepted stores the value.
TEST_F(ParameterSetters, EverySetterWritesItsOffsetAndStoresOnlyWhenAccepted) {
    const uint32_t value = 0x8123A5C7;
    for (const SetterRow& row : kSetters) {
        SCOPED_TRACE(row.name);
        QOR q;
        q.moduleAddress = 7;
        link.requests.clear();
        seam.boxes.clear();
        link.scriptCommands({5, 0});

        EXPECT_FALSE(row.set(q, value));
        EXPECT_EQ(row.get(q), 0u);
        ASSERT_EQ(seam.boxes.size(), 1u);
        EXPECT_EQ(seam.boxes[0].caption, std::string(row.name) + ": Error Code 0x5");

        EXPECT_TRUE(row.set(q, value));
        const uint32_t expected = row.width == 4 ? value : (value & 0xFFFF);
        EXPECT_EQ(row.get(q), expected);
        EXPECT_EQ(seam.boxes.size(), 1u);

        ASSERT_EQ(link.requests.size(), 2u);
        for (const Request& r : link.requests) {
            EXPECT_EQ(r.kind, 'c');
            EXPECT_EQ(r.module, 0x87);
            EXPECT_EQ(r.functionCode, 3);
            EXPECT_EQ(r.address, row.address);
        }
        const std::vector<uint8_t> sent = bytesOf(value);
        EXPECT_EQ(link.requests[1].data, std::vector<uint8_t>(sent.begin(), sent.begin() + row.width));
    }
}

TEST_F(ParameterSetters, RefusalBoxNamesTheCodeAndSaysWhatHappened) {
    struct Case {
        int outcome;
        const char* caption;
        const char* body;  // never a stale system error text
    };
    const Case cases[] = {
        {5, "MODULE_USER_CONFIG::Unom: Error Code 0x5", "The module refused the value (result code 5, 0x5;"},
        {0x1F3, "MODULE_USER_CONFIG::Unom: Error Code 0x1F3", "The module refused the value (result code 499, 0x1F3;"},
        {-1, "MODULE_USER_CONFIG::Unom: Error Code 0xFFFFFFFF", "The module did not answer the command"}};
    QOR& q = channel(3);
    q.Unom = 1000;
    for (const Case& c : cases) {
        seam.boxes.clear();
        link.scriptCommands({c.outcome});
        EXPECT_FALSE(q.user().setUnom(2000));
        EXPECT_EQ(q.Unom, 1000);
        ASSERT_EQ(seam.boxes.size(), 1u);
        EXPECT_EQ(seam.boxes[0].caption, c.caption);
        EXPECT_EQ(seam.boxes[0].text.rfind(c.body, 0), 0u) << seam.boxes[0].text;
        EXPECT_NE(seam.boxes[0].text.find("The value was not changed."), std::string::npos);
        EXPECT_EQ(seam.boxes[0].icon, BoxIcon::Information);
    }
}

TEST_F(ParameterSetters, ExponentPairIsOneParameter) {
    QOR& q = channel(2);
    link.scriptCommands({0});
    ASSERT_TRUE(q.system().setExponent(0xF5F6));
    EXPECT_EQ(q.voltageExponent, -10);
    EXPECT_EQ(q.currentExponent, -11);
    ASSERT_EQ(link.requests.size(), 1u);
    EXPECT_EQ(link.requests[0].address, 0x1100Au);
    EXPECT_EQ(link.requests[0].data, (std::vector<uint8_t>{0xF6, 0xF5}));
}

// The WDX floats overlay Unom/Inom and rampUp/rampDown: the bytes on the wire and in the record are
// the float's.
TEST_F(ParameterSetters, WdxGainsWriteFourFloatBytes) {
    QOR& q = channel(1);
    q.rampUp = 0x1111;
    q.rampDown = 0x2222;
    link.scriptCommands({0, 7});
    ASSERT_TRUE(q.user().setUgain(2.5f));
    EXPECT_EQ(q.ugain(), 2.5f);
    EXPECT_EQ(q.Unom, 0x0000);
    EXPECT_EQ(q.Inom, 0x4020);
    EXPECT_FALSE(q.user().setIgain(-1.0f));
    EXPECT_EQ(q.rampUp, 0x1111);
    EXPECT_EQ(q.rampDown, 0x2222);

    ASSERT_EQ(link.requests.size(), 2u);
    EXPECT_EQ(link.requests[0].address, 0x12002u);
    EXPECT_EQ(link.requests[0].data, (std::vector<uint8_t>{0x00, 0x00, 0x20, 0x40}));
    EXPECT_EQ(link.requests[1].address, 0x12006u);
    EXPECT_EQ(link.requests[1].data, (std::vector<uint8_t>{0x00, 0x00, 0x80, 0xBF}));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].caption, "MODULE_USER_CONFIG::igain: Error Code 0x7");
}

// An unassigned channel would address the controller itself (0xFF).
TEST_F(ParameterSetters, ChannelWithoutModuleAddressSendsNothing) {
    QOR q;
    EXPECT_FALSE(q.user().setUnom(5));
    EXPECT_TRUE(link.requests.empty());
    EXPECT_TRUE(seam.boxes.empty());
    EXPECT_EQ(logLines.size(), 1u);
}

}  // namespace
}  // namespace vz::test
