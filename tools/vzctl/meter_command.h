#pragma once
// A lab's own multimeter as a shell command: vzctl runs it where an operator would read the
// instrument, and takes the first number it prints.
#include <optional>
#include <string>

namespace vz::ctl {

// The first number in the text ("12.003", "-4e-3", "DCV +1.2345E+01" gives 12.345); nullopt if none.
std::optional<double> firstNumber(const std::string& text);

// Runs the command through /bin/sh and returns the first number of its standard output. A command that
// has not finished after timeoutMs is killed; that, a failed start, a non-zero exit or output without
// a number give nullopt with the reason in `error`.
std::optional<double> runMeterCommand(const std::string& command, int timeoutMs, std::string& error);

}  // namespace vz::ctl
