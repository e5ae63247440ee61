#pragma once
// vzctl shell: one connection, then commands from a stream, one a line, as on the command line.
#include <cstdio>
#include <string>
#include <vector>

namespace vz::ctl {

// Splits a line into words: blanks separate, "double" or 'single' quotes keep blanks, a word may mix
// both. False (with the reason) for an unterminated quote.
bool splitShellWords(const std::string& line, std::vector<std::string>& words, std::string& error);

// Runs every line of in; the exit status of the first command that failed, or 0. A prompt is shown
// only when in is a terminal; "#" starts a comment; "exit" or "quit" ends early.
int runShell(std::FILE* in, std::FILE* out);

}  // namespace vz::ctl
