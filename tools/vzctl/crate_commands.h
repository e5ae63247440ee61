#pragma once
// The vzctl commands that read and switch the crate as the main window does, and save and load its
// configuration. Each handler returns the exit status; a check returns one to end with before the
// crate is opened, or -1 to go on and connect.
#include <cstdio>

#include "tools/vzctl/cli_arguments.h"

namespace vz::ctl {

int statusCommand(const CliArguments& args, std::FILE* out);
int watchCommand(const CliArguments& args, std::FILE* out);

// on CHANNEL and off CHANNEL.
int checkSwitchOutput(const CliArguments& args);
int switchOutputCommand(const CliArguments& args, std::FILE* out);
int allCommand(const CliArguments& args, std::FILE* out);
int groupCommand(const CliArguments& args, std::FILE* out);
int inhibitCommand(const CliArguments& args, std::FILE* out);

int checkSave(const CliArguments& args);
int saveCommand(const CliArguments& args, std::FILE* out);
int checkLoad(const CliArguments& args);
int loadCommand(const CliArguments& args, std::FILE* out);

// The title line and the channel list lines with trailing blanks trimmed.
void printChannelList(std::FILE* out);
void printChannelJson(std::FILE* out);

}  // namespace vz::ctl
