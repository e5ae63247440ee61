#include "trace/graph_text.h"

#include <cstdio>

#include "trace/graph_geometry.h"

namespace vz {
namespace {

template <typename... Args>
std::string format(const char* fmt, Args... args) {
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) std::snprintf(out.data(), out.size() + 1, fmt, args...);
    return out;
}

}  // namespace

std::string statisticsLine(const Curve& c) {
    return format("%s:\tMin: %#.5lg\tMax: %#.5lg\tMean:%#.5lg\tPkPk: %#.5lg\tRMS: %#.5lg", c.name.c_str(),
                  c.minimum, c.maximum, c.mean, c.peakToPeak, c.rms);
}

std::string axisLabel(double value) {
    return format("%#.5lg", value);
}

std::vector<std::string> splitAtTabs(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char ch : text) {
        if (ch == '\t')
            parts.emplace_back();
        else
            parts.back() += ch;
    }
    return parts;
}

std::vector<int> tabbedPartPositions(const std::vector<std::string>& parts, int originX,
                                     const std::function<int(const std::string&)>& textWidth) {
    std::vector<int> xs;
    int pen = 0;  // from the origin
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            int next = -1;
            for (int stop : graphlayout::kTabStops)
                if (stop > pen) {
                    next = stop;
                    break;
                }
            // Past the last stop the part follows one blank's width further on.
            pen = next >= 0 ? next : pen + textWidth(" ");
        }
        xs.push_back(originX + pen);
        pen += textWidth(parts[i]);
    }
    return xs;
}

}  // namespace vz
