#pragma once
// vzctl sim-reset: throws away the state a virtual crate keeps between runs, so that the next run
// starts from the scenario's pristine crate. It does not connect to the crate.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

// port is the port as given (SIM, SIM:<scenario>); exit status 0, 1 (the state is in use or cannot
// be removed, or the scenario cannot be read) or 2 (arguments).
int simResetCommand(const std::string& port, const std::vector<std::string>& words, std::FILE* out);

}  // namespace vz::ctl
