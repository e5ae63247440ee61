#include "tools/vzctl/crate_json.h"

#include "app/core/channel_list_text.h"

namespace vz::ctl {
namespace {

const char* kindName(uint32_t kind) {
    switch (kind) {
        case kKindDeviz:
            return "DEVIZ";
        case kKindReruz:
            return "RERUZ";
        case kKindWdxSlave:
            return "WDXslave";
        case kKindBolanJova:
            return "BOLAN JOVA";
        default:
            return "other";
    }
}

std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

}  // namespace

nlohmann::json statusJson(const std::array<QOR, kChannelCount>& table, const std::string& title) {
    nlohmann::json channels = nlohmann::json::array();
    for (int i = 0; i < kChannelCount; ++i) {
        const QOR& q = table[static_cast<std::size_t>(i)];
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
    return {{"title", title}, {"channels", channels}};
}

}  // namespace vz::ctl
