#include "base/text_format.h"

#include <cstdio>
#include <vector>

namespace vz {

std::string formatTextV(std::size_t limit, const char* format, va_list args) {
    std::vector<char> buffer(limit + 1);
    if (std::vsnprintf(buffer.data(), buffer.size(), format, args) < 0) return {};
    return std::string(buffer.data());
}

std::string formatText(std::size_t limit, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatTextV(limit, format, args);
    va_end(args);
    return text;
}

}  // namespace vz
