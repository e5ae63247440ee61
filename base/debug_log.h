#pragma once
// The program's diagnostic channel: one line per call with level, category, thread, time of day
// with microseconds and the distance to the previous line.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vz {

enum DebugLogFlags : uint32_t {
    kLogError = 0x80000000,
    kLogWarning = 0x80000001,
    kLogInfo = 0x80000002,
    kLogDebug = 0x80000003,
};

void debugLog(uint32_t flags, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Closes an open log file, then opens the named one for appending; an empty or missing path only closes.
bool debugLogOpenFile(const char* path);
void debugLogCloseFile();
// Why logging to the file stopped ("logging to "F" stopped: No space left on device"), or empty while
// it works. The reason is also written once to standard error when it happens.
std::string debugLogFileFailure();

// Receives every finished line (with its line feed). Linux has no system debugger channel, so by
// default there is none; tests and tools install one.
using DebugLogSink = std::function<void(std::string_view line)>;
void setDebugLogOutput(DebugLogSink sink);

// Lines below this level (0 error ... 3 debug) are also written to standard error; 3 by default. A
// tool that prints the same texts itself lowers it while it does.
void setDebugLogStderrLevel(int level);

// Takes the start time again from the current clock, as at process start (tests install a clock first).
void debugLogRestart();

}  // namespace vz
