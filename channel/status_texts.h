#pragma once
// The texts of a channel's "Control && Status" and "Measurement" areas, computed from its records.
// The dialogs put them into their controls; a dialog without one of the controls skips that text.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_classes.h"

namespace vz {

// Control ids shared by the output configuration dialog and the measurement window.
enum StatusControlId : int {
    kStateLineControl = 1086,
    kErrorListControl = 1087,
    kSenseVoltageControl = 1088,
    kTerminalVoltageControl = 1091,
    kCurrentControl = 1092,
    kLoadPowerControl = 1095,
    kModulePowerControl = 1096,
    kTemperatureControl = 1097,
};

struct ChannelStatusTexts {
    std::string stateLine;
    std::string errorList;  // with the switching frequencies appended in the expert view
    std::string senseVoltage;
    std::string terminalVoltage;
    std::string current;
    std::string loadPower;
    std::string modulePower;
    std::string temperature;

    // (control id, text) in the order the dialogs fill them.
    std::vector<std::pair<int, std::string>> byControl() const;
};

// "OFF", "ON", "INH" or "ILLEGAL (ON+INH)" from bits 0 and 4, then ", Voltage rising",
// ", Voltage falling", ", Current Limit" for bits 1, 2, 3.
std::string channelStateText(uint16_t status);

// One line per set error or status flag, each ending with a line feed.
std::string channelErrorList(uint16_t status);

// fMax, fMin and fNom of the switching regulator in kHz, or the INVALID line when pwmMinPeriod gives
// no usable fMax.
std::string switchingFrequencyLines(const QOR& channel);

ChannelStatusTexts channelStatusTexts(const QOR& channel, bool expertView);

// For channel index 0..126 of the table, with the expert view taken from the command line. Nothing for
// 0xFFFF (no channel selected), for other indices outside the table, and for channels whose kind is
// not 1, 2 or 3: the dialog then leaves its fields as they are.
std::optional<ChannelStatusTexts> showChannelStatus(unsigned channelIndex);

}  // namespace vz
