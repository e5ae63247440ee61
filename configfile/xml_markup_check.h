#pragma once
// A look at a configuration file's markup before the XML parser sees it. Files travel between labs
// by mail and shared folders, so a file is refused when it could make the parser reach beyond it
// (a document type declaration with external or parameter entities) or exhaust the machine (entity
// expansion, deep nesting, masses of elements or attributes). A real .pscfg is a few hundred
// kilobytes, five levels deep, with no declarations at all; the limits leave it ample room.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vz {

inline constexpr std::size_t kMaxConfigFileBytes = 4u << 20;
inline constexpr int kMaxElementDepth = 32;
inline constexpr int kMaxElements = 20000;
inline constexpr int kMaxAttributesPerElement = 64;

struct MarkupRefusal {
    int line;          // 1-based line of the offending markup
    std::string what;  // why the file is refused, for the debug log
};

// Nullopt when the markup stays within the limits. The check follows the file's own code units
// (UTF-8 or another ASCII-compatible 8-bit encoding, UTF-16 or UTF-32, told by the byte order mark or
// the first "<"); a file in an encoding that is not one of these is refused.
std::optional<MarkupRefusal> checkConfigurationMarkup(std::string_view bytes);

}  // namespace vz
