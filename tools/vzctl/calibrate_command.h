#pragma once
// vzctl calibrate: the calibration wizard of the output calibration dialog, run from a terminal with
// a meter command in place of the operator reading the external instrument.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

// Words: CH voltage|current --meter CMD [--meter-timeout SECONDS]; CMD "sim" reads the virtual
// crate's multimeter. Needs the expert view (-ac). Exit status.
int calibrateCommand(const std::vector<std::string>& words, std::FILE* out);

}  // namespace vz::ctl
