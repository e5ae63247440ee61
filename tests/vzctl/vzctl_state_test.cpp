// The virtual crate keeps its state between vzctl runs as a real crate does: a value set, a
// controller flash programmed are there in the next run; sim-reset throws the state away; a state in
// use or not of this crate ends a run with 1 and names the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class VzctlStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vzctl_state_test_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        state = (dir / "crate.json").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
    std::string state;
};

// The module update flow an operator runs, one command at a time: back up, program another
// firmware, restore the backup, back up again. The module must end as the first backup holds it.
TEST_F(VzctlStateTest, BackupProgramRestoreBackupInFourRunsGivesTwoEqualBackups) {
    std::string scenario = contents(fs::path(VZ_EXAMPLES) / "qx308-module-update.json");
    const size_t lineRate = scenario.find("\"lineRate\": true");
    ASSERT_NE(lineRate, std::string::npos);
    scenario.replace(lineRate, 16, "\"lineRate\": false");  // the same crate, without the wire's pace
    const std::string file = (dir / "qx308.json").string();
    std::ofstream(file) << scenario;
    const std::string q = "-S SIM:" + file + " can ";
    const std::string first = (dir / "first.bex").string(), second = (dir / "second.bex").string();
    for (const std::string& step :
         {"backup 1 " + first, "program 1 " + std::string(VZ_TEST_DATA) + "/DEMO4011_2.2.0.0_FW.HEX",
          "restore 1 " + first, "backup 1 " + second}) {
        const Outcome r = vzctl(q + step, state);
        ASSERT_EQ(r.status, 0) << step << "\n" << r.out.substr(r.out.size() > 3000 ? r.out.size() - 3000 : 0);
    }
    EXPECT_EQ(contents(first), contents(second));
    EXPECT_GT(contents(first).size(), 10000u);
}

TEST_F(VzctlStateTest, ASetValueIsThereInTheNextRunUntilSimReset) {
    const Outcome set = vzctl("SIM set 1 Unom 5", state);
    ASSERT_EQ(set.status, 0) << set.out;
    const Outcome get = vzctl("SIM get 1 Unom", state);
    ASSERT_EQ(get.status, 0) << get.out;
    EXPECT_NE(get.out.find("user.Unom 5 V"), std::string::npos) << get.out;
    const Outcome pristine = vzctl("SIM get 1 Unom");
    EXPECT_NE(pristine.out.find("user.Unom 12 V"), std::string::npos) << "no state: " << pristine.out;
    const Outcome fresh = vzctl("SIM:fresh get 1 Unom", state);
    EXPECT_NE(fresh.out.find("user.Unom 12 V"), std::string::npos) << "SIM:fresh: " << fresh.out;

    const Outcome reset = vzctl("SIM sim-reset", state);
    ASSERT_EQ(reset.status, 0) << reset.out;
    EXPECT_NE(reset.out.find("removed the virtual crate's state \"" + state + "\""), std::string::npos)
        << reset.out;
    EXPECT_FALSE(fs::exists(state));
    const Outcome after = vzctl("SIM get 1 Unom", state);
    EXPECT_NE(after.out.find("user.Unom 12 V"), std::string::npos) << after.out;
    EXPECT_EQ(vzctl("SIM sim-reset extra", state).status, 2);
}

TEST_F(VzctlStateTest, AControllerFlashProgrammedInOneRunIsReadInTheNext) {
    setenv("VIDIZOZOREZ_FIRMWARE_PATH", VZ_CONTROLLER_FIRMWARE, 1);
    const Outcome program =
        vzctl("SIM ctrl program " + std::string(VZ_CONTROLLER_FIRMWARE) + "/demo-firmware-3.10.out", state);
    ASSERT_EQ(program.status, 0) << program.out;
    const Outcome info = vzctl("SIM ctrl info", state);
    unsetenv("VIDIZOZOREZ_FIRMWARE_PATH");
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("firmware     VELK-FW 3.10"), std::string::npos) << info.out;
    const Outcome status = vzctl("SIM status", state);
    EXPECT_EQ(status.status, 0) << "the programmed controller boots and answers: " << status.out;
}

TEST_F(VzctlStateTest, AStateInUseOrOfAnotherKindEndsTheRunAndIsLeftAlone) {
    ASSERT_EQ(vzctl("SIM on 3", state).status, 0);
    const std::string kept = contents(state);
    {
        // Another program has the crate open: it holds the lock.
        const int fd = open((state + ".lock").c_str(), O_RDWR | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        const Outcome busy = vzctl("SIM status", state);
        EXPECT_EQ(busy.status, 1) << busy.out;
        EXPECT_NE(
            busy.out.find("vzctl: the virtual crate's state \"" + state + "\" is in use by another program"),
            std::string::npos)
            << busy.out;
        const Outcome reset = vzctl("SIM sim-reset", state);
        EXPECT_EQ(reset.status, 1) << reset.out;
        close(fd);
    }
    EXPECT_EQ(contents(state), kept);

    std::ofstream(state, std::ios::trunc) << "{ \"half\": ";
    const Outcome refused = vzctl("SIM status", state);
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_NE(refused.out.find("\"" + state + "\" is refused"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("vzctl SIM sim-reset"), std::string::npos) << refused.out;
    EXPECT_EQ(contents(state), "{ \"half\": ");
}

}  // namespace
}  // namespace vz::test
