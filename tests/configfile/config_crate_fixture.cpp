#include "config_crate_fixture.h"

#include "app/core/connection.h"
#include "base/debug_log.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/module_discovery.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"

namespace vz::test {

std::vector<SentCommand> ConfigCrateFixture::commands;

namespace {

decltype(OperationTable::writeReply) forwardWriteReply = nullptr;

int recordingWriteReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                        uint16_t* result, int resultLength) {
    if (address >= kCommandSpace && address < kWordSpace) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        ConfigCrateFixture::commands.push_back({module, static_cast<uint16_t>(address - kCommandSpace),
                                                std::vector<uint8_t>(bytes, bytes + length)});
    }
    return forwardWriteReply(module, functionCode, address, data, length, result, resultLength);
}

}  // namespace

void ConfigCrateFixture::SetUp() {
    CrateFixture::SetUp();
    commands.clear();
    setDebugLogOutput([this](std::string_view line) { log.emplace_back(line); });
}

void ConfigCrateFixture::TearDown() {
    setDebugLogOutput({});
    CrateFixture::TearDown();
}

void ConfigCrateFixture::connect(const std::string& modulesJson, int type, const std::string& pid) {
    usbClose();
    resetChannelTable();
    crateSettings().fCmdLine = kDefaultCmdLine;
    useScenario(R"({"bridges": [{"serial": "SN1", "description": "Test crate", "vid": "1A2B", "pid": ")" +
                pid + R"("}], "controller": {"type": )" + std::to_string(type) +
                R"(, "lineRate": false, "cacheChannels": 12}, "modules": [)" + modulesJson + "]}");
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    applyControllerLimits(crateSettings().fCmdLine);
    bindDirectOperations();
    ASSERT_GT(discoverModules(), 0);
    forwardWriteReply = linkState().operationTable.writeReply;
    linkState().operationTable.writeReply = recordingWriteReply;
    commands.clear();
}

std::vector<uint8_t> ConfigCrateFixture::moduleRecord(int channel, uint32_t base) {
    std::vector<uint8_t> record(64);
    EXPECT_EQ(moduleRead(moduleAddressByte(channel), base, 0, record.data(), 64), 64);
    return record;
}

std::vector<SentCommand> ConfigCrateFixture::commandsTo(uint16_t address) const {
    std::vector<SentCommand> found;
    for (const auto& c : commands)
        if (c.address == address) found.push_back(c);
    return found;
}

int ConfigCrateFixture::logged(char level, const std::string& text) const {
    int n = 0;
    for (const auto& l : log) n += (l[0] == level && l.find(text) != std::string::npos) ? 1 : 0;
    return n;
}

}  // namespace vz::test
