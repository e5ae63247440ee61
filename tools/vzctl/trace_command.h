#pragma once
// vzctl trace: the module of a channel records a trace burst, vzctl waits for it, reads it out and
// prints its statistics, and writes the samples as CSV on request.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

struct TraceArgs {
    int channel = -1;
    int mode = 0;
    int timeoutS = 30;
    std::string csvPath;
};

// Words: CH [--mode 1|2|3] [--csv FILE] [--timeout S]; also checks that FILE can be written. -1 when
// they make a trace, otherwise the exit status (2 bad words, 1 a file that cannot be written).
int parseTraceWords(const std::vector<std::string>& words, TraceArgs& args);

// Words as for parseTraceWords. Exit status.
int traceCommand(const std::vector<std::string>& words, std::FILE* out);

}  // namespace vz::ctl
