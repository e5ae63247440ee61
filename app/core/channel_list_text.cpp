#include "app/core/channel_list_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/core/polling.h"
#include "base/controller_type.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/firmware_version.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"

namespace vz {

namespace {

struct BitText {
    int bit;
    const char* text;
};
constexpr BitText kStates[] = {{4, "INHIBIT "}, {1, "UP "}, {2, "DOWN "}, {0, "ON "}, {6, "Off "}};
constexpr BitText kFlags[] = {{15, "TEMP "},    {13, "UModMax "}, {14, "IModMax "}, {11, "USenMin "},
                              {12, "USenMax "}, {10, "Power "},   {8, "Timeout "},  {3, "ILimit "},
                              {5, "r "},        {9, "R "},        {7, "!"}};
constexpr uint32_t kIsSlave = 1u << 3;

// Appends formatted text at the end of the buffer, never past its size.
template <typename... Args>
void append(char* buffer, std::size_t size, const char* format, Args... args) {
    const std::size_t used = std::strlen(buffer);
    if (used + 1 < size) std::snprintf(buffer + used, size - used, format, args...);
}

bool isSlave(const QOR& q) {
    return q.system().flags & kIsSlave;
}

}  // namespace

const char* statusStateText(uint16_t status) {
    for (const auto& s : kStates)
        if (status & (1u << s.bit)) return s.text;
    return "OFF ";
}

int statusFlagTexts(uint16_t status, const char* texts[], int max) {
    int n = 0;
    for (const auto& f : kFlags)
        if ((status & (1u << f.bit)) && n < max) texts[n++] = f.text;
    return n;
}

void statusWordText(uint16_t status, char* buffer, std::size_t size) {
    std::snprintf(buffer, size, "%s", statusStateText(status));
    const char* flags[16];
    const int n = statusFlagTexts(status, flags, 16);
    for (int i = 0; i < n; ++i) append(buffer, size, "%s", flags[i]);
}

void channelLineText(const QOR& q, char* buffer, std::size_t size) {
    buffer[0] = '\0';
    const int number = q.moduleAddress;
    switch (q.moduleKind) {
        case kKindDeviz:
        case kKindReruz:
        case kKindWdxSlave: {
            append(buffer, size, "U%-3d Usense:%9.5lfV  I:%9.5lfA", number, q.voltageFromRaw(q.uSense),
                   q.currentFromRaw(q.current));
            if (crateSettings().controllerType == kQx308 || crateSettings().controllerType == kKrat)
                append(buffer, size, "  Umodule:%9.5lfV", q.voltageFromRaw(q.uTerminal));
            append(buffer, size, "%s", isSlave(q) ? "  Slave:  " : "  Status: ");
            char status[96];
            statusWordText(q.status, status, sizeof status);
            append(buffer, size, "%s", status);
            break;
        }
        case kKindBolanJova: {
            int16_t t[8];
            for (int i = 0; i < 8; ++i) t[i] = q.boardTemperature(i);
            append(buffer, size, "U%-3d Temp  %6d%6d%6d%6d   %6d%6d%6d%6d    JOVA: Special", number, t[0],
                   t[1], t[2], t[3], t[4], t[5], t[6], t[7]);
            break;
        }
        default:
            append(buffer, size, "U%-56d Status: Special", number);
            break;
    }
    if (crateSettings().fCmdLine & kGetBlock2) {
        if (crateSettings().controllerType == kWdx) {
            append(buffer, size, ", rx0Overflow: %u",
                   static_cast<uint32_t>(static_cast<int16_t>(q.rx0Overflow)));
            append(buffer, size, ", rx1Overflow: %u",
                   static_cast<uint32_t>(static_cast<int16_t>(q.rx1Overflow)));
            append(buffer, size, ", rx0Count: %u", q.rx0Count);
        } else {
            uint16_t w[4];
            std::memcpy(w, reinterpret_cast<const uint8_t*>(&q.measure().rx0Overflow), sizeof w);
            append(buffer, size, ", %.4X %.4X %.4X %.4X", w[0], w[1], w[2], w[3]);
        }
    }
    if (crateSettings().fCmdLine & kGetBlock3) {
        append(buffer, size,
               (crateSettings().controllerType == kQx308 || crateSettings().controllerType == kKrat)
                   ? ", idle: %u"
                   : ", rx1Count: %u",
               q.idle);
        append(buffer, size, ", mainCounter: %u", q.mainCounter);
    }
    if (crateSettings().fCmdLine & kShowFirmware) {
        char firmware[33];
        firmwareVersionText(q.firmware(), firmware, sizeof firmware);
        if (firmware[0]) append(buffer, size, "\t, FW: %s", firmware);
    }
}

void heatSinkLineText(double usense, double current, char* buffer, std::size_t size) {
    const double d = (usense - current) / 1000.0;
    const double t = std::sqrt((current / d - 190.57) / 0.0195139) - 178.6655;
    const double f = t * 1.8 + 32.0;
    const double a = d * 2400.0 + usense;
    std::snprintf(buffer, size,
                  "Heat sink temperature: %+3.1lf \xB0"
                  "C / %3.1lf \xB0"
                  "F, Aux Supply Voltage: %5.2lf V",
                  t, f, a);
}

void buildChannelList(ChannelListText& out) {
    out.count = 0;
    int y = 0;
    auto add = [&out](int lineY) -> char* {
        ListLine& l = out.lines[static_cast<std::size_t>(out.count++)];
        l.y = lineY;
        l.text[0] = '\0';
        l.channel = -1;
        l.state = MeasurementState::read;
        return l.text;
    };
    if (crateSettings().fCmdLine & kExpertView) {
        const LocalTime& t = pollingCycle().lastTickTime;
        std::snprintf(add(0), kLineChars + 1,
                      "%.4d-%.2d-%.2d %.2d:%.2d:%.2d  Measurement %u  Read Retrys: %u  Write Errors: %u  "
                      "OtherMessage: %u  TraceOverflow: %u    ",
                      t.year, t.month, t.day, t.hour, t.minute, t.second, pollingCycle().tickCount,
                      linkState().commProblem.readRetries.load(), linkState().commProblem.writeRetries.load(),
                      0u, 0u);
        std::snprintf(add(kLineHeight), kLineChars + 1, "Module Read Errors: %u, Module Write Errors: %u",
                      linkState().moduleReadErrors.load(), linkState().moduleWriteErrors.load());
        y = 2 * kLineHeight;
    }
    const bool atlas = crateSettings().fCmdLine & kAtlasMode;
    for (int i = 0; i < kChannelCount; ++i) {
        QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(i)];
        if (!q.present() || (!(crateSettings().fCmdLine & kExpertView) && isSlave(q))) continue;
        q.rowTop = y;
        if (!atlas || i <= 6) {
            channelLineText(q, add(y), kLineChars + 1);
            ListLine& line = out.lines[static_cast<std::size_t>(out.count - 1)];
            line.channel = i;
            line.state = measurementState(i);
            y += kLineHeight;
        } else if (i == 11) {
            heatSinkLineText(q.voltageFromRaw(q.uSense), q.currentFromRaw(q.current), add(y), kLineChars + 1);
            y += kLineHeight;
        }
    }
    add(y);  // the blank line below the list
}

}  // namespace vz
