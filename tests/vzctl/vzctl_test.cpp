// vzctl end to end: the real binary against scenario files, as scripts use it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/vzctl/vzctl_runner.h"

namespace {

using vz::test::Outcome;
using vz::test::vzctl;

class VzctlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        scenario = (dir / "crate.json").string();
        std::ofstream(scenario) << R"({
          "bridges": [{"serial": "E2E", "description": "test crate", "vid": "1A2B", "pid": "0012"}],
          "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
          "modules": [
            {"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ 5V20A"},
             "system": {"voltageExponent": -12, "currentExponent": -10, "maxUnom": "6 V", "maxInom": "20 A"},
             "user": {"Unom": "5 V", "Inom": "10 A"}, "on": true},
            {"channel": 2, "serialNumber": 102, "firmware": {"name": "RERUZ 48V2A"},
             "system": {"voltageExponent": -9, "currentExponent": -13, "maxUnom": "50 V", "maxInom": "2 A"},
             "user": {"Unom": "48 V", "Inom": "1.5 A"}}
          ]})";
        port = "-S -s4 SIM:" + scenario;  // -S: this controller has no SNMP agent to probe
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
    std::string scenario, port;
};

TEST_F(VzctlTest, StatusPrintsTheTitleAndTheChannelLines) {
    const Outcome r = vzctl(port + " status");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("VIDIzozorez --> KRAT(USB)(E2E) channel U0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("U0   Usense:  5.00000V"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Status: ON\n"), std::string::npos) << r.out;  // trailing blank trimmed
    EXPECT_NE(r.out.find("U2   Usense:  0.00000V"), std::string::npos) << r.out;
}

TEST_F(VzctlTest, StatusAsJson) {
    const Outcome r = vzctl(port + " status --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto doc = nlohmann::json::parse(r.out.substr(r.out.find('{')));
    ASSERT_EQ(doc["channels"].size(), 2u);
    EXPECT_EQ(doc["channels"][0]["channel"], 0);
    EXPECT_EQ(doc["channels"][0]["state"], "ON");
    EXPECT_NEAR(doc["channels"][0]["usense"].get<double>(), 5.0, 0.01);
    EXPECT_EQ(doc["channels"][1]["kindName"], "RERUZ");
}

TEST_F(VzctlTest, SwitchingAndItsErrors) {
    EXPECT_EQ(vzctl(port + " all off").status, 0);
    EXPECT_EQ(vzctl(port + " group 2 on").status, 0);
    EXPECT_EQ(vzctl(port + " on 2").status, 0);
    const Outcome absent = vzctl(port + " on 1");
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.out.find("channel U1 is not present"), std::string::npos);
    EXPECT_EQ(vzctl(port + " on 200").status, 2);
    EXPECT_EQ(vzctl(port + " group 3 on").status, 2);
    EXPECT_EQ(vzctl(port + " bogus").status, 2);
    EXPECT_EQ(vzctl(port).status, 2);
    EXPECT_EQ(vzctl("-q " + port + " status").status, 2);
}

