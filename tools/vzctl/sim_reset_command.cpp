#include "tools/vzctl/sim_reset_command.h"

#include "virtual_bridge/crate_state_file.h"

namespace vz::ctl {

int simResetCommand(const std::string& port, const std::vector<std::string>& words, std::FILE* out) {
    if (!words.empty()) {
        std::fprintf(stderr, "vzctl: sim-reset takes no arguments (try --help)\n");
        return 2;
    }
    if (port != "SIM" && port.rfind("SIM:", 0) != 0) {
        std::fprintf(stderr,
                     "vzctl: sim-reset is for the virtual crate (port SIM or SIM:<scenario>); "
                     "a real crate keeps its state itself\n");
        return 2;
    }
    std::string path, error;
    if (!simStatePathForPort(port, path, error)) {
        std::fprintf(stderr, "vzctl: %s\n", error.c_str());
        return 1;
    }
    std::string message;
    const bool removed = removeSimState(path, message);
    std::fprintf(removed ? out : stderr, "%s%s\n", removed ? "" : "vzctl: ", message.c_str());
    return removed ? 0 : 1;
}

}  // namespace vz::ctl
