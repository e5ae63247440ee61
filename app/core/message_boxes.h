#pragma once
// The two message-box helpers every part uses.

namespace vz {

// Caption "PrintBox", information icon, text formatted into 1024 characters.
void printBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The formatted text is the caption; the body is the system text of the last error (errno).
void lastErrorBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vz
