#include "trace/curve_csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vz {
namespace {

// Names may hold commas ("Z1 Zeit (QNL, korrigiert)"): quoted, with quotes doubled.
std::string field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

}  // namespace

std::string curvesCsv(const Graph& graph) {
    std::string out = "index,time [s]";
    std::size_t rows = 0;
    for (const Curve& c : graph.curves) {
        out += ',' + field(c.unit.empty() ? c.name : c.name + " [" + c.unit + "]");
        rows = std::max(rows, c.values.size());
    }
    out += "\r\n";
    char number[40];
    for (std::size_t i = 0; i < rows; ++i) {
        out += std::to_string(i);
        out += ',';
        if (graph.secondsPerPoint > 0) {
            const double t = static_cast<double>(i) * graph.secondsPerPoint;
            std::snprintf(number, sizeof number, "%.9g", graph.newestFirst && i > 0 ? -t : t);
            out += number;
        }
        for (const Curve& c : graph.curves) {
            out += ',';
            if (i < c.values.size()) {
                std::snprintf(number, sizeof number, "%.17g", c.values[i]);
                out += number;
            }
        }
        out += "\r\n";
    }
    return out;
}

bool writeCurvesCsv(const std::string& path, const Graph& graph, std::string& error) {
    const std::string text = curvesCsv(graph);
    // Through a temporary file in the same folder, renamed over the target once complete: a failed
    // save never leaves a cut file behind.
    std::string name = path + ".XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const char* at = text.data();
    std::size_t left = text.size();
    bool ok = true;
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) {
            at += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    ok = ok && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    const int savedErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(name.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(ok ? errno : savedErrno);
        ::unlink(name.c_str());
        return false;
    }
    return true;
}

}  // namespace vz
