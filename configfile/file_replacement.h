#pragma once
// Replacing a file's contents lives on the ground floor, where the virtual crate's state file uses
// it too.
#include "base/file_replacement.h"
