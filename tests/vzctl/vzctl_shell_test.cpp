// vzctl shell and controller-config end to end: one connection, many commands, as a script uses them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

class VzctlShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_shell_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        const std::string scenario = (dir / "crate.json").string();
        std::ofstream(scenario) << R"({
          "bridges": [{"serial": "SH1", "vid": "1A2B", "pid": "0012"}],
          "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1,
                         "config": {"ip": "192.168.10.20", "subnetMask": "255.255.255.0", "httpPort": 80}},
          "modules": [
            {"channel": 1, "serialNumber": 101, "firmware": {"name": "DEVIZ 12V"},
             "system": {"voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
             "user": {"Unom": "12 V", "Inom": "5 A"}}],
          "faults": [{"kind": "refuse", "field": "user.Inom", "code": 5}]})";
        port = "-S -s4 SIM:" + scenario;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    Outcome shell(const std::string& script) {
        std::ofstream(dir / "script.txt") << script;
        return vzctl(port + " shell < " + (dir / "script.txt").string());
    }
    std::filesystem::path dir;
    std::string port;
};

TEST_F(VzctlShellTest, SetThenReadBackInOneSession) {
    const Outcome r = shell("# a comment line\nset 1 Unom \"5 V\"\nget 1 Unom --json\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("vzctl>"), std::string::npos);  // no prompt when the input is not a terminal
    const auto doc = nlohmann::json::parse(r.out.substr(r.out.find('{')));
    EXPECT_EQ(doc["channel"], 1);
    EXPECT_DOUBLE_EQ(doc["user.Unom"]["value"].get<double>(), 5.0);
}

TEST_F(VzctlShellTest, TheFirstFailureGivesTheExitStatusAndTheRestStillRuns) {
    // A refusal (1) before a bad line (2): the status is 1, and the last command still ran.
    const Outcome r = shell("set 1 Inom 2\nset 1 Unom \"5 V\nset 1 Unom 6.5\n");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error Code 0x5"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("line 2: unterminated \" quote"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("U1 user.Unom 6.5 V"), std::string::npos) << r.out;
    EXPECT_EQ(shell("-ac status\n").status, 2);  // options belong on vzctl's own command line
}

TEST_F(VzctlShellTest, ControllerConfigAsTextAndJson) {
    const Outcome text = vzctl(port + " controller-config");
    ASSERT_EQ(text.status, 0) << text.out;
    EXPECT_NE(text.out.find("IP Address        192.168.10.20"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("[ ] Ethernet Auto-Negotiation Enabled"), std::string::npos) << text.out;
    const Outcome json = vzctl(port + " controller-config --json");
    ASSERT_EQ(json.status, 0) << json.out;
    const auto doc = nlohmann::json::parse(json.out.substr(json.out.find('{')));
    EXPECT_EQ(doc["subnetMask"], "255.255.255.0");
    EXPECT_EQ(doc["httpPort"], 80);
}

}  // namespace
}  // namespace vz::test
