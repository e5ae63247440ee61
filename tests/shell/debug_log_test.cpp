#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "base/debug_log.h"
#include "base/clock.h"
#include "tests/support/scripted_operator.h"

namespace vz {
namespace {

// 14:03:27.512348 local time on some day.
constexpr int64_t kWall = ((int64_t{20000} * 86400 + 14 * 3600 + 3 * 60 + 27) * 1'000'000) + 512'348;

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setClock(&clock_);
        clock_.setWallUs(kWall);
        debugLogRestart();
        setDebugLogOutput([this](std::string_view line) { lines.emplace_back(line); });
    }
    void TearDown() override {
        debugLogCloseFile();
        setDebugLogOutput(nullptr);
        setClock(nullptr);
        debugLogRestart();
    }
    // The part after the thread id.
    static std::string afterThread(const std::string& line) { return line.substr(9); }

    VirtualClock clock_;
    test::ScriptedOperator seam;
    std::vector<std::string> lines;
};

TEST_F(DebugLogTest, LineLayout) {
    clock_.advanceUs(2071);
    debugLog(kLogError, "SI_Write failed (status 0x%X), now doing reconnect...", 4);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("E80 [0-9A-F]{4} .*\n")));
    EXPECT_EQ(afterThread(lines[0]), "14:03:27.514_419   +2071 SI_Write failed (status 0x4), now doing reconnect...\n");

    debugLog(kLogDebug, "next");
    EXPECT_EQ(afterThread(lines[1]), "14:03:27.514_419      +0 next\n");
    debugLog(kLogWarning, "w");
    debugLog(kLogInfo, "i");
    EXPECT_EQ(lines[2].substr(0, 3), "W80");
    EXPECT_EQ(lines[3].substr(0, 3), "I80");
}

TEST_F(DebugLogTest, MessageBecomesOneLine) {
    debugLog(kLogInfo, "a\r\nb");
    debugLog(kLogInfo, "ends with a line feed\n");
    debugLog(kLogInfo, "%s", "");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].ends_with(" a||b\n"));
    EXPECT_TRUE(lines[1].ends_with(" ends with a line feed\n"));
    EXPECT_EQ(lines[1].find('\n'), lines[1].size() - 1);
    // An empty message trims into the prefix: the line ends right after the delta.
    EXPECT_TRUE(lines[2].ends_with("     +0\n"));
}

TEST_F(DebugLogTest, DeltaOverOneSecondIsBlank) {
    debugLog(kLogInfo, "first");
    clock_.advanceUs(1'000'000);
    debugLog(kLogInfo, "second");
    clock_.advanceUs(999'999);
    debugLog(kLogInfo, "third");
    EXPECT_EQ(afterThread(lines[1]), "14:03:28.512_348         second\n");
    EXPECT_EQ(afterThread(lines[2]), "14:03:29.512_347 +999999 third\n");
}

TEST_F(DebugLogTest, NoCategoryBitWritesNothing) {
    debugLog(0x2, "never");
    debugLog(0x3, "never");
    EXPECT_TRUE(lines.empty());
}

TEST_F(DebugLogTest, LongMessageIsCutToTheLine) {
    const std::string big(3000, 'x');
    debugLog(kLogInfo, "%s", big.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 1023u);
    EXPECT_EQ(lines[0].back(), '\n');
}

TEST_F(DebugLogTest, OpeningASecondFileClosesTheFirst) {
    const auto dir = std::filesystem::temp_directory_path();
    const auto first = dir / "vz_log_first.txt", second = dir / "vz_log_second.txt";
    std::filesystem::remove(first);
    std::filesystem::remove(second);
    EXPECT_TRUE(debugLogOpenFile(first.c_str()));
    debugLog(kLogInfo, "into the first");
    EXPECT_TRUE(debugLogOpenFile(second.c_str()));
    debugLogCloseFile();

    auto readLines = [](const std::filesystem::path& p) {
        std::ifstream in(p);
        std::vector<std::string> out;
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    };
    const auto a = readLines(first), b = readLines(second);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_TRUE(a.front().ends_with("Opening log file \"" + first.string() + "\""));
    EXPECT_TRUE(a[1].ends_with("into the first"));
    EXPECT_TRUE(a.back().ends_with("Closing log file"));
    ASSERT_EQ(b.size(), 2u);
    EXPECT_TRUE(b.front().ends_with("Opening log file \"" + second.string() + "\""));
    std::filesystem::remove(first);
    std::filesystem::remove(second);
}

// A file that cannot take the next line: the log file keeps only whole lines, logging to it stops with
// its reason, and the other outputs go on. /dev/full refuses the first byte; a file size limit (as a
// filling disk) takes part of a line and refuses the rest.
TEST_F(DebugLogTest, AWriteThatFailsStopsTheFileAtAWholeLineAndSaysWhy) {
    ASSERT_TRUE(debugLogOpenFile("/dev/full"));
    EXPECT_NE(debugLogFileFailure().find("logging to \"/dev/full\" stopped: No space left on device"),
              std::string::npos)
        << debugLogFileFailure();
    debugLog(kLogInfo, "still here");
    EXPECT_TRUE(lines.back().ends_with("still here\n"));

    const std::string path = ::testing::TempDir() + "debug_log_limit.txt";
    std::filesystem::remove(path);
    ASSERT_TRUE(debugLogOpenFile(path.c_str()));
    EXPECT_EQ(debugLogFileFailure(), "");
    const auto opened = std::filesystem::file_size(path);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = opened + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    for (int i = 0; i < 5; ++i) debugLog(kLogInfo, "a line of some forty characters, number %d", i);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_NE(debugLogFileFailure().find("File too large"), std::string::npos) << debugLogFileFailure();
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text.find("number 0\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("number 1"), std::string::npos) << "the cut line was not taken back:\n" << text;
    std::filesystem::remove(path);
}

TEST_F(DebugLogTest, UnopenableFileShowsOneBoxAndLoggingGoesOn) {
    EXPECT_FALSE(debugLogOpenFile("/nonexistent-dir/log.txt"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].caption, "Debug Log");
    EXPECT_EQ(seam.boxes[0].text,
              "File \"/nonexistent-dir/log.txt\": No such file or directory.\n\nDebug logging to file disabled");
    debugLog(kLogInfo, "still here");
    EXPECT_TRUE(lines.back().ends_with("still here\n"));
    EXPECT_TRUE(debugLogOpenFile(""));  // an empty path only closes
    EXPECT_EQ(seam.boxes.size(), 1u);
}

}  // namespace
}  // namespace vz
