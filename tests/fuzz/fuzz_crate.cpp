// The crate the fuzz targets' inputs are fed to, bound to the thread that runs them.
#include "app/core/crate.h"

namespace {
const vz::BoundCrate fuzzCrate;
}  // namespace
