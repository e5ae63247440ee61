#pragma once
// The JSON object of `status --json`, built from a channel table: vzctl prints it from the crate it
// just read, `vzctl serve` answers /api/v1/status with it from its latest snapshot. One shape, one code.
#include <array>
#include <nlohmann/json.hpp>
#include <string>

#include "channel/channel_table.h"

namespace vz::ctl {

// {"title": ..., "channels": [one object per present channel]}.
nlohmann::json statusJson(const std::array<QOR, kChannelCount>& channels, const std::string& title);

}  // namespace vz::ctl
