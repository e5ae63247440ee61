// vzctl trace: a recording under a switching load shows its steps in the CSV; bad words and a
// missing module are refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

class VzctlTraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_trace_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        scenario = (dir / "crate.json").string();
        // 5 V into a load that switches between 10 and 5 ohms every 10 ms.
        std::ofstream(scenario) << R"({"bridges": [{"serial": "T1", "vid": "1A2B", "pid": "0012"}],
          "controller": {"type": 18, "lineRate": false},
          "modules": [{"channel": 1, "serialNumber": 101, "firmware": {"name": "DEVIZ 15V"}, "on": true,
            "system": {"voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
            "user": {"Unom": "5 V", "Inom": "10 A"}}],
          "loads": [{"channel": 1, "ohms": 10, "switchOhms": 5, "switchPeriodMs": 20}]})";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::string scenario;
};

TEST_F(VzctlTraceTest, TraceUnderASwitchingLoadShowsTheStepsInTheCsv) {
    const std::string csv = (dir / "t.csv").string();
    const Outcome r = vzctl("-S -s8 SIM:" + scenario + " trace 1 --mode 1 --csv " + csv);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("DEVIZ Trace (100 Values, 82.08 ms)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("iModule (SWI):\tMin: 0.50000\tMax: 1.0000"), std::string::npos) << r.out;
    std::ifstream in(csv);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "index,time [s],uSense (SWI) [V],uModule (SWI) [V],iModule (SWI) [A],Y3\r");
    std::set<double> currents;
    int rows = 0, steps = 0;
    double last = -1;
    while (std::getline(in, line)) {
        std::vector<double> v;
        std::size_t at = 0;
        for (int c = 0; c < 6; ++c) {
            const std::size_t comma = line.find(',', at);
            v.push_back(std::stod(line.substr(at, comma - at)));
            at = comma + 1;
        }
        EXPECT_NEAR(v[1], v[0] * 82.08e-3 / 100, 1e-12) << "mode 1: 100 samples in 82.08 ms";
        EXPECT_EQ(v[0], rows++);
        EXPECT_EQ(v[2], 5.0);
        currents.insert(v[4]);
        if (last >= 0 && v[4] != last) ++steps;
        last = v[4];
    }
    EXPECT_EQ(rows, 100);
    EXPECT_EQ(currents, (std::set<double>{0.5, 1.0}));
    EXPECT_GE(steps, 7) << "82 ms of a load that switches every 10 ms";
}

TEST_F(VzctlTraceTest, BadWordsAndAMissingModule) {
    struct Case {
        std::string words;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"trace", 2, "which channel?"},
        {"trace 1 --mode 4", 2, "--mode needs 1, 2 or 3"},
        {"trace 127", 2, "the channel is a number from 0 to 126"},
        {"trace 1 2", 2, "unexpected \"2\""},
        {"trace 7", 1, "no module at U7"},
        {"trace 1 --csv " + (dir / "missing" / "t.csv").string(), 1, "cannot write"},
        {"trace 1 --csv " + dir.string(), 1, "is a directory, not a file"},
    };
    for (const Case& c : cases) {
        const Outcome r = vzctl("-S -s8 SIM:" + scenario + " " + c.words);
        EXPECT_EQ(r.status, c.status) << c.words << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.words << "\n" << r.out;
    }
}

}  // namespace
}  // namespace vz::test
