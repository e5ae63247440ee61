#include "channel/firmware_version.h"

#include <cstdio>

namespace vz {

void firmwareVersionText(const MODULE_FIRMWARE_DATA& record, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return;
    const int nameLength = static_cast<int>(sizeof record.name);
    const uint32_t v = record.version;
    if (v != 0)
        std::snprintf(buffer, size, "%.*s %u.%u.%u.%u", nameLength, record.name, (v >> 24) & 0xFF,
                      (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    else
        std::snprintf(buffer, size, "%.*s", nameLength, record.name);
}

std::string firmwareVersionText(const MODULE_FIRMWARE_DATA& record) {
    char text[40];  // 16 name characters, a blank and four numbers of up to three digits
    firmwareVersionText(record, text, sizeof text);
    return text;
}

}  // namespace vz
