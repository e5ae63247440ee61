#pragma once
// Replacing a file's contents so that a failure never leaves a damaged file: the new contents go to
// a temporary file in the same folder, which is renamed over the target only once it is complete
// and on disk.
#include <cstddef>
#include <string>

namespace vz {

// False with a reason in error when anything failed; the target is then as it was before.
bool replaceFileContents(const std::string& path, const void* data, std::size_t size, std::string& error);

}  // namespace vz
