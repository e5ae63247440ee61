#pragma once
// vzctl controller-config: the crate controller's network and option settings.
#include <cstdio>

namespace vz::ctl {

// Prints the record as text, or as one JSON object; exit status.
int controllerConfigCommand(bool json, std::FILE* out);

}  // namespace vz::ctl
