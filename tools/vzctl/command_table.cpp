#include "tools/vzctl/command_table.h"

#include <array>

#include "base/number_parse.h"
#include "channel/channel_table.h"
#include "tools/vzctl/calibrate_command.h"
#include "tools/vzctl/can_command.h"
#include "tools/vzctl/controller_config_command.h"
#include "tools/vzctl/crate_commands.h"
#include "tools/vzctl/parameter_commands.h"
#include "tools/vzctl/shell_command.h"
#include "tools/vzctl/trace_command.h"

namespace vz::ctl {

namespace {

int badArguments(const std::string& why) {
    std::fprintf(stderr, "vzctl: %s\n", why.c_str());
    return 2;
}

ShellCtrlRunner shellCtrlRunner;

// The channel of calibrate and of the module commands of can, before anything is opened.
int checkChannelWord(const CliArguments& args, const std::string* word) {
    if (!word) return -1;
    if (std::string why; !parseInteger(*word, 0, kChannelCount - 1, why))
        return badArguments(args.command + " needs a channel number 0..126: " + why);
    return -1;
}

int checkCalibrateChannel(const CliArguments& args) {
    const auto& w = args.words;
    return checkChannelWord(args, !w.empty() && w[0].rfind("--", 0) != 0 ? &w[0] : nullptr);
}

int checkCanChannel(const CliArguments& args) {
    const auto& w = args.words;
    return checkChannelWord(args, w.size() >= 2 && w[0] != "list" ? &w[1] : nullptr);
}

int checkParameters(const CliArguments& args) {
    return checkParameterWords(args.command, args.words);
}

int checkTrace(const CliArguments& args) {
    TraceArgs trace;
    return parseTraceWords(args.words, trace);
}

int getWords(const CliArguments& args, std::FILE* out) {
    return getCommand(args.words, args.json, out);
}

int setWords(const CliArguments& args, std::FILE* out) {
    return setCommand(args.words, out);
}

int controllerConfig(const CliArguments& args, std::FILE* out) {
    if (!args.words.empty()) return badArguments("controller-config takes no words");
    return controllerConfigCommand(args.json, out);
}

int calibrateWords(const CliArguments& args, std::FILE* out) {
    return calibrateCommand(args.words, out);
}

int traceWords(const CliArguments& args, std::FILE* out) {
    return traceCommand(args.words, out);
}

int canWords(const CliArguments& args, std::FILE* out) {
    return canCommand(args.words, args.json, out);
}

int ctrlInShell(const CliArguments& args, std::FILE* out) {
    if (!shellCtrlRunner)
        return badArguments("ctrl needs the USB device of its own: run it on the command line");
    return shellCtrlRunner(args.words, args.json, out);
}

// The crate is open here: its state is written again when it closes.
int simResetInShell(const CliArguments&, std::FILE*) {
    return badArguments("sim-reset goes on vzctl's command line, while no program has the crate open");
}

int shellFromInput(const CliArguments& args, std::FILE* out) {
    if (!args.words.empty())
        return badArguments("shell takes no words; it reads commands from standard input");
    return runShell(stdin, out);
}

int serveInShell(const CliArguments&, std::FILE*) {
    return badArguments("serve goes on vzctl's command line: it owns the crate");
}

// In the order of --help.
const std::array kCommands = std::to_array<VzctlCommand>({
    {"status",
     "  status                 the title, then the channel list as the main window shows it\n"
     "  status --json          one object per present channel\n",
     CrateUse::connected, statusCommand},
    {"watch",
     "  watch                  poll like the program; print the list every N ticks (--every, default 10),\n"
     "                         stop after --ticks N ticks or on Ctrl+C\n",
     CrateUse::connected, watchCommand},
    {"on", "  on CHANNEL | off CHANNEL    switch one output (0..126)\n", CrateUse::connected,
     switchOutputCommand, checkSwitchOutput},
    {"off", "", CrateUse::connected, switchOutputCommand, checkSwitchOutput},
    {"all", "  all on|off             switch every output\n", CrateUse::connected, allCommand},
    {"group", "  group 1|2 on|off       switch a group\n", CrateUse::connected, groupCommand},
    {"inhibit", "  inhibit on|off         set or clear the inhibit of all outputs\n", CrateUse::connected,
     inhibitCommand},
    {"save",
     "  save FILE              save the configuration of every present channel (.pscfg); an existing\n"
     "                         FILE is replaced only when the new one was written completely\n",
     CrateUse::connected, saveCommand, checkSave},
    {"load",
     "  load FILE [--from N|MATCHING] [--to LIST] [--user] [--system] [--calibration]\n"
     "                         apply a saved configuration, as the read dialog does:\n"
     "                         --from  the file's channel for every target, or MATCHING (default: each\n"
     "                                 target takes the file channel of its own number)\n"
     "                         --to    target channels, e.g. 2,5,7-9 or all (default: the present ones)\n"
     "                         --user  user data (the default when no kind is given)\n"
     "                         --system       output configuration data (needs -ac; -f on WDX)\n"
     "                         --calibration  output calibration data (needs -ac)\n"
     "                         A file that does not parse writes nothing and exits with 1.\n",
     CrateUse::connected, loadCommand, checkLoad},
    {"get",
     "  get CHANNEL [KEY] [--json]\n"
     "                         the channel's parameters as its module holds them, or the one KEY,\n"
     "                         e.g. user.Unom, system.maxInom, user.SupervisionDelays.maxPower; a name\n"
     "                         without its record (Unom) when only one record has it\n",
     CrateUse::connected, getWords, checkParameters},
    {"set",
     "  set CHANNEL KEY VALUE  write one parameter: volts and amperes as physical values (set 1 user.Unom\n"
     "                         12.5), the rest as numbers; prints what the module then holds. A value the\n"
     "                         module refuses exits with 1, a bad key or value with 2. A value may carry\n"
     "                         its unit: set 1 Unom \"5 V\", set 1 Inom 250mA; a decimal comma is a point\n"
     "                         (12,5). system.* keys are factory data: only with -ac (on WDX also\n"
     "                         system.maxUSense, maxCurrent and maxPower without)\n",
     CrateUse::connected, setWords, checkParameters},
    {"controller-config",
     "  controller-config [--json]\n"
     "                         the crate controller's network settings and option flags\n",
     CrateUse::connected, controllerConfig},
    {"calibrate",
     "  calibrate CH voltage|current --meter CMD [--meter-timeout S]\n"
     "                         (-ac only) runs the calibration wizard on channel CH: at each step where an\n"
     "                         operator would read an external instrument it runs CMD and takes the one\n"
     "                         number it prints (volts or amperes, decimal comma allowed; two numbers or\n"
     "                         1,234.5 are refused; killed after S seconds, default 60); --meter sim reads\n"
     "                         the virtual crate's multimeter. Samples once the output's ramp has ended.\n"
     "                         Prints each step and the old and new gain/offset of each quantity; a pair\n"
     "                         refused or clamped to 16 bits exits with 1. Set voltage, current limit and\n"
     "                         sense mode are put back at the end\n",
     CrateUse::connected, calibrateWords, checkCalibrateChannel},
    {"trace",
     "  trace CH [--mode 1|2|3] [--csv FILE] [--timeout S]\n"
     "                         the module of channel CH records a trace (mode 1 and 2: sense voltage,\n"
     "                         module voltage and current, 82 ms or 5 ms; 3, the default: its sync\n"
     "                         timings); vzctl waits for it (at most S seconds, default 30), prints its\n"
     "                         statistics and writes the samples to FILE as CSV\n",
     CrateUse::connected, traceWords, checkTrace},
    {"can",
     "  can list [--json]      (QX308) each module's processor, boot-loader and application versions and\n"
     "                         which of them runs\n"
     "  can backup CH FILE     read the module's flash, EEPROM and configuration memory into FILE (.bex);\n"
     "                         take one before every update. FILE may be a directory: the file is then\n"
     "                         named 000005_dsPIC30F_20261209-140307.bex (module, family, local time).\n"
     "                         The file is replaced only when the backup is complete; pipes and devices\n"
     "                         are refused\n"
     "  can program CH FILE [--overwrite-config] [--kind bootloader|application|update]\n"
     "                         program an enriched firmware file (Intel HEX with 0xD1 parameters) and start\n"
     "                         it; the kind comes from the name (_BL.HEX, _FW.HEX, _FBU.HEX) or --kind and\n"
     "                         must match the file's type; damaged files and files for another processor\n"
     "                         are refused before the boot loader starts; the module's configuration\n"
     "                         range is kept unless --overwrite-config or -oo; returns once it runs\n"
     "  can restore CH FILE    write a backup back: every row it holds that differs (the boot loader's\n"
     "                         own rows kept), the application's size and checksum; then start the\n"
     "                         application it holds. Other processors' backups and firmware files are\n"
     "                         refused\n"
     "  can start CH bootloader|application\n"
     "                         start one of the module's firmwares. Long jobs show their progress; Ctrl+C\n"
     "                         stops a job between two rows and says what state the module is left in\n",
     CrateUse::connected, canWords, checkCanChannel},
    {"ctrl",
     "  ctrl info              the controller's processor: part id, revision, firmware and boot-loader\n"
     "                         versions (--json too); the processor is restarted from its flash afterwards\n"
     "  ctrl program FILE [--erase-bootloader] [--erase-firmware] [--no-verify] [--dry-run]\n"
     "                         program a controller firmware or boot-loader image (TI COFF .out). The image\n"
     "                         says what is erased: a boot-loader image sectors A and B, a firmware image\n"
     "                         C-J; --erase-bootloader and --erase-firmware erase the other sectors too.\n"
     "                         An image with words in a sector that stays unerased and is not blank, or\n"
     "                         with no words in the flash, is refused before anything is touched. The plan\n"
     "                         (image type, sectors, address ranges) is logged first; --dry-run prints it,\n"
     "                         checks it against the controller and writes nothing. Exit 0 only when the\n"
     "                         controller runs afterwards, or cannot by the plan (which is then said). The\n"
     "                         log and a progress bar go to standard error; Ctrl+C stops at the next "
     "packet.\n"
     "                         Only the USB device is opened: this works on a controller that no longer\n"
     "                         answers module access; in the shell the crate is reconnected afterwards\n",
     CrateUse::usbDevice, ctrlInShell},
    {"sim-reset",
     "  sim-reset              (virtual crate only) delete the state the port's virtual crate keeps between\n"
     "                         runs (SIM: $XDG_STATE_HOME/vidizozorez/virtual-crate.json, or the file\n"
     "                         VIDIZOZOREZ_SIM_STATE names; a scenario: its \"stateFile\"), so that the "
     "next\n"
     "                         run starts from the pristine crate; refused while a program has the crate\n"
     "                         open. Does not connect\n",
     CrateUse::none, simResetInShell},
    {"shell",
     "  shell                  connect once, then run commands from standard input, one a line, written\n"
     "                         as on the command line without options and port (\"quotes\" keep blanks,\n"
     "                         # starts a comment, exit ends); a prompt only on a terminal; the exit\n"
     "                         status is that of the first command that failed\n",
     CrateUse::connected, shellFromInput},
    {"serve",
     "  serve [--listen ADDR:PORT] [--allow-control --token-file F]\n"
     "                         connect once and serve the crate over HTTP until SIGTERM or Ctrl+C (exit 0):\n"
     "                         GET /metrics (Prometheus), /api/v1/status (status --json),\n"
     "                         /api/v1/channels/N (get N --json; ?key=KEY, ?format=text). Listens on\n"
     "                         127.0.0.1:9610 unless --listen says otherwise (port 0: any free port); "
     "prints\n"
     "                         \"serving http://ADDR:PORT\" once it listens. A crate that stops answering "
     "is\n"
     "                         reported (vidizozorez_crate_up 0) and tried again with growing pauses.\n"
     "                         Control (POST /api/v1/channels/N/on|off, /api/v1/all/on|off,\n"
     "                         /api/v1/group/1|2/on|off, /api/v1/inhibit/on|off,\n"
     "                         /api/v1/channels/N/parameters/KEY with the VALUE as body) only with\n"
     "                         --allow-control and the header \"Authorization: Bearer TOKEN\", TOKEN\n"
     "                         being the first line of F, a file only its owner may read (mode 0600);\n"
     "                         otherwise 403\n",
     CrateUse::owner, serveInShell},
});

}  // namespace

std::span<const VzctlCommand> vzctlCommands() {
    return kCommands;
}

const VzctlCommand* findCommand(std::string_view name) {
    for (const VzctlCommand& command : kCommands)
        if (command.name == name) return &command;
    return nullptr;
}

const std::string& vzctlHelp() {
    static const std::string help = [] {
        std::string text =
            "Usage: vzctl [options] [PORT [OptNum]] [--] COMMAND [ARGS]\n"
            "vzctl's own options --json, --ticks N, --every N, --serial SN and --help may stand anywhere.\n"
            "\n"
            "PORT       SIM (the built-in virtual crate, keeping its state between runs), SIM:fresh (the "
            "same crate\n"
            "           as it leaves the factory, keeping nothing), SIM:<scenario.json>, or anything else "
            "for the\n"
            "           USB bridges\n"
            "options    the program's option letters, e.g. -ac -g2 -g3 -af -sa -sm -gm -x -sN -l logfile\n"
            "\n"
            "Commands:\n";
        for (const VzctlCommand& command : kCommands) text += command.usage;
        return text +
               "\n"
               "  --serial SN            with several USB bridges attached, use the one with this serial "
               "number\n"
               "  --server URL           status, get, on, off, all, group, inhibit and set ask a running "
               "vzctl serve\n"
               "                         at URL instead of opening the crate (no PORT needed)\n"
               "  --token-file F         the bearer token of serve --allow-control; with --server, sent with "
               "the\n"
               "                         switching commands and set\n"
               "\n"
               "Exit status: 0 success, 1 link failure or refused command, 2 bad arguments (checked before "
               "the crate\n"
               "is opened; the bad word is named).\n"
               "Ctrl+C, SIGTERM and SIGHUP stop a device job at its next safe point (exit 1); a second one "
               "ends vzctl.\n"
               "A crate or module that stops answering is given up after five silent retries: vzctl names it "
               "on\n"
               "standard error and exits with 1. On a terminal the module search shows its progress on "
               "standard error.\n"
               "Questions are answered without a window: Cancel, Abort, or OK for plain messages; every "
               "message\n"
               "is printed to standard error.\n";
    }();
    return help;
}

int checkBeforeConnecting(const CliArguments& args) {
    const VzctlCommand* command = findCommand(args.command);
    return command && command->check ? command->check(args) : -1;
}

void setShellCtrlRunner(ShellCtrlRunner runner) {
    shellCtrlRunner = std::move(runner);
}

int runCommand(const CliArguments& args, std::FILE* out) {
    if (const VzctlCommand* command = findCommand(args.command)) return command->run(args, out);
    return badArguments("the command \"" + args.command + "\" is not available yet");
}

}  // namespace vz::ctl
