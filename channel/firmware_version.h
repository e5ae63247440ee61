#pragma once
// The firmware identification as one text: the name, and the version when there is one.
#include <cstddef>
#include <string>

#include "channel/channel_records.h"

namespace vz {

// Writes at most size-1 characters and always terminates (nothing at all for size 0). The name is
// taken up to 16 characters; a version of all zero bytes is left out, otherwise it follows as
// " b19.b18.b17.b16".
void firmwareVersionText(const MODULE_FIRMWARE_DATA& record, char* buffer, std::size_t size);
std::string firmwareVersionText(const MODULE_FIRMWARE_DATA& record);

}  // namespace vz
