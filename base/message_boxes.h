#pragma once
// The two message-box helpers every part uses.

#include <string>

namespace vz {

// Caption "PrintBox", information icon, text formatted into 1024 characters.
void printBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The formatted text is the caption; the body is the system text of the last error (errno). Only
// right after a failed system call: errno means nothing anywhere else.
void lastErrorBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A parameter write the module did not accept: caption "<name>: Error Code 0x<code>" and a body
// that says what happened (result -1: no answer; otherwise the module's own refusal code).
void moduleRefusalBox(const char* name, int result);
std::string moduleRefusalText(int result);

}  // namespace vz
