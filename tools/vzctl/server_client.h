#pragma once
// vzctl --server URL COMMAND: the reading, switching and set commands answered by a running
// `vzctl serve` instead of the crate, in milliseconds instead of a connection sequence.
#include <cstdio>

#include "tools/vzctl/cli_arguments.h"

namespace vz::ctl {

// Prints what the command prints on the crate; exit status as the command's (0 done, 1 refused or no
// service, 2 bad words, said before anything is sent).
int serverCommand(const CliArguments& args, std::FILE* out);

}  // namespace vz::ctl
