#include "tools/vzctl/serve_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/number_parse.h"
#include "tools/vzctl/stop_signals.h"

namespace vz::ctl {
namespace {

std::atomic<bool> stopRequested{false};
void onStop(int) {
    stopRequested = true;
}

}  // namespace

bool readTokenFile(const std::string& path, std::string& token, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "token file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        error = "token file " + path + " is not a regular file";
        return false;
    }
    if (info.st_mode & (S_IRWXG | S_IRWXO)) {
        close(fd);
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        error = "token file " + path + " has mode " + mode +
                ": group or others may use it; make it readable by its owner only (chmod 600 " + path + ")";
        return false;
    }
    char buffer[1024];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    if (text.size() < 16 || text.find_first_of(" \t") != std::string::npos) {
        error = "token file " + path +
                " holds no token: its first line should be one word of at least 16 characters";
        return false;
    }
    token = text;
    return true;
}

bool parseServeWords(const std::vector<std::string>& words, const std::string& tokenFile,
                     HttpServiceOptions& options, std::string& error) {
    options = HttpServiceOptions{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--allow-control") {
            options.allowControl = true;
        } else if (w == "--listen") {
            if (i + 1 >= words.size()) {
                error = "--listen needs ADDR:PORT";
                return false;
            }
            const std::string& value = words[++i];
            const std::size_t colon = value.rfind(':');
            std::string why;
            const auto port = colon == std::string::npos
                                  ? std::nullopt
                                  : parseInteger(value.substr(colon + 1), 0, 65535, why);
            std::string host = colon == std::string::npos ? "" : value.substr(0, colon);
            if (host.size() > 2 && host.front() == '[' && host.back() == ']')
                host = host.substr(1, host.size() - 2);
            if (!port || host.empty()) {
                error = "--listen " + value + ": give ADDR:PORT, e.g. 127.0.0.1:9610 (port 0: any free port)";
                return false;
            }
            options.host = host;
            options.port = static_cast<int>(*port);
        } else {
            error = "serve: unknown word " + w + " (try --help)";
            return false;
        }
    }
    if (options.allowControl && tokenFile.empty()) {
        error = "--allow-control needs --token-file F (a file of mode 0600 holding the bearer token)";
        return false;
    }
    if (!options.allowControl && !tokenFile.empty()) {
        error = "serve: --token-file is for --allow-control; without it control requests are refused anyway";
        return false;
    }
    if (options.allowControl && !readTokenFile(tokenFile, options.token, error)) return false;
    return true;
}

int serveCommand(const HttpServiceOptions& options, std::FILE* out) {
    stopRequested = false;
    installStopSignals(onStop);
    std::signal(SIGPIPE, SIG_IGN);  // a client that went away is a failed write, not the end of the service
    CrateService crate;
    crate.tick();  // the first snapshot holds measurements before the first request comes
    HttpService http(crate, options);
    std::string error;
    if (!http.start(error)) {
        std::fprintf(stderr, "vzctl: %s\n", error.c_str());
        return 1;
    }
    const bool v6 = options.host.find(':') != std::string::npos;
    std::fprintf(out, "serving http://%s%s%s:%d\n", v6 ? "[" : "", options.host.c_str(), v6 ? "]" : "",
                 http.port());
    std::fflush(out);
    crate.run(stopRequested);
    http.stop();
    std::fprintf(stderr, "vzctl serve: stopped\n");
    return 0;
}

}  // namespace vz::ctl
