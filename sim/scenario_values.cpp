#include "sim/scenario_values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vsim::scenario_read {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw ParseError(path + ": " + what);
}

std::string join(const std::string& path, const std::string& key) {
    return path + "." + key;
}
std::string join(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

void allowKeys(const json& j, const std::string& path, std::initializer_list<const char*> keys) {
    if (!j.is_object()) fail(path, "expected an object");
    for (auto it = j.begin(); it != j.end(); ++it) {
        bool known = false;
        for (const char* k : keys) known = known || it.key() == k;
        if (!known) fail(join(path, it.key()), "unknown key");
    }
}

const json& arrayAt(const json& j, const std::string& path) {
    if (!j.is_array()) fail(path, "expected an array");
    return j;
}

int64_t integer(const json& j, const std::string& path, int64_t lo, int64_t hi) {
    int64_t v = 0;
    if (j.is_number_integer()) {
        v = j.get<int64_t>();
    } else if (j.is_number_unsigned()) {
        const auto u = j.get<uint64_t>();
        if (u > static_cast<uint64_t>(hi)) fail(path, "value " + std::to_string(u) + " out of range");
        v = static_cast<int64_t>(u);
    } else if (j.is_string()) {
        const std::string s = j.get<std::string>();
        char* end = nullptr;
        errno = 0;
        const long long parsed = std::strtoll(s.c_str(), &end, 0);
        if (s.empty() || *end != '\0' || errno != 0) fail(path, "\"" + s + "\" is not an integer");
        v = parsed;
    } else {
        fail(path, "expected an integer");
    }
    if (v < lo || v > hi)
        fail(path,
             "value " + std::to_string(v) + " outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

bool boolean(const json& j, const std::string& path) {
    if (!j.is_boolean()) fail(path, "expected true or false");
    return j.get<bool>();
}

double number(const json& j, const std::string& path, double lo, double hi) {
    if (!j.is_number()) fail(path, "expected a number");
    const double v = j.get<double>();
    if (!std::isfinite(v) || v < lo || v > hi)
        fail(path, "value outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

std::string text(const json& j, const std::string& path) {
    if (!j.is_string()) fail(path, "expected a text");
    return j.get<std::string>();
}

std::string hexId(const json& j, const std::string& path) {
    const std::string s = text(j, path);
    if (s.size() != 4) fail(path, "expected four hexadecimal digits");
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c))) fail(path, "expected four hexadecimal digits");
    return s;
}

uint32_t flagBits(const json& j, const std::string& path, std::initializer_list<const char*> names,
                  int64_t max) {
    if (!j.is_array()) return static_cast<uint32_t>(integer(j, path, 0, max));
    uint32_t bits = 0;
    for (size_t i = 0; i < j.size(); ++i) {
        const std::string n = text(j[i], join(path, i));
        int bit = 0;
        bool found = false;
        for (const char* name : names) {
            if (n == name) {
                found = true;
                break;
            }
            ++bit;
        }
        if (!found) fail(join(path, i), "unknown flag \"" + n + "\"");
        bits |= 1u << bit;
    }
    return bits;
}

}  // namespace vsim::scenario_read
