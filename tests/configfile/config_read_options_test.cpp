#include "configfile/config_read_options.h"

#include <gtest/gtest.h>

#include "base/settings.h"
#include "channel/channel_table.h"

namespace vz::test {
namespace {

struct ControlsCase {
    int type;
    uint32_t flags;
    bool user, config, calib, channels, wdxFixed;
};

TEST(ReadDialogControls, WhatMayBeReadDependsOnTheControllerAndTheOptions) {
    const ControlsCase cases[] = {
        {18, 0, true, false, false, true, false},  // KRAT: user data only without -ac
        {16, 0, true, false, false, true, false},
        {18, kExpertView, true, true, true, true, false},
        {17, 0, false, false, false, false, true},  // WDX: fixed choices
        {17, kFileReadOptionsWdx, true, true, false, true, false},
        {17, kExpertView, true, true, true, true, false},
        {22, kFileReadOptionsWdx, true, false, false, true, false},  // -f counts on WDX only
    };
    for (const ControlsCase& c : cases) {
        const ReadDialogControls r = readDialogControls(c.type, c.flags);
        EXPECT_EQ(r.outputUser, c.user) << c.type << " " << c.flags;
        EXPECT_EQ(r.outputConfig, c.config) << c.type << " " << c.flags;
        EXPECT_EQ(r.outputCalib, c.calib) << c.type << " " << c.flags;
        EXPECT_EQ(r.channels, c.channels) << c.type << " " << c.flags;
        EXPECT_EQ(r.wdxFixed, c.wdxFixed) << c.type << " " << c.flags;
    }
}

TEST(ReadDialogControls, AFixedWdxReadTakesUserAndConfigurationOfMatchingChannelsIntoThePresentOnes) {
    resetSettings();
    resetChannelTable();
    crateSettings().typeChannelLimit = 12;
    for (int n : {1, 4, 11, 12})
        channelState().channelTable.channels[static_cast<std::size_t>(n)].foundSerial = 7;
    for (int n : {1, 11, 12})
        channelState().channelTable.channels[static_cast<std::size_t>(n)].moduleKind = kKindWdxSlave;
    ConfigReadOptions options;
    options.outputUser = false;
    options.outputCalib = true;
    options.fileChannel = 3;
    options.targets = {0};
    applyReadDialogControls(readDialogControls(17, 0), options);
    EXPECT_TRUE(options.outputUser);
    EXPECT_TRUE(options.outputConfig);
    EXPECT_FALSE(options.outputCalib);
    EXPECT_EQ(options.fileChannel, 0);
    EXPECT_EQ(options.targets, (std::vector<int>{1, 11}));  // 4 is of another kind, 12 beyond the limit
    resetChannelTable();
    resetSettings();
}

TEST(ReadDialogControls, FileChannelChoicesFollowTheChannelLimit) {
    const auto twelve = fileChannelChoices(12);
    ASSERT_EQ(twelve.size(), 13u);
    EXPECT_EQ(twelve.front(), "MATCHING");
    EXPECT_EQ(twelve.back(), "11");
    EXPECT_EQ(fileChannelChoices(127).size(), 17u);
    EXPECT_EQ(fileChannelChoices(127).back(), "15");
}

}  // namespace
}  // namespace vz::test
