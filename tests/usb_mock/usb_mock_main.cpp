// The emulated bridges need umockdev's preload library in the process that calls libusb: without
// it the program re-executes itself with it, so a plain `usb_mock_tests` (and CTest) just works.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/crate_per_test.h"

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

bool preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (!preloaded()) {
        const char* earlier = std::getenv("LD_PRELOAD");
        const std::string preload =
            earlier != nullptr && *earlier != '\0' ? std::string(kPreload) + ":" + earlier : kPreload;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        // AddressSanitizer insists on being the first library loaded; the preload comes before it.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string options =
            std::string(asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "") +
            "verify_asan_link_order=0";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("usb_mock_tests: re-executing with umockdev's preload library failed");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    vz::test::giveEachTestACrate();
    return RUN_ALL_TESTS();
}
