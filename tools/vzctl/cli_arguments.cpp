#include "tools/vzctl/cli_arguments.h"

#include <cstdlib>
#include <set>

namespace vz::ctl {

const char* const kVzctlHelp =
    "Usage: vzctl [options] [PORT [OptNum]] [--] COMMAND [ARGS] [--json] [--ticks N] [--every N] [--serial SN]\n"
    "\n"
    "PORT       SIM (the built-in virtual crate), SIM:<scenario.json>, or anything else for the USB bridges\n"
    "options    the program's option letters, e.g. -ac -g2 -g3 -af -sa -sm -gm -x -sN -l logfile\n"
    "\n"
    "Commands:\n"
    "  status                 the title, then the channel list as the main window shows it\n"
    "  status --json          one object per present channel\n"
    "  watch                  poll like the program; print the list every N ticks (--every, default 10),\n"
    "                         stop after --ticks N ticks or on Ctrl+C\n"
    "  on CHANNEL | off CHANNEL    switch one output (0..126)\n"
    "  all on|off             switch every output\n"
    "  group 1|2 on|off       switch a group\n"
    "  inhibit on|off         set or clear the inhibit of all outputs\n"
    "  save FILE              save the configuration of every present channel (.pscfg); an existing\n"
    "                         FILE is replaced only when the new one was written completely\n"
    "  load FILE [--from N|MATCHING] [--to LIST] [--user] [--system] [--calibration]\n"
    "                         apply a saved configuration, as the read dialog does:\n"
    "                         --from  the file's channel for every target, or MATCHING (default: each\n"
    "                                 target takes the file channel of its own number)\n"
    "                         --to    target channels, e.g. 2,5,7-9 or all (default: the present ones)\n"
    "                         --user  user data (the default when no kind is given)\n"
    "                         --system       output configuration data (needs -ac; -f on WDX)\n"
    "                         --calibration  output calibration data (needs -ac)\n"
    "                         A file that does not parse writes nothing and exits with 1.\n"
    "\n"
    "Exit status: 0 success, 1 link failure or refused command, 2 bad arguments.\n"
    "Questions are answered without a window: Cancel, Abort, or OK for plain messages; every message\n"
    "is printed to standard error.\n";

namespace {
const std::set<std::string> kCommands = {"status", "watch", "on", "off", "all", "group", "inhibit", "save", "load"};

bool toInt(const std::string& text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end) return false;
    value = static_cast<int>(v);
    return true;
}
}  // namespace

bool parseCliArguments(int argc, const char* const* argv, CliArguments& out, std::string& error) {
    out = CliArguments{};
    out.programArgs.push_back(argc > 0 ? argv[0] : "vzctl");
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            out.help = true;
            return true;
        }
        if (a == "--") {
            ++i;
            break;
        }
        if (kCommands.count(a)) break;
        out.programArgs.push_back(a);
    }
    if (i >= argc) {
        error = "no command given (try --help)";
        return false;
    }
    out.command = argv[i++];
    if (!kCommands.count(out.command)) {
        error = "unknown command \"" + out.command + "\" (try --help)";
        return false;
    }
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](int& target) {
            if (i + 1 >= argc || !toInt(argv[i + 1], target)) {
                error = a + " needs a number";
                return false;
            }
            ++i;
            return true;
        };
        if (a == "--json") {
            out.json = true;
        } else if (a == "--help") {
            out.help = true;
        } else if (a == "--ticks") {
            if (!value(out.ticks)) return false;
        } else if (a == "--every") {
            if (!value(out.every) || out.every < 1) {
                error = "--every needs a number of at least 1";
                return false;
            }
        } else if (a == "--serial") {
            if (i + 1 >= argc) {
                error = "--serial needs a serial number";
                return false;
            }
            out.serial = argv[++i];
        } else {
            out.words.push_back(a);
        }
    }
    return true;
}

}  // namespace vz::ctl
