#include "tools/vzctl/shell_command.h"

#include <unistd.h>

#include "link/comm_problem.h"
#include "link/link_state.h"
#include "tools/vzctl/cli_arguments.h"
#include "tools/vzctl/command_table.h"

namespace vz::ctl {

bool splitShellWords(const std::string& line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (const char c : line) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;  // the rest of the line is a comment
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) {
        error = std::string("unterminated ") + quote + " quote";
        return false;
    }
    if (inWord) words.push_back(word);
    return true;
}

int runShell(std::FILE* in, std::FILE* out) {
    const bool terminal = isatty(fileno(in)) == 1;
    int firstFailure = 0;
    int lineNumber = 0;
    auto failed = [&](int status) {
        if (firstFailure == 0) firstFailure = status;
    };
    std::string line;
    for (;;) {
        if (terminal) {
            std::fputs("vzctl> ", out);
            std::fflush(out);
        }
        line.clear();
        int c;
        while ((c = std::fgetc(in)) != EOF && c != '\n') line += static_cast<char>(c);
        if (c == EOF && line.empty()) break;
        ++lineNumber;
        std::vector<std::string> words;
        std::string error;
        if (!splitShellWords(line, words, error)) {
            std::fprintf(stderr, "vzctl: line %d: %s\n", lineNumber, error.c_str());
            failed(2);
            continue;
        }
        if (words.empty()) continue;
        if (words[0] == "exit" || words[0] == "quit") break;
        std::vector<const char*> argv{"vzctl"};
        for (const auto& w : words) argv.push_back(w.c_str());
        CliArguments args;
        if (!parseCliArguments(static_cast<int>(argv.size()), argv.data(), args, error)) {
            std::fprintf(stderr, "vzctl: line %d: %s\n", lineNumber, error.c_str());
            failed(2);
            continue;
        }
        if (args.help) {
            std::fputs(vzctlHelp().c_str(), out);
            continue;
        }
        // The connection is made: options, port and another shell belong to vzctl's own command line.
        if (args.programArgs.size() > 1 || args.command == "shell" || !args.serial.empty()) {
            std::fprintf(stderr,
                         "vzctl: line %d: options, the port and --serial go on vzctl's command line\n",
                         lineNumber);
            failed(2);
            continue;
        }
        const int status = runCommand(args, out);
        std::fflush(out);
        if (status != 0) failed(status);
        if (linkState().commProblem.abort) break;  // the crate was given up: nothing more can be done on it
    }
    return firstFailure;
}

}  // namespace vz::ctl
