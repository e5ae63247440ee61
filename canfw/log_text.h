#pragma once
// The updater's log lines (formatted with formatText, cut at kLineLimit as the log window takes them):
// the sink that receives them, and the hexadecimal dumps they carry.
#include <cstdint>
#include <functional>
#include <string>

#include "base/text_format.h"

namespace vz {

using LogSink = std::function<void(const std::string&)>;

// Upper-case hexadecimal pairs without separators.
std::string hexDump(const uint8_t* bytes, size_t count);

}  // namespace vz
