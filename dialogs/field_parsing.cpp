#include "dialogs/field_parsing.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vz {

namespace {

std::string limited(const std::string& text) {
    return text.substr(0, kFieldTextLimit);
}

std::size_t skipBlanks(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    return at;
}

int baseOf(const char* format) {
    const std::size_t n = std::strlen(format);
    const char conversion = n ? format[n - 1] : 'i';
    switch (conversion) {
        case 'x':
        case 'X':
            return 16;
        case 'd':
        case 'u':
            return 10;
        default:
            return 0;
    }
}

}  // namespace

std::optional<long long> parseFieldInteger(const std::string& text, const char* format) {
    const std::string t = limited(text);
    const char* begin = t.c_str() + skipBlanks(t);
    if (*begin == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, baseOf(format));
    if (end == begin || errno == ERANGE) return std::nullopt;
    return value;
}

std::optional<double> parseFieldReal(const std::string& text, double infinity) {
    std::string t = limited(text);
    for (char& c : t)
        if (c == ',') c = '.';
    if (t.compare(0, 6, "1.#INF") == 0) return infinity;
    std::size_t at = skipBlanks(t);
    if (at < t.size() && t[at] == '+') ++at;  // from_chars takes a minus only
    double value = 0;
    const auto [end, error] = std::from_chars(t.data() + at, t.data() + t.size(), value);
    if (error != std::errc{} || std::isnan(value)) return std::nullopt;
    (void)end;
    return value;
}

}  // namespace vz
