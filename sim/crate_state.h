#pragma once
// The state a virtual crate keeps over a power cycle, as JSON text: per bridge the controller's
// configuration record and its processor's flash, and per module its records, its processor's
// program memory, EEPROM, configuration words and start parameters, which firmware runs, and its
// output's on/off state. Memories are sparse (only the runs that are not erased), in hexadecimal.
#include <string>

namespace vsim {

class VirtualCrate;

inline constexpr const char* kCrateStateFormat = "VIDIzozorez virtual crate state";
inline constexpr int kCrateStateVersion = 1;

std::string crateStateJson(VirtualCrate& crate);

// Puts a saved state into a crate just built from its scenario, as a power cycle finds it: the
// controller's processor boots from the restored flash, and the outputs are off unless the scenario
// keeps them on. False with a reason in error when the text does not parse, is of another format or
// version, or belongs to a crate of another make-up; the crate is then unchanged.
bool applyCrateState(VirtualCrate& crate, const std::string& json, std::string& error);

}  // namespace vsim
