#include "tools/vzctl/crate_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/core/channel_list_text.h"
#include "app/core/polling.h"
#include "app/core/title.h"
#include "base/clock.h"
#include "base/message_boxes.h"
#include "base/number_parse.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/switch_commands.h"
#include "configfile/config_file_commands.h"
#include "configfile/config_read_options.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "tools/vzctl/crate_json.h"
#include "tools/vzctl/file_checks.h"
#include "tools/vzctl/stop_signals.h"

namespace vz::ctl {

namespace {

std::atomic<bool> interrupted{false};
void onInterrupt(int) {
    interrupted = true;
}

std::string trimmed(const char* text) {
    std::string s(text);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// One tick per present channel, so every line shows fresh measurements.
void pollEveryChannelOnce() {
    for (uint32_t i = 0; i < channelState().channelTable.foundCount; ++i) pollingTick();
}

int switchResult(int r, const std::string& what) {
    if (r == 2) return 0;
    std::fprintf(stderr, "vzctl: %s was not accepted by the crate\n", what.c_str());
    return 1;
}

bool parseOnOff(const std::string& word, uint16_t on, uint16_t off, uint16_t& out) {
    if (word == "on")
        out = on;
    else if (word == "off")
        out = off;
    else
        return false;
    return true;
}

int badArguments(const std::string& why) {
    std::fprintf(stderr, "vzctl: %s\n", why.c_str());
    return 2;
}

bool toNumber(const std::string& text, int& value) {
    std::string ignored;
    const auto v = parseInteger(text, 0, 1000, ignored);
    if (v) value = static_cast<int>(*v);
    return v.has_value();
}

// "2,5,7-9" or "all" (every channel below the controller's limit).
bool parseChannelList(const std::string& text, std::vector<int>& channels, std::string& error) {
    channels.clear();
    if (text == "all") {
        for (int i = 0; i < crateSettings().typeChannelLimit && i < kChannelCount; ++i) channels.push_back(i);
        return true;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        const bool ok = dash == std::string::npos
                            ? toNumber(item, first) && toNumber(item, last)
                            : toNumber(item.substr(0, dash), first) && toNumber(item.substr(dash + 1), last);
        if (!ok || first > last || last >= crateSettings().typeChannelLimit) {
            error = "--to: \"" + item + "\" is not a channel or range of 0.." +
                    std::to_string(crateSettings().typeChannelLimit - 1);
            return false;
        }
        for (int i = first; i <= last; ++i) channels.push_back(i);
        start = comma + 1;
    }
    return true;
}

// Why a path cannot be loaded, in the words that are true of it; empty when it is a readable file.
std::string unloadableBecause(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? "no such configuration file"
                               : std::string("cannot be read: ") + std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "is a directory, not a configuration file";
    if (!S_ISREG(info.st_mode)) return "is not a regular file";
    if (access(path.c_str(), R_OK) != 0) return std::string("cannot be read: ") + std::strerror(errno);
    return {};
}

// "user data", "user or configuration data", ...: the kinds a load was asked to apply.
std::string kindsText(const ConfigReadOptions& o) {
    std::vector<std::string> kinds;
    if (o.outputUser) kinds.emplace_back("user");
    if (o.outputConfig) kinds.emplace_back("configuration");
    if (o.outputCalib) kinds.emplace_back("calibration");
    std::string text;
    for (std::size_t i = 0; i < kinds.size(); ++i)
        text += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + kinds[i];
    return text + " data";
}

// One line per target saying what it really got. True when every target took its file channel with
// at least one parameter written and none refused.
bool reportLoad(const ConfigApplyReport& report, const ConfigReadOptions& options, const std::string& file,
                std::FILE* out) {
    using Result = ConfigApplyReport::Target::Result;
    bool complete = !report.targets.empty();
    for (const auto& t : report.targets) {
        char target[8], source[8];
        std::snprintf(target, sizeof target, "U%d", t.channel);
        std::snprintf(source, sizeof source, "U%d", t.fileChannel);
        std::string why;
        switch (t.result) {
            case Result::absent:
                why = "no module at this channel";
                break;
            case Result::notInFile:
                why = std::string("the file has no channel ") + source;
                break;
            case Result::notConfigurable:
                why = "not a configurable output; nothing was written";
                break;
            case Result::applied:
                if (t.written > 0)
                    std::fprintf(out, "%s <- %s of %s: %d parameter%s written\n", target, source,
                                 file.c_str(), t.written, t.written == 1 ? "" : "s");
                if (t.refused > 0)
                    why = std::to_string(t.refused) + " parameter" + (t.refused == 1 ? " was" : "s were") +
                          " not accepted by the module";
                else if (t.written == 0)
                    why =
                        std::string("the file's ") + source + " holds no " + kindsText(options) + " to apply";
                break;
        }
        if (why.empty()) continue;
        complete = false;
        std::fprintf(stderr, "vzctl: %s %s: %s\n", target,
                     t.result == Result::applied && t.written > 0 ? "loaded in part" : "not loaded",
                     why.c_str());
    }
    if (report.targets.empty()) std::fprintf(stderr, "vzctl: no channel to load\n");
    return complete;
}

// on CHANNEL / off CHANNEL: the number, checked before the crate is opened and again here.
std::optional<int> switchedChannel(const CliArguments& args, int& status) {
    const auto& w = args.words;
    std::string why;
    const auto parsed = w.size() == 1 ? parseInteger(w[0], 0, kChannelCount - 1, why) : std::nullopt;
    if (!parsed)
        status =
            badArguments(args.command + " needs a channel number 0..126" + (why.empty() ? "" : ": " + why));
    return parsed ? std::optional<int>(static_cast<int>(*parsed)) : std::nullopt;
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
    std::fprintf(out, "%s\n",
                 statusJson(channelState().channelTable.channels, titleText("")).dump(2).c_str());
}

int statusCommand(const CliArguments& args, std::FILE* out) {
    if (!args.words.empty()) return badArguments("status takes no words");
    pollEveryChannelOnce();
    args.json ? printChannelJson(out) : printChannelList(out);
    return 0;
}

int watchCommand(const CliArguments& args, std::FILE* out) {
    if (!args.words.empty()) return badArguments("watch takes no words");
    installStopSignals(onInterrupt);
    // On a terminal the list is redrawn in place (as watch(1) does: home, clear, print); into a
    // file or pipe each print follows the last.
    const bool terminal = isatty(fileno(out)) == 1;
    // The first list shows what the channels measure, not the zeros of channels not yet read.
    pollEveryChannelOnce();
    if (linkState().commProblem.abort) return 0;  // the crate was given up: the caller reports it
    for (int tick = 1; !interrupted && (args.ticks < 0 || tick <= args.ticks); ++tick) {
        const int64_t start = clock().nowUs();
        pollingTick();
        if (linkState().commProblem.abort) break;  // the crate was given up: the caller reports it
        if (tick % args.every == 0 || tick == args.ticks) {
            if (terminal) std::fputs("\033[H\033[2J", out);
            printChannelList(out);
            std::fprintf(out, "\n");
            std::fflush(out);
        }
        clock().sleepUs(100'000 - (clock().nowUs() - start));
    }
    return 0;
}

int checkSwitchOutput(const CliArguments& args) {
    int status = -1;
    return switchedChannel(args, status) ? -1 : status;
}

int switchOutputCommand(const CliArguments& args, std::FILE*) {
    int status = -1;
    const std::optional<int> channel = switchedChannel(args, status);
    if (!channel) return status;
    if (!channelPresent(*channel)) {
        std::fprintf(stderr, "vzctl: channel U%d is not present\n", *channel);
        return 1;
    }
    const uint16_t word = args.command == "on" ? kSwitchOn : kSwitchOff;
    return switchResult(sendSwitchCommand(moduleAddressByte(*channel), word),
                        "U" + std::to_string(*channel) + " " + args.command);
}

int allCommand(const CliArguments& args, std::FILE*) {
    const auto& w = args.words;
    uint16_t word = 0;
    if (w.size() != 1 || !parseOnOff(w[0], kSwitchOn, kSwitchOff, word)) return badArguments("all on|off");
    return switchResult(sendSwitchCommand(kAllModules, word), "all " + w[0]);
}

int groupCommand(const CliArguments& args, std::FILE*) {
    const auto& w = args.words;
    uint16_t word = 0;
    if (w.size() != 2 || (w[0] != "1" && w[0] != "2") || !parseOnOff(w[1], kSwitchOn, kSwitchOff, word))
        return badArguments("group 1|2 on|off");
    return switchResult(sendSwitchCommand(w[0] == "1" ? kGroup1 : kGroup2, word),
                        "group " + w[0] + " " + w[1]);
}

int inhibitCommand(const CliArguments& args, std::FILE*) {
    const auto& w = args.words;
    uint16_t word = 0;
    if (w.size() != 1 || !parseOnOff(w[0], kInhibitOn, kInhibitOff, word))
        return badArguments("inhibit on|off");
    return switchResult(sendSwitchCommand(kAllModules, word), "inhibit " + w[0]);
}

int saveCommand(const CliArguments& args, std::FILE* out) {
    const auto& w = args.words;
    if (w.size() != 1) return badArguments("save needs exactly one FILE");
    if (!savePowerSupplyConfiguration(w[0])) {
        std::fprintf(stderr, "vzctl: the configuration was not saved; %s is unchanged\n", w[0].c_str());
        return 1;
    }
    int saved = 0;
    for (int i = 0; i < crateSettings().typeChannelLimit && i < kChannelCount; ++i)
        saved += channelPresent(i) ? 1 : 0;
    std::fprintf(out, "saved %d channel%s to %s\n", saved, saved == 1 ? "" : "s", w[0].c_str());
    return 0;
}

int checkSave(const CliArguments& args) {
    const auto& w = args.words;
    if (w.size() != 1) return -1;  // the command itself reports its arguments
    if (std::string why; !writableFile(w[0], why)) {
        std::fprintf(stderr, "vzctl: cannot write %s: %s\n", w[0].c_str(), why.c_str());
        return 1;
    }
    return -1;
}

// The read dialog's choices as options; what the dialog would not let the operator choose is refused.
int loadCommand(const CliArguments& args, std::FILE* out) {
    const auto& w = args.words;
    std::string file;
    std::optional<std::string> from;
    std::optional<std::string> to;
    bool user = false;
    bool config = false;
    bool calibration = false;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const std::string& a = w[i];
        if (a == "--from" || a == "--to") {
            if (i + 1 >= w.size() || w[i + 1].empty()) return badArguments(a + " needs a value");
            (a == "--from" ? from : to) = w[++i];
        } else if (a == "--user") {
            user = true;
        } else if (a == "--system") {
            config = true;
        } else if (a == "--calibration") {
            calibration = true;
        } else if (!a.empty() && a[0] == '-') {
            return badArguments("load: unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return badArguments("load takes one FILE");
        }
    }
    if (file.empty()) return badArguments("load needs a FILE");

    const ReadDialogControls controls =
        readDialogControls(crateSettings().controllerType, crateSettings().fCmdLine);
    if (config && !controls.outputConfig)
        return badArguments(
            "--system (output configuration data) needs option -ac, or -f on a WDX controller");
    if (calibration && !controls.outputCalib) return badArguments("--calibration needs option -ac");
    if (controls.wdxFixed && (from || to))
        return badArguments(
            "on a WDX controller without -ac or -f the matching channels are read into the "
            "present ones; --from and --to need -ac or -f");

    ConfigReadOptions options;
    if (user || config || calibration) {
        options.outputUser = user;
        options.outputConfig = config;
        options.outputCalib = calibration;
    }
    if (from) {
        std::string upper = *from;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const int choices = static_cast<int>(fileChannelChoices(crateSettings().typeChannelLimit).size()) - 1;
        int channel = 0;
        if (upper == "MATCHING")
            options.fileChannel = 0;
        else if (toNumber(*from, channel) && channel < choices)
            options.fileChannel = channel + 1;
        else
            return badArguments("--from takes MATCHING or a file channel 0.." + std::to_string(choices - 1));
    }
    std::string error;
    if (!to)
        options.targets = preselectedTargets();
    else if (!parseChannelList(*to, options.targets, error))
        return badArguments(error);
    applyReadDialogControls(controls, options);

    // A file that is not there would apply nothing; a command line says so rather than succeed.
    if (const std::string why = unloadableBecause(file); !why.empty()) {
        std::fprintf(stderr, "vzctl: %s: %s\n", file.c_str(), why.c_str());
        return 1;
    }
    ConfigApplyReport report;
    if (!applyConfigurationFile(file, options, &report)) {
        std::fprintf(stderr, "vzctl: %s was refused or does not parse (see above); nothing was written\n",
                     file.c_str());
        return 1;
    }
    return reportLoad(report, options, file, out) ? 0 : 1;
}

int checkLoad(const CliArguments& args) {
    std::string file;
    for (std::size_t i = 0; i < args.words.size(); ++i) {
        const std::string& a = args.words[i];
        if (a == "--from" || a == "--to")
            ++i;
        else if (!a.empty() && a[0] != '-' && file.empty())
            file = a;
    }
    if (file.empty()) return -1;  // the command itself reports its arguments
    // A bad or hostile file is turned away at once, before the crate is searched.
    if (const std::string why = unloadableBecause(file); !why.empty()) {
        std::fprintf(stderr, "vzctl: %s: %s\n", file.c_str(), why.c_str());
        return 1;
    }
    if (!configurationFileParses(file)) {
        printBox("Error in configuration file \"%s\"", file.c_str());
        std::fprintf(stderr, "vzctl: %s was refused or does not parse (see above); nothing was written\n",
                     file.c_str());
        return 1;
    }
    return -1;
}

}  // namespace vz::ctl
