#include "tests/support/crate_per_test.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/core/crate.h"

namespace vz::test {
namespace {

class CratePerTest : public ::testing::EmptyTestEventListener {
    void OnTestProgramStart(const ::testing::UnitTest&) override { run_.emplace(); }
    void OnTestStart(const ::testing::TestInfo&) override { test_.emplace(); }
    void OnTestEnd(const ::testing::TestInfo&) override { test_.reset(); }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { run_.reset(); }

    std::optional<BoundCrate> run_;
    std::optional<BoundCrate> test_;
};

}  // namespace

void giveEachTestACrate() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new CratePerTest);  // gtest owns listeners
}

}  // namespace vz::test
