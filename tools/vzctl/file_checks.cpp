#include "tools/vzctl/file_checks.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vz::ctl {

namespace fs = std::filesystem;

bool readableFile(const std::string& path, std::string& why) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st)) {
        why = "no such file";
    } else if (fs::is_directory(st)) {
        why = "is a directory, not a file";
    } else if (!fs::is_regular_file(st)) {
        why = "not a regular file";
    } else if (::access(path.c_str(), R_OK) != 0) {
        why = std::strerror(errno);
    } else {
        return true;
    }
    return false;
}

bool writableDirectory(const std::string& path, std::string& why) {
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        why = "no such directory";
        return false;
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

bool writableFile(const std::string& path, std::string& why) {
    std::error_code ec;
    if (path.empty()) {
        why = "no file name";
        return false;
    }
    if (fs::is_directory(path, ec)) {
        why = "is a directory, not a file";
        return false;
    }
    // A FIFO or a device would block or swallow the file and could not be replaced whole.
    if (const fs::file_status st = fs::status(path, ec); fs::exists(st) && !fs::is_regular_file(st)) {
        why = "not a regular file";
        return false;
    }
    if (fs::exists(path, ec) && ::access(path.c_str(), W_OK) != 0) {
        why = std::strerror(errno);
        return false;
    }
    fs::path parent = fs::path(path).parent_path();
    if (parent.empty()) parent = ".";
    std::string dirWhy;
    if (!writableDirectory(parent.string(), dirWhy)) {
        why = "cannot write into " + parent.string() + ": " + dirWhy;
        return false;
    }
    return true;
}

}  // namespace vz::ctl
