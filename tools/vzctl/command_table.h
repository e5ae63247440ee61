#pragma once
// vzctl's commands in one table: the parser knows a command by it, --help lists their usages from it,
// and the dispatcher runs a command's handler from it.
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/vzctl/cli_arguments.h"

namespace vz::ctl {

// What a command needs of the crate before it runs; vzctl's main opens that much and no more.
enum class CrateUse {
    connected,  // the module search has run: the command line, the shell and serve's requests
    usbDevice,  // ctrl: only the controller's USB device, so that a broken firmware can be replaced
    owner,      // serve: connects once and keeps the crate to itself; only on vzctl's command line
    none,       // sim-reset: opens nothing; only on vzctl's command line
};

struct VzctlCommand {
    std::string_view name;
    std::string_view usage;  // its lines under "Commands:" in --help (empty: said with another command)
    CrateUse crate;
    // The exit status; on a connected crate (a command that cannot run there says where it goes).
    int (*run)(const CliArguments& args, std::FILE* out);
    // Before the crate is opened: an exit status to end with, or -1 to go on.
    int (*check)(const CliArguments& args) = nullptr;
};

std::span<const VzctlCommand> vzctlCommands();
const VzctlCommand* findCommand(std::string_view name);

// The whole --help text.
const std::string& vzctlHelp();

// Checks what a command can check before the connection sequence (a configuration file to load):
// an exit status to end with, or -1 to go on and connect.
int checkBeforeConnecting(const CliArguments& args);

// Runs one command after the connection sequence; returns the exit status.
int runCommand(const CliArguments& args, std::FILE* out);

// `ctrl` inside the shell: the crate's connection is left for the processor's boot loader and made
// again afterwards, which only vzctl's main knows how to do. Without a runner `ctrl` is refused there.
using ShellCtrlRunner = std::function<int(const std::vector<std::string>& words, bool json, std::FILE* out)>;
void setShellCtrlRunner(ShellCtrlRunner runner);

}  // namespace vz::ctl
