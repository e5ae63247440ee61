#pragma once
// Checks of the files named on the command line, made before the crate is touched, so that a typo or
// a wrong kind of path ends with a clear message instead of a job that fails half-way.
#include <string>

namespace vz::ctl {

// An existing regular file this process may read; otherwise why not ("is a directory", ...).
bool readableFile(const std::string& path, std::string& why);
// A path a new file can be written to: not a directory, in an existing directory this process may
// write into; otherwise why not.
bool writableFile(const std::string& path, std::string& why);
// An existing directory this process may write into.
bool writableDirectory(const std::string& path, std::string& why);

}  // namespace vz::ctl
