// Every file the program and vzctl write goes through replaceFileContents: a temporary file beside
// the target, renamed over it only when complete. A write that fails half-way (a full disk) keeps the
// earlier file whole, and what is no regular file (a FIFO, a device) is never replaced.
#include "base/file_replacement.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vz {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileReplacementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("file_replacement_" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    // Nothing but the named entries is left in the folder: no temporary file stayed behind.
    void expectOnly(std::initializer_list<const char*> names) {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(dir)) {
            ++n;
            EXPECT_NE(std::find_if(names.begin(), names.end(),
                                   [&](const char* name) { return e.path().filename() == name; }),
                      names.end())
                << e.path();
        }
        EXPECT_EQ(n, names.size());
    }
    fs::path dir;
};

TEST_F(FileReplacementTest, ANewFileAndAReplacedOneAreWholeAndALinkKeepsPointing) {
    std::string error;
    const fs::path file = dir / "a.csv";
    ASSERT_TRUE(replaceFileContents(file.string(), "first", 5, error)) << error;
    ASSERT_TRUE(replaceFileContents(file.string(), "second", 6, error)) << error;
    EXPECT_EQ(contents(file), "second");
    fs::create_symlink(file, dir / "link.csv");
    ASSERT_TRUE(replaceFileContents((dir / "link.csv").string(), "third", 5, error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(contents(file), "third");
    expectOnly({"a.csv", "link.csv"});
}

TEST_F(FileReplacementTest, AWriteThatFailsHalfWayLeavesTheEarlierFile) {
    const fs::path file = dir / "backup.bex";
    std::ofstream(file) << "the earlier file";
    const std::string big(200000, 'x');
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 4096;  // as a disk that fills after 4 KiB
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string error;
    const bool written = replaceFileContents(file.string(), big.data(), big.size(), error);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(contents(file), "the earlier file");
    expectOnly({"backup.bex"});
}

TEST_F(FileReplacementTest, WhatIsNoRegularFileIsNeverReplaced) {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& target : {fifo.string(), std::string("/dev/full"), std::string("/dev/null")}) {
        std::string error;
        EXPECT_FALSE(replaceFileContents(target, "x", 1, error)) << target;
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    std::string error;
    EXPECT_FALSE(replaceFileContents(dir.string(), "x", 1, error));  // a folder
    expectOnly({"fifo"});
}

}  // namespace
}  // namespace vz
