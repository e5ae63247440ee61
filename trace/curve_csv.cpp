#include "trace/curve_csv.h"

#include <algorithm>
#include <cstdio>

#include "base/file_replacement.h"

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
    // A temporary file beside the target, renamed over it once complete: a failed write (a full
    // disk) leaves an earlier CSV as it was.
    const std::string text = curvesCsv(graph);
    if (replaceFileContents(path, text.data(), text.size(), error)) return true;
    error = "cannot write " + path + ": " + error;
    return false;
}

}  // namespace vz
