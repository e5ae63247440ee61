#pragma once
// The command line: "VIDIzozorez [options] [COMport] [OptNum]".

namespace vz {

extern const char* const kUsageCaption;
extern const char* const kUsageText;

// Reads the arguments into the process-wide settings (argv[0] is skipped). False when an option
// letter outside the table was met; every other argument is still parsed, so -l still opens the log.
bool parseCommandLine(int argc, const char* const* argv);

// The usage message box, without owner.
void printUsage();

}  // namespace vz
