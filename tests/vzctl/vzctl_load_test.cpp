// vzctl load end to end: a script must be able to trust the exit status. 0 only when every target
// took its file channel and the module accepted every parameter; hostile files end at once, say
// why, and write nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/vzctl/vzctl_runner.h"

namespace {

using vz::test::Outcome;
using vz::test::vzctl;

bool has(const Outcome& r, const std::string& text) {
    return r.out.find(text) != std::string::npos;
}

class VzctlLoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_load_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        const std::string scenario = (dir / "crate.json").string();
        std::ofstream(scenario) << R"({
          "bridges": [{"serial": "LOAD", "description": "test crate", "vid": "1A2B", "pid": "0012"}],
          "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
          "modules": [
            {"channel": 0, "serialNumber": 100, "firmware": {"name": "DEVIZ 5V20A"},
             "system": {"voltageExponent": -12, "currentExponent": -10, "maxUnom": "6 V", "maxInom": "20 A"},
             "user": {"Unom": "5 V", "Inom": "10 A"}},
            {"channel": 5, "serialNumber": 105, "firmware": {"name": "BOLAN JOVA"}}
          ]})";
        port = "-S SIM:" + scenario;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string file(const std::string& name, const std::string& text) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::filesystem::path dir;
    std::string port;
};

TEST_F(VzctlLoadTest, TheExitStatusAndTheLinesSayWhatWasReallyApplied) {
    const std::string good =
        file("good.pscfg", "<PsConfig><Output><U0><User idGroup='3' unom='4.5'/></U0></Output></PsConfig>");
    const std::string part = file("part.pscfg",
                                  "<PsConfig><Output><U0><User unom='7' idGroup='3' maxPower='100'/></U0>"
                                  "<U3/></Output></PsConfig>");
    const struct {
        std::string args;
        int status;
        const char* text;
    } cases[] = {
        {"load " + good, 0, "U0 <- U0 of "},
        {"load " + good, 0, ": 2 parameters written"},
        {"load " + part, 1, "vzctl: U0 loaded in part: 1 parameter was not accepted by the module"},
        {"load " + part + " --from 3 --to 0", 1,
         "vzctl: U0 not loaded: the file's U3 holds no user data to apply"},
        {"load " + part + " --to 5", 1,
         "vzctl: U5 not loaded: not a configurable output; nothing was written"},
        {"load " + part + " --to ''", 2, "vzctl: --to needs a value"},
        {"load " + part + " --from ''", 2, "vzctl: --from needs a value"},
        {"load " + dir.string(), 1, ": is a directory, not a configuration file"},
        {"load " + (dir / "none.pscfg").string(), 1, "none.pscfg: no such configuration file"},
    };
    for (const auto& c : cases) {
        const Outcome r = vzctl(port + " " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_TRUE(has(r, c.text)) << c.args << "\n" << r.out;
    }
    const Outcome part3 = vzctl(port + " load " + part + " --from 3 --to 0");
    EXPECT_FALSE(has(part3, "<- U3")) << "a copy that did not happen is not reported as done";

    if (geteuid() != 0) {  // root reads any file
        const std::string locked = file("locked.pscfg", "<PsConfig/>");
        std::filesystem::permissions(locked, std::filesystem::perms::none);
        const Outcome r = vzctl(port + " load " + locked);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(has(r, "locked.pscfg: cannot be read: Permission denied")) << r.out;
    }
}

TEST_F(VzctlLoadTest, HostileFilesEndAtOnceWithAClearMessageAndNothingWritten) {
    std::string laughs = "<!DOCTYPE PsConfig [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b', previous = 'a'; c <= 'j'; previous = c++) {
        laughs += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i) laughs += std::string("&") + previous + ";";
        laughs += "\">";
    }
    laughs += "]><PsConfig><Output><U0><User idGroup='&j;'/></U0></Output></PsConfig>";
    std::string deep = "<PsConfig>";
    for (int i = 0; i < 200000; ++i) deep += "<a>";
    const struct {
        const char* name;
        std::string xml;
        const char* text;
    } cases[] = {
        {"dtd.pscfg",
         "<!DOCTYPE PsConfig SYSTEM "
         "\"http://127.0.0.1:9/ext.dtd\"><PsConfig><Output><U0><User/></U0></Output>"
         "</PsConfig>",
         "refused: a document type declaration"},
        {"laughs.pscfg", laughs, "refused: a document type declaration"},
        {"deep.pscfg", deep, "refused: elements nested more than 32 levels deep"},
        {"nan.pscfg", "<PsConfig><Output><U0><User unom='nan' maxUSense='inf'/></U0></Output></PsConfig>",
         "Attribut \"unom\": bad double value"},
    };
    for (const auto& c : cases) {
        const Outcome r = vzctl(port + " load " + file(c.name, c.xml));
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.out;
        EXPECT_TRUE(has(r, c.text)) << c.name << "\n" << r.out;
        EXPECT_FALSE(has(r, " <- ")) << c.name << "\n" << r.out;
    }
}

}  // namespace
