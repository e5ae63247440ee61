#pragma once
// Every channel test starts from fresh settings and an empty table, talks to a fake link and records
// the boxes and debug log lines it causes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/debug_log.h"
#include "base/settings.h"
#include "channel/bound_setters.h"
#include "channel/channel_table.h"
#include "channel/composite_setters.h"
#include "fake_module_link.h"
#include "recording_operator.h"

namespace vz::test {

class ChannelFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        resetSettings();
        resetChannelTable();
        setDebugLogOutput([this](std::string_view line) { logLines.emplace_back(line); });
    }
    void TearDown() override {
        setDebugLogOutput({});
        resetChannelTable();
        resetSettings();
    }

    // Channel n of the table with its module address assigned, as the module search leaves it.
    QOR& channel(int n) {
        QOR& q = channelState().channelTable.channels[static_cast<size_t>(n)];
        q.moduleAddress = static_cast<uint16_t>(n);
        q.foundSerial = 1000u + static_cast<uint32_t>(n);
        return q;
    }

    FakeModuleLink link;
    RecordingOperator seam;
    std::vector<std::string> logLines;
};

}  // namespace vz::test
