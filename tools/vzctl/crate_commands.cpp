#include "tools/vzctl/crate_commands.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "app/core/channel_list_text.h"
#include "app/core/polling.h"
#include "app/core/title.h"
#include "channel/channel_table.h"
#include "channel/switch_commands.h"
#include "link/clock.h"
#include "link/module_access.h"

namespace vz::ctl {

namespace {

std::atomic<bool> interrupted{false};
void onInterrupt(int) { interrupted = true; }

const char* kindName(uint32_t kind) {
    switch (kind) {
        case kKindDeviz: return "DEVIZ";
        case kKindReruz: return "RERUZ";
        case kKindWdxSlave: return "WDXslave";
        case kKindBolanJova: return "BOLAN JOVA";
        default: return "other";
    }
}

std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// One tick per present channel, so every line shows fresh measurements.
void pollEveryChannelOnce() {
    for (uint32_t i = 0; i < channelTable.foundCount; ++i) pollingTick();
}

int switchResult(int r, const std::string& what) {
    if (r == 2) return 0;
    std::fprintf(stderr, "vzctl: %s was not accepted by the crate\n", what.c_str());
    return 1;
}

bool parseOnOff(const std::string& word, uint16_t on, uint16_t off, uint16_t& out) {
    if (word == "on") out = on;
    else if (word == "off") out = off;
    else return false;
    return true;
}

int badArguments(const std::string& why) {
    std::fprintf(stderr, "vzctl: %s\n", why.c_str());
    return 2;
}

}  // namespace

void printChannelList(std::FILE* out) {
    std::fprintf(out, "%s\n", titleText("").c_str());
    static ChannelListText list;
    buildChannelList(list);
    // The last line is the blank one below the list.
    for (int i = 0; i + 1 < list.count; ++i) std::fprintf(out, "%s\n", trimmed(list.lines[i].text).c_str());
}

void printChannelJson(std::FILE* out) {
    nlohmann::json channels = nlohmann::json::array();
    for (int i = 0; i < kChannelCount; ++i) {
        const QOR& q = channelTable.channels[static_cast<std::size_t>(i)];
        if (!q.present()) continue;
        const char* flags[16];
        const int n = statusFlagTexts(q.status, flags, 16);
        nlohmann::json flagList = nlohmann::json::array();
        for (int f = 0; f < n; ++f) flagList.push_back(trimmed(flags[f]));
        channels.push_back({{"channel", i},
                            {"kind", q.moduleKind},
                            {"kindName", kindName(q.moduleKind)},
                            {"serial", q.foundSerial},
                            {"usense", q.voltageFromRaw(q.uSense)},
                            {"current", q.currentFromRaw(q.current)},
                            {"umodule", q.voltageFromRaw(q.uTerminal)},
                            {"status", q.status},
                            {"state", trimmed(statusStateText(q.status))},
                            {"flags", flagList}});
    }
    nlohmann::json doc = {{"title", titleText("")}, {"channels", channels}};
    std::fprintf(out, "%s\n", doc.dump(2).c_str());
}

int runCommand(const CliArguments& args, std::FILE* out) {
    const auto& w = args.words;
    if (args.command == "status") {
        if (!w.empty()) return badArguments("status takes no words");
        pollEveryChannelOnce();
        args.json ? printChannelJson(out) : printChannelList(out);
        return 0;
    }
    if (args.command == "watch") {
        if (!w.empty()) return badArguments("watch takes no words");
        std::signal(SIGINT, onInterrupt);
        for (int tick = 1; !interrupted && (args.ticks < 0 || tick <= args.ticks); ++tick) {
            const int64_t start = clock().nowUs();
            pollingTick();
            if (tick % args.every == 0 || tick == args.ticks) {
                printChannelList(out);
                std::fprintf(out, "\n");
                std::fflush(out);
            }
            clock().sleepUs(100'000 - (clock().nowUs() - start));
        }
        return 0;
    }
    if (args.command == "on" || args.command == "off") {
        int channel = -1;
        char* end = nullptr;
        if (w.size() == 1) channel = static_cast<int>(std::strtol(w[0].c_str(), &end, 10));
        if (w.size() != 1 || *end || channel < 0 || channel >= kChannelCount)
            return badArguments(args.command + " needs a channel number 0..126");
        if (!channelPresent(channel)) {
            std::fprintf(stderr, "vzctl: channel U%d is not present\n", channel);
            return 1;
        }
        const uint16_t word = args.command == "on" ? kSwitchOn : kSwitchOff;
        return switchResult(sendSwitchCommand(moduleAddressByte(channel), word),
                            "U" + std::to_string(channel) + " " + args.command);
    }
    if (args.command == "all") {
        uint16_t word = 0;
        if (w.size() != 1 || !parseOnOff(w[0], kSwitchOn, kSwitchOff, word)) return badArguments("all on|off");
        return switchResult(sendSwitchCommand(kAllModules, word), "all " + w[0]);
    }
    if (args.command == "group") {
        uint16_t word = 0;
        if (w.size() != 2 || (w[0] != "1" && w[0] != "2") || !parseOnOff(w[1], kSwitchOn, kSwitchOff, word))
            return badArguments("group 1|2 on|off");
        return switchResult(sendSwitchCommand(w[0] == "1" ? kGroup1 : kGroup2, word), "group " + w[0] + " " + w[1]);
    }
    if (args.command == "inhibit") {
        uint16_t word = 0;
        if (w.size() != 1 || !parseOnOff(w[0], kInhibitOn, kInhibitOff, word)) return badArguments("inhibit on|off");
        return switchResult(sendSwitchCommand(kAllModules, word), "inhibit " + w[0]);
    }
    return badArguments("the command \"" + args.command + "\" is not available yet");
}

}  // namespace vz::ctl
