#pragma once
// A lab's own multimeter as a shell command: vzctl runs it where an operator would read the
// instrument, and takes the one number it prints.
#include <optional>
#include <string>

namespace vz::ctl {

// The one number in the text, labels and units around it ignored ("12.003", "-4e-3", "DCV +1.2345E+01"
// gives 12.345, "CH1: 3,196 V" gives 3.196 with a decimal comma). A digit inside a word ("CH1") is no
// number. Nothing is guessed: no number, two numbers, or a number with more than one separator
// ("1,234.5", "1,234,567", where one of them must be a thousands separator) give nullopt with the
// reason in `error`.
std::optional<double> meterReading(const std::string& text, std::string& error);

// Runs the command through /bin/sh and returns the reading of its standard output (meterReading). A
// command that has not finished after timeoutMs is killed; that, a failed start, a non-zero exit or an
// output without exactly one number give nullopt with the reason in `error`.
std::optional<double> runMeterCommand(const std::string& command, int timeoutMs, std::string& error);

}  // namespace vz::ctl
