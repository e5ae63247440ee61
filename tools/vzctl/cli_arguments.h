#pragma once
// vzctl's command line: the program's own options and port first, then a command and its words.
#include <string>
#include <vector>

namespace vz::ctl {

struct CliArguments {
    std::vector<std::string> programArgs;  // argv[0], options, port, OptNum: parsed like the program's
    std::string command;
    std::vector<std::string> words;  // the command's own words
    bool json = false;
    bool help = false;
    int ticks = -1;         // watch: stop after this many ticks (-1 until Ctrl+C)
    int every = 10;         // watch: print the list every this many ticks
    std::string serial;     // choose this bridge when several are attached
    std::string server;     // answer from a running `vzctl serve` at this URL instead of the crate
    std::string tokenFile;  // the bearer token of serve --allow-control, for serve and for --server
};

// False with an error text when the words do not make a command line.
bool parseCliArguments(int argc, const char* const* argv, CliArguments& out, std::string& error);

}  // namespace vz::ctl
