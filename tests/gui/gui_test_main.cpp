#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/support/crate_per_test.h"

int main(int argc, char** argv) {
    // The offscreen platform unless the caller chose one: tests never need a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    vz::test::giveEachTestACrate();
    return RUN_ALL_TESTS();
}
