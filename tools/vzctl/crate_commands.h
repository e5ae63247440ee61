#pragma once
// The vzctl commands over a connected crate.
#include <cstdio>

#include "tools/vzctl/cli_arguments.h"

namespace vz::ctl {

// Checks what a command can check before the connection sequence (a configuration file to load):
// an exit status to end with, or -1 to go on and connect.
int checkBeforeConnecting(const CliArguments& args);

// Runs one command after the connection sequence; returns the exit status.
int runCommand(const CliArguments& args, std::FILE* out);

// The title line and the channel list lines with trailing blanks trimmed.
void printChannelList(std::FILE* out);
void printChannelJson(std::FILE* out);

}  // namespace vz::ctl
