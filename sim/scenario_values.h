#pragma once
// Reading the values of a scenario file: every error names the JSON path of the offending value, and
// an object takes only the keys it knows, so that a misspelt field never silently falls back to a
// default.
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace vsim::scenario_read {

using nlohmann::json;

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& path, const std::string& what);

std::string join(const std::string& path, const std::string& key);
std::string join(const std::string& path, size_t index);

void allowKeys(const json& j, const std::string& path, std::initializer_list<const char*> keys);
const json& arrayAt(const json& j, const std::string& path);
// Integers may be written as numbers or as "0x..." texts.
int64_t integer(const json& j, const std::string& path, int64_t lo, int64_t hi);
bool boolean(const json& j, const std::string& path);
double number(const json& j, const std::string& path, double lo, double hi);
std::string text(const json& j, const std::string& path);
// Four hexadecimal digits, as a USB id.
std::string hexId(const json& j, const std::string& path);
// Named bits: either a number or an array of names from the table (bit = index).
uint32_t flagBits(const json& j, const std::string& path, std::initializer_list<const char*> names,
                  int64_t max);

}  // namespace vsim::scenario_read
