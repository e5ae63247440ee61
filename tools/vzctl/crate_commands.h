#pragma once
// The vzctl commands over a connected crate.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/vzctl/cli_arguments.h"

namespace vz::ctl {

// Checks what a command can check before the connection sequence (a configuration file to load):
// an exit status to end with, or -1 to go on and connect.
int checkBeforeConnecting(const CliArguments& args);

// Runs one command after the connection sequence; returns the exit status.
int runCommand(const CliArguments& args, std::FILE* out);

// `ctrl` inside the shell: the crate's connection is left for the processor's boot loader and made
// again afterwards, which only vzctl's main knows how to do. Without a runner `ctrl` is refused there.
using ShellCtrlRunner = std::function<int(const std::vector<std::string>& words, bool json, std::FILE* out)>;
void setShellCtrlRunner(ShellCtrlRunner runner);

// The title line and the channel list lines with trailing blanks trimmed.
void printChannelList(std::FILE* out);
void printChannelJson(std::FILE* out);

}  // namespace vz::ctl
