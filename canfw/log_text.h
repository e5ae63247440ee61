#pragma once
// printf-style formatting into a std::string for the updater's log lines, cut at 1023 characters as
// the log window takes them; and the sink that receives them.
#include <cstdint>
#include <functional>
#include <string>

namespace vz {

using LogSink = std::function<void(const std::string&)>;

std::string formatLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Upper-case hexadecimal pairs without separators.
std::string hexDump(const uint8_t* bytes, size_t count);

}  // namespace vz
