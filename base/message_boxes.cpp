#include "base/message_boxes.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/operator_seam.h"
#include "base/text_format.h"

namespace vz {

void printBox(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = formatTextV(kLineLimit, format, args);
    va_end(args);
    operatorSeam().messageBox({"PrintBox", text, BoxButtons::Ok, BoxIcon::Information, true});
}

void lastErrorBox(const char* format, ...) {
    const int code = errno;
    va_list args;
    va_start(args, format);
    const std::string caption = formatTextV(kLineLimit, format, args);
    va_end(args);
    operatorSeam().messageBox({caption, std::strerror(code), BoxButtons::Ok, BoxIcon::Information, true});
}

}  // namespace vz

namespace vz {

std::string moduleRefusalText(int result) {
    if (result == -1)
        return "The module did not answer the command (no result came back). The value was not changed.";
    char text[200];
    std::snprintf(
        text, sizeof text,
        "The module refused the value (result code %d, 0x%X; its meaning is defined by the module's "
        "firmware). The value was not changed.",
        result, static_cast<unsigned>(result));
    return text;
}

void moduleRefusalBox(const char* name, int result) {
    char caption[1024];
    std::snprintf(caption, sizeof caption, "%s: Error Code 0x%X", name, static_cast<unsigned>(result));
    operatorSeam().messageBox(
        {caption, moduleRefusalText(result), BoxButtons::Ok, BoxIcon::Information, true});
}

}  // namespace vz
