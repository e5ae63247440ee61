#pragma once
// One line of progress on a terminal, redrawn in place; nothing at all when the stream is not a
// terminal, so logs and pipes get only the results.
#include <cstdio>
#include <string>

namespace vz::ctl {

class ProgressLine {
  public:
    explicit ProgressLine(std::FILE* stream);
    ~ProgressLine();  // clears the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const std::string& text);
    // Takes the line away, e.g. before a message is printed; the next show draws it again.
    void clear();
    bool active() const { return terminal_; }

  private:
    std::FILE* stream_;
    bool terminal_;
    bool shown_ = false;
};

}  // namespace vz::ctl
