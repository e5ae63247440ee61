#include <gtest/gtest.h>

#include "tests/support/crate_per_test.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    vz::test::giveEachTestACrate();
    return RUN_ALL_TESTS();
}
