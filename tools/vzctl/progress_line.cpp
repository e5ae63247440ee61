#include "tools/vzctl/progress_line.h"

#include <unistd.h>

namespace vz::ctl {

ProgressLine::ProgressLine(std::FILE* stream) : stream_(stream), terminal_(isatty(fileno(stream)) == 1) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
    shown_ = false;
}

void ProgressLine::show(const std::string& text) {
    if (!terminal_) return;
    // Carriage return, the text, then erase what a longer earlier text left on the line.
    std::fprintf(stream_, "\r%s\033[K", text.c_str());
    std::fflush(stream_);
    shown_ = true;
}

}  // namespace vz::ctl
