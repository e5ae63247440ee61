#include "base/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vz {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string systemText(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

// A link is followed, so that saving over it changes the file it points to, not the link.
std::string resolvedTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// An existing file keeps its permissions; a new one gets those the umask allows.
mode_t modeFor(const std::string& target) {
    struct stat info {};
    if (stat(target.c_str(), &info) == 0) return info.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool replaceFileContents(const std::string& path, const void* data, std::size_t size, std::string& error) {
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    const std::string target = resolvedTarget(path);
    // Only a regular file is replaced: a FIFO, a device or a folder is no file to overwrite.
    if (struct stat info {}; stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        error = target + ": not a regular file";
        return false;
    }
    const std::string folder = folderOf(target);
    std::string pattern = folder + "/." + baseOf(target) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = systemText("cannot create a temporary file in " + folder, errno);
        return false;
    }
    const std::string temporary(name.data());
    auto fail = [&](const std::string& what) {
        error = systemText(what, errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    };
    if (fchmod(fd, modeFor(target)) != 0) return fail("cannot set the permissions of " + temporary);
    if (!writeAll(fd, static_cast<const unsigned char*>(data), size))
        return fail("cannot write " + temporary);
    if (fsync(fd) != 0) return fail("cannot write " + temporary + " to disk");
    if (::close(fd) != 0) {
        error = systemText("cannot write " + temporary, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = systemText("cannot replace " + target, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself lasts only once the folder is on disk; a failure here loses nothing.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (folderFd >= 0) {
        fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

}  // namespace vz
