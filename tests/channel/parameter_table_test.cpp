// The wiring of every parameter in the table: its setter sends one command of its width to its own
// address and changes exactly its bytes of the local record, a refusal changes nothing, and its
// bound setter does the same on the channel the dialog shows.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "channel/parameter_access.h"
#include "channel_fixture.h"

namespace vz::test {
namespace {

class ParameterTable : public ChannelFixture {
  protected:
    // Both records of a channel as bytes, filled with a pattern that no test value repeats.
    static std::vector<uint8_t> records(const QOR& q) {
        std::vector<uint8_t> bytes(128);
        std::memcpy(bytes.data(), static_cast<const MODULE_USER_CONFIG_DATA*>(&q.user()), 64);
        std::memcpy(bytes.data() + 64, static_cast<const MODULE_SYSTEM_CONFIG_DATA*>(&q.system()), 64);
        return bytes;
    }
    static void fill(QOR& q) {
        std::memset(reinterpret_cast<unsigned char*>(static_cast<MODULE_USER_CONFIG_DATA*>(&q.user())), 0x11,
                    64);
        std::memset(reinterpret_cast<unsigned char*>(static_cast<MODULE_SYSTEM_CONFIG_DATA*>(&q.system())),
                    0x22, 64);
    }
    // A value of the parameter's type whose bytes differ from the fill pattern and from each other.
    static ParameterValue testValue(const ParameterInfo& p) {
        switch (p.type) {
            case ParameterType::int16:
                return int16_t{-12345};  // C7 CF
            case ParameterType::uint16:
                return uint16_t{0xA55A};
            case ParameterType::uint32:
                return uint32_t{0x89ABCDEF};
            case ParameterType::float32:
                return 1.75f;  // 00 00 E0 3F
        }
        return {};
    }
    static std::vector<uint8_t> bytes(const ParameterValue& v) {
        return std::visit([](auto x) { return bytesOf(x); }, v);
    }
    // The records as they must be after the value was stored: only the parameter's bytes differ.
    static std::vector<uint8_t> expectedRecords(const std::vector<uint8_t>& before, const ParameterInfo& p,
                                                const ParameterValue& v) {
        std::vector<uint8_t> after = before;
        const std::vector<uint8_t> b = bytes(v);
        const std::size_t at = (p.record == ParameterRecord::user ? 0 : 64) + p.offset;
        std::copy(b.begin(), b.end(), after.begin() + static_cast<std::ptrdiff_t>(at));
        return after;
    }
};

TEST_F(ParameterTable, NamesKeysAndAddressesAgree) {
    for (const ParameterInfo& p : kParameters) {
        SCOPED_TRACE(p.key);
        const bool user = p.record == ParameterRecord::user;
        const std::string field = std::string(p.key).substr(user ? 5 : 7);
        EXPECT_EQ(std::string(p.key), (user ? "user." : "system.") + field);
        EXPECT_EQ(std::string(p.name), (user ? "MODULE_USER_CONFIG::" : "MODULE_SYSTEM_CONFIG::") + field);
        EXPECT_EQ(p.commandAddress(), (user ? 0x12000u : 0x11000u) + p.offset);
        EXPECT_EQ(p.width(), p.type == ParameterType::uint32 || p.type == ParameterType::float32 ? 4 : 2);
        EXPECT_EQ(findParameter(p.key), &p);
        EXPECT_EQ(p.raw16Scaled(), p.type == ParameterType::int16 &&
                                       (p.unit == ParameterUnit::volts || p.unit == ParameterUnit::amperes));
    }
    // The module's command families: 26 system and 22 user parameters (ugain and igain included).
    const auto users = std::count_if(kParameters.begin(), kParameters.end(), [](const ParameterInfo& p) {
        return p.record == ParameterRecord::user;
    });
    EXPECT_EQ(users, 22);
    EXPECT_EQ(kParameters.size(), 48u);
    EXPECT_EQ(findParameter("user.unom"), nullptr);
    EXPECT_EQ(findParameter("Unom"), nullptr);
}

TEST_F(ParameterTable, EverySetterSendsItsOwnBytesAndStoresOnlyThem) {
    for (const ParameterInfo& p : kParameters) {
        SCOPED_TRACE(p.key);
        link.requests.clear();
        seam.boxes.clear();
        QOR& q = channel(5);
        fill(q);
        const std::vector<uint8_t> before = records(q);
        const ParameterValue v = testValue(p);

        ASSERT_TRUE(setParameter(q, p, v));
        ASSERT_EQ(link.requests.size(), 1u);
        EXPECT_EQ(link.requests[0].kind, 'c');
        EXPECT_EQ(link.requests[0].module, 0x85);
        EXPECT_EQ(link.requests[0].address, p.commandAddress());
        EXPECT_EQ(link.requests[0].data, bytes(v));
        EXPECT_EQ(records(q), expectedRecords(before, p, v));
        EXPECT_EQ(readParameter(q, p), v);

        // Refused: the same command goes out, the record keeps the stored value, the box names it.
        fill(q);
        link.scriptCommands({5});
        EXPECT_FALSE(setParameter(q, p, v));
        EXPECT_EQ(link.requests.size(), 2u);
        EXPECT_EQ(records(q), before);
        ASSERT_EQ(seam.boxes.size(), 1u);
        EXPECT_EQ(seam.boxes[0].caption, std::string(p.name) + ": Error Code 0x5");
    }
}

TEST_F(ParameterTable, EveryBoundSetterActsOnTheChannelItsDialogShows) {
    QOR* dialogChannel = nullptr;
    for (const ParameterInfo& p : kParameters) {
        SCOPED_TRACE(p.key);
        link.requests.clear();
        logLines.clear();
        const auto set = bindSetter<ParameterValue>(dialogChannel, p);
        const ParameterValue v = testValue(p);

        dialogChannel = nullptr;
        EXPECT_FALSE(set(v));
        EXPECT_TRUE(link.requests.empty());
        EXPECT_EQ(logLines.size(), 1u);

        for (int n : {7, 12}) {
            QOR& q = channel(n);
            fill(q);
            const std::vector<uint8_t> before = records(q);
            dialogChannel = &q;
            ASSERT_TRUE(set(v));
            ASSERT_EQ(link.requests.size(), n == 7 ? 1u : 2u);
            EXPECT_EQ(link.requests.back().module, 0x80 | n);
            EXPECT_EQ(link.requests.back().address, p.commandAddress());
            EXPECT_EQ(link.requests.back().data, bytes(v));
            EXPECT_EQ(records(q), expectedRecords(before, p, v));
        }
    }
}

TEST_F(ParameterTable, PhysicalValuesConvertWithTheChannelsExponentsAndRefuseWhatHasNoRawValue) {
    QOR& q = channel(0);
    q.voltageExponent = -10;
    q.currentExponent = -12;
    const ParameterInfo& unom = parameter("user.Unom");
    const ParameterInfo& inom = parameter("user.Inom");
    const ParameterInfo& power = parameter("user.maxPower");
    const ParameterInfo& serial = parameter("system.serialNumber");
    EXPECT_EQ(valueFromPhysical(q, unom, 12.5), ParameterValue{int16_t{12800}});
    EXPECT_EQ(valueFromPhysical(q, inom, -0.5), ParameterValue{int16_t{-2048}});
    EXPECT_EQ(valueFromPhysical(q, unom, 31.999), ParameterValue{int16_t{32767}});
    EXPECT_EQ(valueFromPhysical(q, unom, 32.0), std::nullopt);  // raw 32768
    EXPECT_EQ(valueFromPhysical(q, unom, -32.0), ParameterValue{int16_t{-32768}});
    EXPECT_EQ(valueFromPhysical(q, unom, -32.001), std::nullopt);
    EXPECT_EQ(valueFromPhysical(q, power, 65535), ParameterValue{uint16_t{65535}});
    EXPECT_EQ(valueFromPhysical(q, power, 65536), std::nullopt);
    EXPECT_EQ(valueFromPhysical(q, power, -1), std::nullopt);
    EXPECT_EQ(valueFromPhysical(q, power, 1.5), std::nullopt);
    EXPECT_EQ(valueFromPhysical(q, serial, 4294967295.0), ParameterValue{uint32_t{4294967295u}});
    EXPECT_EQ(valueFromPhysical(q, parameter("user.ugain"), 0.75), ParameterValue{0.75f});
    EXPECT_EQ(valueFromPhysical(q, parameter("user.ugain"), 1e39), std::nullopt);
    EXPECT_EQ(valueFromPhysical(q, unom, std::nan("")), std::nullopt);

    q.Unom = 12800;
    EXPECT_DOUBLE_EQ(physicalValue(q, unom), 12.5);
    q.user().maxPower = 300;
    EXPECT_DOUBLE_EQ(physicalValue(q, power), 300.0);
}

}  // namespace
}  // namespace vz::test
