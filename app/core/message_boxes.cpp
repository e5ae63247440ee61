#include "app/core/message_boxes.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "link/operator_seam.h"

namespace vz {

void printBox(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    operatorSeam().messageBox({"PrintBox", text, BoxButtons::Ok, BoxIcon::Information, true});
}

void lastErrorBox(const char* format, ...) {
    const int code = errno;
    char caption[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(caption, sizeof caption, format, args);
    va_end(args);
    operatorSeam().messageBox({caption, std::strerror(code), BoxButtons::Ok, BoxIcon::Information, true});
}

}  // namespace vz
