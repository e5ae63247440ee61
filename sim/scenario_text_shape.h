#pragma once
// The text of a scenario file before it is read as values: its shape checked in one pass, and the
// JSON path of what the reader is at, for the errors the JSON library reports without one.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/scenario_values.h"

namespace vsim::scenario_read {

// Where the JSON reader is in the text, as a path like $.modules[2].user.Unom: for the errors the
// library reports without one (a number beyond a double), and to refuse a key given twice in one
// object, of which the library would silently keep the last.
class JsonPathTracker {
  public:
    bool operator()(int, json::parse_event_t event, json& parsed) {
        using Event = json::parse_event_t;
        switch (event) {
            case Event::object_start:
            case Event::array_start:
                frames_.push_back({event == Event::array_start, path(), 0, {}, {}});
                break;
            case Event::key: {
                Frame& f = frames_.back();
                f.key = parsed.get<std::string>();
                if (!f.keys.insert(f.key).second) fail(path(), "key given twice");
                break;
            }
            case Event::value:
                next();
                break;
            case Event::object_end:
            case Event::array_end:
                frames_.pop_back();
                next();
                break;
        }
        return true;
    }

    // The value being read now.
    std::string path() const {
        if (frames_.empty()) return "$";
        const Frame& f = frames_.back();
        return f.array ? join(f.path, f.index) : join(f.path, f.key);
    }

  private:
    void next() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    }

    struct Frame {
        bool array;
        std::string path;
        size_t index;
        std::string key;
        std::set<std::string> keys;
    };
    std::vector<Frame> frames_;
};

// The shape of the text before the JSON reader builds anything from it, in one pass: its size, how
// deep it nests and how long its arrays are. Scenarios are small; a text beyond these bounds is no
// scenario, and refusing it early keeps the reader's time and memory linear and small.
std::optional<std::string> shapeError(const std::string& text);

}  // namespace vsim::scenario_read
