#include "trace/curve_csv.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

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
    std::string out = "index";
    std::size_t rows = 0;
    for (const Curve& c : graph.curves) {
        out += ',' + field(c.name);
        rows = std::max(rows, c.values.size());
    }
    out += "\r\n";
    char number[40];
    for (std::size_t i = 0; i < rows; ++i) {
        out += std::to_string(i);
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
    errno = 0;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (file) file.close();
    if (!file) {
        error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    return true;
}

}  // namespace vz
