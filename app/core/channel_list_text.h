#pragma once
// The text of the channel list: what each line says and where it stands. The main window draws
// these lines; vzctl prints them.
#include <array>
#include <cstdint>

#include "app/core/list_scrolling.h"
#include "app/core/polling.h"
#include "channel/channel_classes.h"

namespace vz {

constexpr int kLineChars = 255;

struct ListLine {
    int y;
    char text[kLineChars + 1];
    int channel = -1;  // the channel the line shows; -1 for the statistics, heat-sink and blank lines
    MeasurementState state = MeasurementState::read;  // of that channel's measurements
};

// Two statistics lines, up to 127 channel lines and the heat-sink line fit.
struct ChannelListText {
    std::array<ListLine, 130> lines;
    int count = 0;
};

// State text and flag texts of a measurement status word ("ON TEMP ").
void statusWordText(uint16_t status, char* buffer, std::size_t size);
// The state text alone ("ON "), and the flag texts that are set, in list order; returns their number.
const char* statusStateText(uint16_t status);
int statusFlagTexts(uint16_t status, const char* texts[], int max);
// One channel's line as the list shows it (without the trailing fill).
void channelLineText(const QOR& channel, char* buffer, std::size_t size);
// The heat-sink line of the special mode, from channel 11's sense voltage and current.
void heatSinkLineText(double usense, double current, char* buffer, std::size_t size);
// Every line of one repaint, in order; sets each present channel's rowTop.
void buildChannelList(ChannelListText& out);

}  // namespace vz
