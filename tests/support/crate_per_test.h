#pragma once
// Every test runs on a crate of its own, bound to the main thread from the test's start to its end, so
// no test sees what another left in a crate; the suites' set-up code runs on one crate of the run.
namespace vz::test {

// Call once after InitGoogleTest.
void giveEachTestACrate();

}  // namespace vz::test
