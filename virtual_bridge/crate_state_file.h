#pragma once
// Where a virtual crate keeps its state between runs, and the file itself: read when the crate is
// opened, written (to a temporary name, then renamed) after the exchanges that changed what a real
// crate keeps over a power cycle, and locked while the crate is open, since one program at a time
// opens a bridge.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace vsim {
class VirtualCrate;
}

namespace vz {

// The environment variable that names the state file of every virtual crate opened; "none" keeps none.
inline constexpr const char* kSimStateVariable = "VIDIZOZOREZ_SIM_STATE";

// The state file port SIM keeps by default: $XDG_STATE_HOME/vidizozorez/virtual-crate.json, with
// ~/.local/state for an unset XDG_STATE_HOME; empty when neither is known.
std::string defaultSimStatePath();

// The state file a port's virtual crate keeps, empty for none: SIM its default, SIM:fresh none, a
// scenario the file its "stateFile" names (relative to the scenario's folder) or none; the
// environment variable overrides each but SIM:fresh. False with a reason for a scenario that cannot
// be read; true with an empty path for a port that is no virtual crate.
bool simStatePathForPort(const std::string& port, std::string& path, std::string& error);
// The same for a crate already built from the port's scenario.
std::string simStatePathFor(const std::string& port, const vsim::VirtualCrate& crate);

class CrateStateFile {
  public:
    // Locks the file and, when it exists, puts its state into the crate. Null with a message naming
    // the file when it is in use, does not parse, is of another version or belongs to another crate.
    // port is the one the crate was opened for, named in the advice to reset a refused state.
    static std::unique_ptr<CrateStateFile> open(const std::string& path, vsim::VirtualCrate& crate,
                                                const std::string& port, std::string& error);
    ~CrateStateFile();
    CrateStateFile(const CrateStateFile&) = delete;
    CrateStateFile& operator=(const CrateStateFile&) = delete;

    // Writes the state when the crate changed since the last write; unless `now`, at most every
    // kPace, so that a module programmed row by row is not written out row by row.
    void saveIfChanged(vsim::VirtualCrate& crate, bool now);
    const std::string& path() const { return path_; }
    // Whether the last write failed (the previous state is then still on disk).
    bool failed() const { return failed_; }

    static constexpr std::chrono::milliseconds kPace{250};

  private:
    CrateStateFile(std::string path, int lockFd, uint64_t count);
    std::string path_;
    int lockFd_;
    uint64_t savedCount_;
    bool pending_ = false;
    bool failed_ = false;
    bool failureReported_ = false;
    std::chrono::steady_clock::time_point lastWrite_{};
};

// Deletes a state file, refusing while a program has it open. message says what was removed, or why not.
bool removeSimState(const std::string& path, std::string& message);

}  // namespace vz
