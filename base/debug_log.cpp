#include "base/debug_log.h"

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "base/clock.h"
#include "base/operator_seam.h"

namespace vz {
namespace {

constexpr size_t kLineSize = 1024;
constexpr uint32_t kLevelMask = 0xFFFFFFFC;  // every category at every level
constexpr uint32_t kLevelMasks[4] = {kLevelMask, kLevelMask, kLevelMask, kLevelMask};
constexpr int kDefaultStderrLevel = 3;
std::atomic<int> stderrLevel{kDefaultStderrLevel};

class DebugLog {
public:
    DebugLog() { restart(); }
    ~DebugLog() { closeFile(); }

    void restart() {
        std::lock_guard lock(mutex_);
        startCounterUs_ = clock().nowUs();
        startTime_ = static_cast<uint64_t>(clock().localWallUs()) * 10;
        previousLine_ = startTime_;
    }

    void write(uint32_t flags, const char* format, va_list args) {
        const int level = static_cast<int>(flags & 3);
        if ((flags & ~3u & kLevelMasks[level]) == 0) return;

        std::lock_guard lock(mutex_);
        char line[kLineSize];
        const uint64_t now =
            startTime_ + static_cast<uint64_t>((clock().nowUs() - startCounterUs_) * 10);
        const uint64_t ms = now / 10000;
        const int micro = static_cast<int>((now % 10000) / 10);
        const uint64_t seconds = ms / 1000;
        const int hour = static_cast<int>((seconds / 3600) % 24);
        const int minute = static_cast<int>((seconds / 60) % 60);
        const int second = static_cast<int>(seconds % 60);
        const int milli = static_cast<int>(ms % 1000);
        const uint64_t delta = now - previousLine_;
        previousLine_ = now;

        int n = std::snprintf(line, sizeof line, "%c%0*X %04X %2d:%2.2d:%2.2d.%03d_%03d", "EWID"[level], 2,
                              flags >> 24, static_cast<unsigned>(syscall(SYS_gettid)) & 0xFFFF, hour, minute,
                              second, milli, micro);
        if (delta < 10'000'000)
            n += std::snprintf(line + n, sizeof line - n, " %+7d", static_cast<int>(delta / 10));
        else
            n += std::snprintf(line + n, sizeof line - n, "        ");
        line[n++] = ' ';
        const size_t messageStart = static_cast<size_t>(n);
        // Room for the line feed and the terminating zero.
        const int m = std::vsnprintf(line + n, sizeof line - n - 1, format, args);
        size_t length = messageStart + (m < 0 ? 0 : std::min<size_t>(m, sizeof line - n - 2));

        while (length > 0 && std::strchr(" \t\r\n\v\f", line[length - 1]) && line[length - 1] != '\0')
            --length;
        for (size_t i = messageStart; i < length; ++i)
            if (line[i] == '\r' || line[i] == '\n') line[i] = '|';
        line[length++] = '\n';
        line[length] = '\0';

        if (sink_) sink_(std::string_view(line, length));
        if (level < stderrLevel.load()) {
            const size_t from = std::min(messageStart, length - 1);
            std::fwrite(line + from, 1, length - from, stderr);
        }
        if (file_ >= 0) appendToFile(line, length);
    }

    std::string fileFailure() {
        std::lock_guard lock(mutex_);
        return fileFailure_;
    }

    bool openFile(const char* path) {
        std::string failure;
        {
            std::lock_guard lock(mutex_);
            if (file_ >= 0) closeFile();
            if (!path || !*path) return true;
            file_ = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
            if (file_ >= 0) {
                filePath_ = path;
                fileFailure_.clear();
            } else {
                failure = std::strerror(errno);
            }
        }
        if (!failure.empty()) {
            // Not under the log's lock: the box waits for the operator while other threads log.
            operatorSeam().messageBox({"Debug Log",
                                       "File \"" + std::string(path) + "\": " + failure +
                                           ".\n\nDebug logging to file disabled",
                                       BoxButtons::Ok, BoxIcon::Information, false});
            return false;
        }
        debugLog(kLogInfo, "Opening log file \"%s\"", path);
        return true;
    }

    void closeFile() {
        std::lock_guard lock(mutex_);
        if (file_ < 0) return;
        debugLog(kLogInfo, "Closing log file");
        if (file_ >= 0) ::close(file_);
        file_ = -1;
    }

    void setSink(DebugLogSink sink) {
        std::lock_guard lock(mutex_);
        sink_ = std::move(sink);
    }

private:
    std::recursive_mutex mutex_;
    int64_t startCounterUs_ = 0;
    uint64_t startTime_ = 0;  // 100-ns units of the local wall clock
    uint64_t previousLine_ = 0;
    // Whole lines or nothing: a write that fails (a full disk, /dev/full, an I/O error) is cut back to
    // the last whole line, the file is given up and standard error says so once, with the reason.
    void appendToFile(const char* line, size_t length) {
        const off_t before = ::lseek(file_, 0, SEEK_END);
        size_t done = 0;
        int error = 0;
        while (done < length) {
            const ssize_t n = ::write(file_, line + done, length - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                error = n < 0 ? errno : ENOSPC;
                break;
            }
        }
        if (done == length) return;
        if (done > 0 && before >= 0 && ::ftruncate(file_, before) != 0) {
            // The cut line stays; the file is given up all the same.
        }
        ::close(file_);
        file_ = -1;
        fileFailure_ = "logging to \"" + filePath_ + "\" stopped: " + std::strerror(error);
        const std::string text = std::string(program_invocation_short_name) + ": " + fileFailure_ + "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }

    int file_ = -1;
    std::string filePath_;
    std::string fileFailure_;
    DebugLogSink sink_;
};

DebugLog& instance() {
    static DebugLog log;
    return log;
}

}  // namespace

void debugLog(uint32_t flags, const char* format, ...) {
    va_list args;
    va_start(args, format);
    instance().write(flags, format, args);
    va_end(args);
}

bool debugLogOpenFile(const char* path) { return instance().openFile(path); }
void debugLogCloseFile() { instance().closeFile(); }
std::string debugLogFileFailure() { return instance().fileFailure(); }
void setDebugLogOutput(DebugLogSink sink) { instance().setSink(std::move(sink)); }
void setDebugLogStderrLevel(int level) { stderrLevel = level; }

void debugLogRestart() { instance().restart(); }

}  // namespace vz
