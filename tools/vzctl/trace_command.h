#pragma once
// vzctl trace: the module of a channel records a trace burst, vzctl waits for it, reads it out and
// prints its statistics, and writes the samples as CSV on request.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

// Words: CH [--mode 1|2|3] [--csv FILE] [--timeout S]. Exit status.
int traceCommand(const std::vector<std::string>& words, std::FILE* out);

}  // namespace vz::ctl
