// The virtual crate's state file as the program keeps it: written when the crate changed and when it
// closes, refused (and left alone) when it is not a state of this crate, locked while open, and kept
// intact by a write that fails for want of disk space.
#include "virtual_bridge/crate_state_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "base/debug_log.h"
#include "link/bridge.h"
#include "virtual_bridge/bridge_for_port.h"
#include "virtual_bridge/virtual_bridge_driver.h"
#include "sim/controller.h"
#include "sim/crate_state.h"
#include "sim/module.h"
#include "sim/record_layout.h"
#include "sim/virtual_crate.h"

namespace vz {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A folder of its own, and the state variable pointing into it while the test runs.
class CrateStateFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("crate_state_file_test_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        state = dir / "state.json";
        if (const char* old = std::getenv(kSimStateVariable)) saved = old;
        setenv(kSimStateVariable, state.c_str(), 1);
    }
    void TearDown() override {
        if (saved.empty())
            unsetenv(kSimStateVariable);
        else
            setenv(kSimStateVariable, saved.c_str(), 1);
        fs::remove_all(dir);
    }
    static vsim::Module& module1(BridgeLibrary& bridge) {
        return *static_cast<VirtualBridgeDriver&>(bridge).crate().controller(0).module(1);
    }
    fs::path dir, state;
    std::string saved;
};

TEST_F(CrateStateFileTest, AChangeOutlivesTheProcessAndSimFreshKeepsNothing) {
    std::string error;
    {
        auto bridge = makeBridgeForPort("SIM", error);
        ASSERT_TRUE(bridge) << error;
        ASSERT_EQ(module1(*bridge).writeParameter(vsim::kUserBase + vsim::useroff::idGroup, {7, 0}), 0);
    }
    ASSERT_TRUE(fs::exists(state)) << "written when the crate closed";
    {
        auto bridge = makeBridgeForPort("SIM", error);
        ASSERT_TRUE(bridge) << error;
        EXPECT_EQ(module1(*bridge).user()[vsim::useroff::idGroup], 7);
    }
    fs::remove(state);
    {
        auto bridge = makeBridgeForPort("SIM:fresh", error);
        ASSERT_TRUE(bridge) << error;
        EXPECT_EQ(module1(*bridge).user()[vsim::useroff::idGroup], 1);
        module1(*bridge).writeParameter(vsim::kUserBase + vsim::useroff::idGroup, {8, 0});
    }
    EXPECT_FALSE(fs::exists(state));
}

TEST_F(CrateStateFileTest, AStateOfAnotherKindIsRefusedNamedAndLeftAsItIs) {
    const std::string scenario = (dir / "other.json").string();
    std::ofstream(scenario)
        << R"({"bridges": [{"serial": "X1"}], "modules": [{"channel": 4, "serialNumber": 9}]})";
    std::string error;
    auto other = vsim::VirtualCrate::fromFile(scenario, error);
    ASSERT_TRUE(other) << error;
    std::string otherVersion = vsim::crateStateJson(*vsim::VirtualCrate::fromDefault());
    otherVersion.replace(otherVersion.find("\"version\": 1"), 12, "\"version\": 7");
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"garbage", "not a state at all"},
        {"another version", otherVersion},
        {"another crate", vsim::crateStateJson(*other)},
    };
    for (const auto& c : cases) {
        std::ofstream(state, std::ios::binary | std::ios::trunc) << c.text;
        auto bridge = makeBridgeForPort("SIM", error);
        EXPECT_FALSE(bridge) << c.what;
        EXPECT_NE(error.find("\"" + state.string() + "\""), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find("vzctl SIM sim-reset"), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(contents(state), c.text) << c.what;
    }
}

TEST_F(CrateStateFileTest, OneProgramAtATimeAndSimResetWaitsForIt) {
    std::string error;
    auto first = makeBridgeForPort("SIM", error);
    ASSERT_TRUE(first) << error;
    EXPECT_FALSE(makeBridgeForPort("SIM", error));
    EXPECT_EQ(error, "the virtual crate's state \"" + state.string() + "\" is in use by another program");
    std::string message;
    EXPECT_FALSE(removeSimState(state.string(), message));
    EXPECT_NE(message.find("in use"), std::string::npos) << message;
    first.reset();
    ASSERT_TRUE(fs::exists(state));
    EXPECT_TRUE(makeBridgeForPort("SIM", error)) << error;
    EXPECT_TRUE(removeSimState(state.string(), message)) << message;
    EXPECT_EQ(message, "removed the virtual crate's state \"" + state.string() + "\"");
    EXPECT_FALSE(fs::exists(state));
}

TEST_F(CrateStateFileTest, AWriteCutShortByAFullDiskLeavesTheOldState) {
    auto crate = vsim::VirtualCrate::fromDefault();
    std::string error;
    auto file = CrateStateFile::open(state.string(), *crate, "SIM", error);
    ASSERT_TRUE(file) << error;
    file->saveIfChanged(*crate, true);
    const std::string old = contents(state);
    ASSERT_FALSE(old.empty());

    crate->controller(0).module(1)->writeParameter(vsim::kUserBase + vsim::useroff::idGroup, {9, 0});
    // The file size limit stands in for a full disk: the write stops part way, with EFBIG.
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = old.size() / 2;
    int reports = 0;
    setDebugLogOutput([&reports](std::string_view line) {
        if (line.find("was not written") != std::string_view::npos) ++reports;
    });
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    file->saveIfChanged(*crate, true);
    file->saveIfChanged(*crate, true);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    setDebugLogOutput({});
    EXPECT_EQ(reports, 1) << "said once, not at every exchange";

    EXPECT_TRUE(file->failed());
    EXPECT_EQ(contents(state), old);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 2) << "the state and its lock file, no temporary file left";

    file->saveIfChanged(*crate, true);  // the disk has room again
    EXPECT_FALSE(file->failed());
    auto again = vsim::VirtualCrate::fromDefault();
    file.reset();
    auto reopened = CrateStateFile::open(state.string(), *again, "SIM", error);
    ASSERT_TRUE(reopened) << error;
    EXPECT_EQ(again->controller(0).module(1)->user()[vsim::useroff::idGroup], 9);
}

TEST_F(CrateStateFileTest, AScenarioKeepsItsStateBesideItOnlyWhenItNamesOne) {
    unsetenv(kSimStateVariable);
    const fs::path sub = dir / "scenarios";
    fs::create_directories(sub);
    const std::string named = (sub / "named.json").string();
    const std::string plain = (sub / "plain.json").string();
    std::ofstream(named)
        << R"({"stateFile": "named.state.json", "bridges": [{"serial": "N1"}], "modules": [{"channel": 1, "serialNumber": 5}]})";
    std::ofstream(plain) << R"({"bridges": [{"serial": "P1"}], "modules": [{"channel": 1, "serialNumber": 5}]})";
    std::string path, error;
    ASSERT_TRUE(simStatePathForPort("SIM:" + named, path, error)) << error;
    EXPECT_EQ(path, (sub / "named.state.json").string());
    ASSERT_TRUE(simStatePathForPort("SIM:" + plain, path, error)) << error;
    EXPECT_EQ(path, "");
    ASSERT_TRUE(makeBridgeForPort("SIM:" + named, error)) << error;
    ASSERT_TRUE(makeBridgeForPort("SIM:" + plain, error)) << error;
    EXPECT_TRUE(fs::exists(sub / "named.state.json"));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(sub)) ++entries;
    EXPECT_EQ(entries, 4) << "the two scenarios, one state and its lock";
}

}  // namespace
}  // namespace vz
