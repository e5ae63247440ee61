#include "tools/vzctl/cli_arguments.h"

#include <cctype>
#include <cstdint>

#include "base/number_parse.h"
#include "tools/vzctl/command_table.h"

namespace vz::ctl {

namespace {
// The program's option words, port and OptNum as vzctl takes them: the program ignores a letter's
// unknown value or a word it cannot read, a script must hear of it instead (exit 2, the word named).
bool checkProgramWords(const std::vector<std::string>& words, std::string& error) {
    int positional = 0;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.size() > 1 && w[0] == '-' && positional == 0) {
            const char letter = w[1];
            const std::string value = w.substr(2);
            bool ok = true;
            switch (letter) {
                case 'H':
                case 'S':
                case 'e':
                case 'f':
                case 't':
                case 'u':
                case 'x':
                    ok = value.empty();
                    break;
                case 'a':
                    ok = value == "c" || value == "f" || value == "s";
                    break;
                case 'g':
                    ok = value == "1" || value == "2" || value == "3" || value == "m";
                    break;
                case 'o':
                    ok = value == "o";
                    break;
                case 'c':
                    ok = !value.empty();
                    break;
                case 'l':
                    if (value.empty() && (i + 1 >= words.size() || words[++i].empty())) {
                        error = "-l needs a log file name";
                        return false;
                    }
                    break;
                case 's':
                    if (value == "a" || value == "m") break;
                    if (!parseInteger(value, 0, 127, error)) {
                        error = "option " + w + ": the search limit is a number 0..127";
                        return false;
                    }
                    break;
                default:
                    error = "unknown option " + w + " (try --help)";
                    return false;
            }
            if (!ok) {
                error = "unknown option " + w + " (try --help)";
                return false;
            }
            continue;
        }
        if (++positional == 1) continue;  // the port
        if (w.size() > 1 && w[0] == '-' && !std::isdigit(static_cast<unsigned char>(w[1]))) {
            error = "option " + w + " must stand before the port";
            return false;
        }
        if (positional == 2 && !w.empty() &&
            (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '-')) {
            // OptNum replaces the whole option word: 32 bits as "%i" reads them, nothing else.
            if (!parseInteger(w, 0, 0xFFFFFFFF, error, IntegerForm::CStyle)) {
                error = "OptNum " + w + ": a number 0..0xFFFFFFFF (decimal, 0x hexadecimal or 0 octal)";
                return false;
            }
            continue;
        }
        error = "unknown command \"" + w + "\" (try --help)";
        return false;
    }
    return true;
}
}  // namespace

bool parseCliArguments(int argc, const char* const* argv, CliArguments& out, std::string& error) {
    out = CliArguments{};
    out.programArgs.push_back(argc > 0 ? argv[0] : "vzctl");
    bool commandSeen = false;
    bool endOfOptions = false;  // after "--" the next word is the command, whatever it looks like
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&](int& target) {
            std::string why;
            const auto v = i + 1 < argc ? parseInteger(argv[i + 1], 1, INT32_MAX, why) : std::nullopt;
            if (!v) {
                error = a + " needs a number of at least 1" + (why.empty() ? "" : ": " + why);
                return false;
            }
            target = static_cast<int>(*v);
            ++i;
            return true;
        };
        // vzctl's own long options count wherever they stand, before or after the command.
        if (a == "--help" || (a == "-h" && !commandSeen)) {
            out.help = true;
        } else if (a == "--json") {
            out.json = true;
        } else if (a == "--ticks") {
            if (!number(out.ticks)) return false;
        } else if (a == "--every") {
            if (!number(out.every)) return false;
        } else if (a == "--serial") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "--serial needs a serial number";
                return false;
            }
            out.serial = argv[++i];
        } else if (a == "--server" || a == "--token-file") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error =
                    a + (a == "--server" ? " needs a URL, e.g. http://127.0.0.1:9610" : " needs a file name");
                return false;
            }
            (a == "--server" ? out.server : out.tokenFile) = argv[++i];
        } else if (commandSeen) {
            out.words.push_back(a);
        } else if (a == "--" && !endOfOptions) {
            endOfOptions = true;
        } else if (endOfOptions || findCommand(a)) {
            out.command = a;
            commandSeen = true;
        } else {
            out.programArgs.push_back(a);
        }
    }
    if (out.help) return true;
    if (!checkProgramWords(out.programArgs, error)) return false;
    if (!commandSeen) {
        error = "no command given (try --help)";
        return false;
    }
    if (!findCommand(out.command)) {
        error = "unknown command \"" + out.command + "\" (try --help)";
        return false;
    }
    return true;
}

}  // namespace vz::ctl
