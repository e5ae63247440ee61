#include "sim/scenario_text_shape.h"

#include "sim/scenario.h"

namespace vsim::scenario_read {

std::optional<std::string> shapeError(const std::string& text) {
    if (text.size() > kMaxScenarioBytes)
        return "$: larger than " + std::to_string(kMaxScenarioBytes / 1024) +
               " KiB, no scenario is that long";
    struct Level {
        bool array;
        size_t elements;
        bool empty;
    };
    std::vector<Level> levels;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (!levels.empty() && levels.back().empty && c != ' ' && c != '\t' && c != '\n' && c != '\r' &&
            c != ']' && c != '}') {
            levels.back().empty = false;
            levels.back().elements = 1;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (levels.size() >= kMaxScenarioDepth)
                    return "$: nested more than " + std::to_string(kMaxScenarioDepth) + " levels deep";
                levels.push_back({c == '[', 0, true});
                break;
            case ']':
            case '}':
                if (!levels.empty()) levels.pop_back();
                break;
            case ',':
                if (!levels.empty() && levels.back().array && ++levels.back().elements > kMaxArrayElements)
                    return "$: an array of more than " + std::to_string(kMaxArrayElements) + " elements";
                break;
            default:
                break;
        }
    }
    return std::nullopt;
}

}  // namespace vsim::scenario_read
