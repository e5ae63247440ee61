#pragma once
// Start-up and shut-down of the desktop program.

namespace vz {

int runProgram(int argc, char** argv);

}  // namespace vz