// Words that do not say exactly one thing are refused before the crate is opened, naming the word:
// a number that wraps around would switch or change a channel nobody named.
TEST_F(VzctlTest, BadWordsAreRefusedBeforeConnectingAndNamed) {
    // A crate whose only bridge is unplugged: a command that connected first would say so.
    const std::string unplugged = (dir / "unplugged.json").string();
    std::ofstream(unplugged) << R"({"bridges": [{"serial": "OFF", "plugged": false}], "modules": []})";
    const std::string offline = "-S SIM:" + unplugged;
    const std::string csvFifo = (dir / "fifo.csv").string();
    ASSERT_EQ(mkfifo(csvFifo.c_str(), 0600), 0);
    const struct {
        std::string args;
        std::string says;
    } cases[] = {
        {offline + " off 4294967297", "\"4294967297\" is outside 0..126"},
        {offline + " on -1", "\"-1\" is outside 0..126"},
        {offline + " on 1x", "\"1x\" is not a whole number"},
        {offline + " get 4294967298 Unom", "channel"},
        {"-s999999 " + offline + " status", "option -s999999: the search limit is a number 0..127"},
        {"-s-1 " + offline + " status", "option -s-1"},
        {"-sx " + offline + " status", "option -sx"},
        {"-gz " + offline + " status", "unknown option -gz"},
        {offline + " 12abc status", "OptNum 12abc"},
        {offline + " 0xFFFFFFFFFF status", "OptNum 0xFFFFFFFFFF"},
        {offline + " -1 status", "OptNum -1: a number 0..0xFFFFFFFF"},
        {offline + " -ac status", "option -ac must stand before the port"},
        {offline + " frobnicate", "unknown command \"frobnicate\""},
        {offline + " watch --ticks 4294967297", "--ticks needs a number of at least 1"},
        {offline + " watch --ticks -1", "--ticks needs a number of at least 1"},
        {offline + " watch --every 4294967297", "--every needs a number of at least 1"},
        {offline + " get 1 Volts", "no parameter \"Volts\""},
        {offline + " set 1 Unom 5kV", "Unom"},
        {offline + " trace 300", "the channel is a number from 0 to 126"},
        {"-ac " + offline + " calibrate 4294967299 voltage --meter sim", "\"4294967299\" is outside 0..126"},
        {offline + " can backup 4294967297 /tmp", "\"4294967297\" is outside 0..126"},
        {offline + " trace 1 --csv " + csvFifo, "cannot write " + csvFifo},
    };
    for (const auto& c : cases) {
        const Outcome r = vzctl(c.args);
        EXPECT_EQ(r.status, c.says.rfind("cannot write", 0) == 0 ? 1 : 2) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find("No USB devices"), std::string::npos) << "connected first: " << c.args;
    }
}

TEST_F(VzctlTest, WatchPrintsTheListEveryNTicks) {
    const Outcome r = vzctl(port + " watch --ticks 4 --every 2");
    ASSERT_EQ(r.status, 0) << r.out;
    size_t titles = 0;
    for (size_t at = r.out.find("VIDIzozorez -->"); at != std::string::npos;
         at = r.out.find("VIDIzozorez -->", at + 1))
        ++titles;
    EXPECT_EQ(titles, 2u);
}

// The first list already shows what the channels measure: U1 of the built-in crate is on at 12 V.
TEST_F(VzctlTest, TheFirstWatchListShowsMeasuredChannels) {
    const Outcome r = vzctl("-S SIM:fresh watch --ticks 1 --every 1");
    ASSERT_EQ(r.status, 0) << r.out;
    const size_t u1 = r.out.find("\nU1 ");
    ASSERT_NE(u1, std::string::npos) << r.out;
    const std::string line = r.out.substr(u1 + 1, r.out.find('\n', u1 + 1) - u1 - 1);
    EXPECT_NE(line.find("Usense: 12.0"), std::string::npos) << line;
    EXPECT_NE(line.find("Status: ON"), std::string::npos) << line;
}

TEST_F(VzctlTest, LinkFailuresExitWithOneLine) {
    const Outcome missing = vzctl("SIM:" + (dir / "nothing.json").string() + " status");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("nothing.json"), std::string::npos);
    std::ofstream(dir / "bad.json") << "{\"bridges\": [";
    EXPECT_EQ(vzctl("SIM:" + (dir / "bad.json").string() + " status").status, 1);
}

TEST_F(VzctlTest, SaveAndLoadAConfiguration) {
    const std::string file = (dir / "crate.pscfg").string();
    ASSERT_EQ(vzctl(port + " save " + file).status, 0);
    EXPECT_TRUE(std::filesystem::exists(file));
    const Outcome load = vzctl(port + " load " + file + " --from MATCHING --to 0,2");
    EXPECT_EQ(load.status, 0) << load.out;
    std::ofstream(dir / "broken.pscfg") << "<PsConfig><Output>";
    const Outcome broken = vzctl(port + " load " + (dir / "broken.pscfg").string());
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.out.find("Error in configuration file"), std::string::npos) << broken.out;
}

TEST(VzctlHelpTest, HelpDocumentsTheSyntax) {
    const Outcome r = vzctl("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: vzctl", 0), 0u);
    EXPECT_NE(r.out.find("watch"), std::string::npos);
}

}  // namespace
