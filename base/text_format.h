#pragma once
// printf-style formatting into a std::string, cut at `limit` characters as the fixed-size text
// fields, log lines and boxes that receive the text take it.
#include <cstdarg>
#include <cstddef>
#include <string>

namespace vz {

std::string formatText(std::size_t limit, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string formatTextV(std::size_t limit, const char* format, va_list args)
    __attribute__((format(printf, 2, 0)));

// The limit of a log line or a box text.
inline constexpr std::size_t kLineLimit = 1023;

}  // namespace vz
