#pragma once
// The vzctl commands over a connected crate.
#include <cstdio>

#include "tools/vzctl/cli_arguments.h"

namespace vz::ctl {

// Runs one command after the connection sequence; returns the exit status.
int runCommand(const CliArguments& args, std::FILE* out);

// The title line and the channel list lines with trailing blanks trimmed.
void printChannelList(std::FILE* out);
void printChannelJson(std::FILE* out);

}  // namespace vz::ctl
