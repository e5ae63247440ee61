#include "channel/status_texts.h"

#include <algorithm>
#include <cfloat>

#include "base/settings.h"
#include "base/text_format.h"
#include "channel/channel_table.h"
#include "channel/raw_scaling.h"

namespace vz {
namespace {

// One decimal fewer than a raw step needs, never negative.
int shownDecimals(int exponent) {
    return std::max(0, decimalsForExponent(exponent) - 1);
}

struct ErrorFlag {
    uint16_t bit;
    const char* text;
};

// The order of the list on screen.
constexpr ErrorFlag kErrorFlags[] = {
    {1u << 11, "Sense Voltage too LOW\n"},     {1u << 12, "Sense Voltage too HIGH\n"},
    {1u << 13, "Terminal Voltage too HIGH\n"}, {1u << 14, "Current too HIGH\n"},
    {1u << 15, "Temperature too HIGH\n"},      {1u << 10, "Power too HIGH\n"},
    {1u << 9, "Reserved Error Flag\n"},        {1u << 8, "Communication Timeout\n"},
    {1u << 7, "Self Test Failed!\n"},          {1u << 6, "Internal: Synchronized\n"},
    {1u << 5, "Reserved Status Flag!\n"},
};

constexpr int16_t kMarkerOk = -32768;  // terminal voltage 0x8000, temperature -32768
constexpr int16_t kMarkerFail = 32767;

}  // namespace

std::vector<std::pair<int, std::string>> ChannelStatusTexts::byControl() const {
    return {{kStateLineControl, stateLine},       {kErrorListControl, errorList},
            {kSenseVoltageControl, senseVoltage}, {kTerminalVoltageControl, terminalVoltage},
            {kCurrentControl, current},           {kLoadPowerControl, loadPower},
            {kModulePowerControl, modulePower},   {kTemperatureControl, temperature}};
}

std::string channelStateText(uint16_t status) {
    static constexpr const char* kStates[] = {"OFF", "ON", "INH", "ILLEGAL (ON+INH)"};
    std::string text = kStates[(status & 1) + 2 * ((status >> 4) & 1)];
    if (status & 0x2) text += ", Voltage rising";
    if (status & 0x4) text += ", Voltage falling";
    if (status & 0x8) text += ", Current Limit";
    return text;
}

std::string channelErrorList(uint16_t status) {
    std::string text;
    for (const ErrorFlag& flag : kErrorFlags)
        if (status & flag.bit) text += flag.text;
    return text;
}

std::string switchingFrequencyLines(const QOR& channel) {
    const MODULE_SYSTEM_CONFIG_DATA& system = channel.system();
    const double fMax = 0.001 / (system.pwmMinPeriod * 5e-8);  // kHz; one period tick is 50 ns
    if (!(fMax <= DBL_MAX) || fMax < DBL_MIN) return "fMax, fMin, fNom INVALID\n";
    const double p = channel.voltageFromRaw(system.pwmOffset);
    const double m = channel.voltageFromRaw(system.maxUnom);
    const double u = channel.voltageFromRaw(channel.user().Unom);
    return formatText(255, "fMax %5.2f kHz\n", fMax) +
           formatText(255, "fMin %5.2f kHz\n", p * fMax / (m + p)) +
           formatText(255, "fNom %5.2f kHz\n", (u + p) * fMax / (m + p));
}

ChannelStatusTexts channelStatusTexts(const QOR& channel, bool expertView) {
    const MODULE_MEASURE_DATA& measure = channel.measure();
    const int voltageDecimals = shownDecimals(channel.system().voltageExponent);
    const int currentDecimals = shownDecimals(channel.system().currentExponent);

    ChannelStatusTexts texts;
    texts.stateLine = channelStateText(measure.status);
    texts.errorList = channelErrorList(measure.status);
    if (expertView) texts.errorList += switchingFrequencyLines(channel);

    const double sense = channel.voltageFromRaw(measure.uSense);
    texts.senseVoltage = formatText(255, "%.*f", voltageDecimals, sense);

    // The markers are shown as text, but the module power is computed from the raw value as it is.
    const double terminal = channel.voltageFromRaw(measure.uTerminal);
    if (measure.uTerminal == kMarkerOk)
        texts.terminalVoltage = " OK ";
    else if (measure.uTerminal == kMarkerFail)
        texts.terminalVoltage = "FAIL";
    else
        texts.terminalVoltage = formatText(255, "%.*f", voltageDecimals, terminal);

    const double current = channel.currentFromRaw(measure.current);
    texts.current = formatText(255, "%.*f", currentDecimals, current);
    texts.loadPower = formatText(255, "%.1f", std::max(0.0, current * sense));
    texts.modulePower = formatText(255, "%.1f", std::max(0.0, current * terminal));

    if (measure.temperature == kMarkerOk)
        texts.temperature = " OK ";
    else if (measure.temperature == kMarkerFail)
        texts.temperature = "FAIL";
    else
        texts.temperature = formatText(255, "%d", measure.temperature);
    return texts;
}

std::optional<ChannelStatusTexts> showChannelStatus(unsigned channelIndex) {
    if (channelIndex >= static_cast<unsigned>(kChannelCount)) return std::nullopt;  // 0xFFFF: none selected
    const QOR& channel = channelState().channelTable.channels[channelIndex];
    if (!channel.configurable()) return std::nullopt;
    return channelStatusTexts(channel, (crateSettings().fCmdLine & kExpertView) != 0);
}

}  // namespace vz
