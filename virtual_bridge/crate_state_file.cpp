#include "virtual_bridge/crate_state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/debug_log.h"
#include "base/file_replacement.h"
#include "sim/crate_state.h"
#include "sim/virtual_crate.h"

namespace vz {
namespace {

namespace fs = std::filesystem;

// A state of the built-in crate is well below a megabyte; anything far larger is no state of ours.
constexpr std::uintmax_t kLargestState = 64u << 20;

std::string lockPathOf(const std::string& path) {
    return path + ".lock";
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

}  // namespace

std::string defaultSimStatePath() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    // Only an absolute XDG_STATE_HOME counts; a relative one falls back to ~/.local/state.
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/vidizozorez/virtual-crate.json";
    const char* home = std::getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.local/state/vidizozorez/virtual-crate.json";
    return {};
}

std::string simStatePathFor(const std::string& port, const vsim::VirtualCrate& crate) {
    if (port == "SIM:fresh") return {};
    if (const char* chosen = std::getenv(kSimStateVariable); chosen && chosen[0])
        return std::string(chosen) == "none" ? std::string() : std::string(chosen);
    if (port == "SIM") return defaultSimStatePath();
    if (port.rfind("SIM:", 0) != 0 || crate.stateFileName().empty()) return {};
    const fs::path name(crate.stateFileName());
    if (name.is_absolute()) return name.string();
    return (fs::path(port.substr(4)).parent_path() / name).lexically_normal().string();
}

bool simStatePathForPort(const std::string& port, std::string& path, std::string& error) {
    path.clear();
    std::unique_ptr<vsim::VirtualCrate> crate;
    if (port == "SIM" || port == "SIM:fresh") {
        crate = vsim::VirtualCrate::fromDefault();
    } else if (port.rfind("SIM:", 0) == 0) {
        crate = vsim::VirtualCrate::fromFile(port.substr(4), error);
        if (!crate) {
            error = "Virtual crate scenario \"" + port.substr(4) + "\": " + error;
            return false;
        }
    } else {
        return true;  // a USB bridge: the real crate keeps its state itself
    }
    path = simStatePathFor(port, *crate);
    return true;
}

std::unique_ptr<CrateStateFile> CrateStateFile::open(const std::string& path, vsim::VirtualCrate& crate,
                                                     const std::string& port, std::string& error) {
    const std::string advice = ". It was left as it is: run \"vzctl " + port +
                               " sim-reset\" or delete the file to start from the pristine crate";
    const std::string elsewhere = std::string(" (") + kSimStateVariable +
                                  "=FILE keeps the state elsewhere, " + kSimStateVariable +
                                  "=none keeps none)";
    std::error_code ec;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty()) fs::create_directories(folder, ec);
    if (ec) {
        error = "the virtual crate's state " + quoted(path) + " cannot be kept: " + ec.message() + elsewhere;
        return nullptr;
    }
    const int fd = ::open(lockPathOf(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "the virtual crate's state " + quoted(path) + " cannot be locked: " + std::strerror(errno) +
                elsewhere;
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        error =
            code == EWOULDBLOCK
                ? "the virtual crate's state " + quoted(path) + " is in use by another program"
                : "the virtual crate's state " + quoted(path) + " cannot be locked: " + std::strerror(code);
        return nullptr;
    }
    auto fail = [&](const std::string& what) {
        ::close(fd);
        error = "the virtual crate's state " + quoted(path) + " " + what;
        return nullptr;
    };
    const bool exists = fs::exists(path, ec);
    if (exists) {
        if (fs::is_directory(path, ec)) return fail("is a directory" + advice);
        const auto size = fs::file_size(path, ec);
        if (ec) return fail("cannot be read: " + ec.message());
        if (size > kLargestState) return fail("is too large to be a state" + advice);
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        if (!in || !(text << in.rdbuf())) {
            if (size > 0) return fail("cannot be read");
        }
        std::string why;
        if (!vsim::applyCrateState(crate, text.str(), why)) return fail("is refused: " + why + advice);
    } else if (ec) {
        return fail("cannot be read: " + ec.message());
    }
    std::unique_ptr<CrateStateFile> file(new CrateStateFile(path, fd, crate.changeCount()));
    file->pending_ = !exists;  // created on first use, at the latest when the crate is closed
    return file;
}

CrateStateFile::CrateStateFile(std::string path, int lockFd, uint64_t count)
    : path_(std::move(path)), lockFd_(lockFd), savedCount_(count) {}

CrateStateFile::~CrateStateFile() {
    ::close(lockFd_);  // releases the lock
}

void CrateStateFile::saveIfChanged(vsim::VirtualCrate& crate, bool now) {
    const uint64_t count = crate.changeCount();
    if (count != savedCount_) pending_ = true;
    if (!pending_) return;
    const auto at = std::chrono::steady_clock::now();
    if (!now && lastWrite_ != std::chrono::steady_clock::time_point{} && at - lastWrite_ < kPace) return;
    lastWrite_ = at;
    const std::string text = vsim::crateStateJson(crate);
    std::string error;
    if (replaceFileContents(path_, text.data(), text.size(), error)) {
        savedCount_ = count;
        pending_ = false;
        failed_ = false;
        failureReported_ = false;
        return;
    }
    failed_ = true;
    if (failureReported_) return;
    failureReported_ = true;
    // Once per failing spell (errors reach standard error too): the old state is still on disk, the
    // changes since are only in memory.
    debugLog(kLogError, "The virtual crate's state %s was not written (%s); the file keeps the state before",
             path_.c_str(), error.c_str());
}

bool removeSimState(const std::string& path, std::string& message) {
    if (path.empty()) {
        message = "this virtual crate keeps no state: nothing to remove";
        return true;
    }
    const int fd = ::open(lockPathOf(path).c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        if (!locked) {
            message = "the virtual crate's state " + quoted(path) +
                      " is in use by another program; nothing removed";
            return false;
        }
    }
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) {
            message = "no virtual crate state to remove: " + quoted(path) + " does not exist";
            return true;
        }
        message = "the virtual crate's state " + quoted(path) + " cannot be removed: " + std::strerror(errno);
        return false;
    }
    message = "removed the virtual crate's state " + quoted(path);
    return true;
}

}  // namespace vz
