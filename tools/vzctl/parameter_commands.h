#pragma once
// vzctl get and set: a channel's parameters by their table keys, in physical units.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

// get CHANNEL [KEY]: one line per parameter the channel's module has ("user.Unom 5 V"), or the one
// asked for. Exit status 0, 1 when the channel is absent or its configuration cannot be read, 2 for a
// bad channel or key.
int getCommand(const std::vector<std::string>& words, bool json, std::FILE* out);

// set CHANNEL KEY VALUE: volts and amperes as physical values, everything else as its number. Prints
// what the module holds afterwards. Exit status 0 accepted, 1 refused (the module's code is on
// standard error) or absent channel, 2 bad channel, key or value.
int setCommand(const std::vector<std::string>& words, std::FILE* out);

// What can be checked of get or set before the crate is opened: the channel number, that the key
// names a parameter, that the value reads. 2 (said on standard error) when not, -1 otherwise.
int checkParameterWords(const std::string& command, const std::vector<std::string>& words);

}  // namespace vz::ctl
