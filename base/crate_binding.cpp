#include "base/crate_binding.h"

#include <cstdio>
#include <cstdlib>

namespace vz {
namespace {
thread_local CrateRefs bound;
}  // namespace

const CrateRefs& boundCrate() {
    return bound;
}

void noCrateBound(const char* piece) {
    std::fprintf(stderr, "internal error: the %s of a crate was used on a thread that has no crate bound\n",
                 piece);
    std::abort();
}

CrateBinding::CrateBinding(const CrateRefs& refs) : previous_(bound) {
    bound = refs;
}

CrateBinding::~CrateBinding() {
    bound = previous_;
}

}  // namespace vz
