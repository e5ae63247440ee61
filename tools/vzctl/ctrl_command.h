#pragma once
// vzctl ctrl: the crate controller's own processor: its identity and versions, and a flash update from
// a COFF image, through the same update sequence as the firmware dialog.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

int ctrlCommand(const std::vector<std::string>& words, bool json, std::FILE* out);

}  // namespace vz::ctl
