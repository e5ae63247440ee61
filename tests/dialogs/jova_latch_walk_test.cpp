// "Output Test" walks one active output across the eighteen test pins.
#include <gtest/gtest.h>

#include "dialogs/jova_io_test.h"

namespace vz {
namespace {

TEST(JovaLatchWalk, ASingleLatchMovesUpAnythingElseStartsAgain) {
    const struct {
        uint32_t latch, next;
    } cases[] = {{0x00004, 0x00008}, {0x00001, 0x00002}, {0x20000, 0x00001},   // the last pin wraps
                 {0x00006, 0x00001}, {0x00000, 0x00001}, {0x40000, 0x00001}};  // several, none, beyond
    for (const auto& c : cases) EXPECT_EQ(nextOutputTestLatch(c.latch), c.next) << std::hex << c.latch;
}

}  // namespace
}  // namespace vz
