#pragma once
// vzctl can: module firmware over CAN on QX308 crates: list, backup, program, restore, start.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

int canCommand(const std::vector<std::string>& words, bool json, std::FILE* out);

}  // namespace vz::ctl
