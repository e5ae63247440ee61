// vzctl when the link fails or is ambiguous: a crate that stops answering, several bridges, a
// busy or unknown serial number. A script must get a clear line and a documented exit status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

class VzctlLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_link_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string scenario(const std::string& name, const std::string& json) {
        const std::string path = (dir / name).string();
        std::ofstream(path) << json;
        return path;
    }
    std::filesystem::path dir;
};

const char* const kModule =
    R"({"channel": 3, "serialNumber": 103, "firmware": {"name": "DEVIZ 5V"}, "user": {"Unom": "5 V"}})";

std::string bridge(const std::string& serial, bool busy) {
    return R"({"serial": ")" + serial +
           R"(", "description": "crate", "vid": "1A2B", "pid": "0012", "busy": )" +
           (busy ? "true" : "false") + R"(, "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
              "modules": [)" +
           kModule + "]}";
}

TEST_F(VzctlLinkTest, ACrateThatStopsAnsweringIsGivenUpWithExitOne) {
    // Silent from the start, and silent after the search: both must end, not hang.
    struct Case {
        const char* name;
        const char* faults;
        const char* command;
        const char* names;  // whom the last line names
    };
    const Case cases[] = {
        {"silent crate", R"({"kind": "noReply"})", "status", "did not answer a read"},
        {"module silent after the search", R"({"kind": "noReply", "channel": 3, "after": 40})",
         "watch --ticks 20", "U3 did not answer a read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file =
            scenario("silent.json", R"({"bridges": [{"serial": "S1", "vid": "1A2B", "pid": "0012"}],
            "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
            "modules": [)" + std::string(kModule) +
                                        R"(], "faults": [)" + c.faults + "]}");
        const Outcome r = vzctl("-S -s8 SIM:" + file + " " + c.command);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("[SN S1] Communication Problem"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.names), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find('\r'), std::string::npos);  // no progress line when not on a terminal
    }
}

TEST_F(VzctlLinkTest, SeveralBridgesAreChosenBySerialWhereverTheOptionStands) {
    const std::string file =
        scenario("two.json", R"({"bridges": [)" + bridge("FREE", false) + "," + bridge("HELD", true) + "]}");
    const std::string port = "-S -s8 SIM:" + file;
    const Outcome ambiguous = vzctl(port + " status");
    EXPECT_EQ(ambiguous.status, 1) << ambiguous.out;
    EXPECT_NE(ambiguous.out.find("choose one with --serial SN"), std::string::npos) << ambiguous.out;
    for (const std::string& args : {"--serial FREE " + port + " status", port + " status --serial FREE"}) {
        const Outcome r = vzctl(args);
        EXPECT_EQ(r.status, 0) << args << "\n" << r.out;
        EXPECT_NE(r.out.find("(FREE) channel U3"), std::string::npos) << r.out;
    }
    const Outcome busy = vzctl(port + " --serial HELD status");
    EXPECT_EQ(busy.status, 1);
    EXPECT_NE(busy.out.find("serial number HELD is in use by another program"), std::string::npos)
        << busy.out;
    const Outcome unknown = vzctl(port + " --serial NOPE status");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.out.find("no crate controller with serial number NOPE"), std::string::npos)
        << unknown.out;
    EXPECT_EQ(vzctl(port + " status --serial").status, 2);
}

TEST_F(VzctlLinkTest, ASerialThatIsNotTheOnlyBridgeIsRefused) {
    const std::string file = scenario("one.json", R"({"bridges": [)" + bridge("ONLY", false) + "]}");
    const Outcome r = vzctl("-S -s8 SIM:" + file + " status --serial OTHER");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("has serial number ONLY, not OTHER"), std::string::npos) << r.out;
}

// No bridge at all (here: the only one unplugged): the box's text, then once what to check.
TEST_F(VzctlLinkTest, WithoutABridgeItSaysWhatToCheck) {
    const std::string file = scenario(
        "none.json", R"({"bridges": [{"serial": "GONE", "plugged": false}], "modules": [)" + std::string(kModule) + "]}");
    const Outcome r = vzctl("-S -s8 SIM:" + file + " status");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("No USB devices found or available"), std::string::npos) << r.out;
    const size_t hint = r.out.find("the port SIM runs the virtual crate instead");
    EXPECT_NE(hint, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("99-vidizozorez.rules"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("the port SIM runs", hint + 1), std::string::npos) << "said once";
}

}  // namespace
}  // namespace vz::test
