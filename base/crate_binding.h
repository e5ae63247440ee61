#pragma once
// The crate a thread works on. One crate's state is kept in one object per layer (its settings, its
// link, its channels, its polling cycle); a Crate (app/core/crate.h) owns them together and is bound to
// each thread that works on it. Code reaches its layer's piece through that layer's accessor
// (crateSettings(), linkState(), channelState(), pollingCycle()), so two crates can be driven side by
// side, each from threads of its own.
namespace vz {

struct CrateSettings;
struct LinkState;
struct ChannelState;
struct PollingCycle;

struct CrateRefs {
    CrateSettings* settings = nullptr;
    LinkState* link = nullptr;
    ChannelState* channels = nullptr;
    PollingCycle* polling = nullptr;
};

// The calling thread's crate; empty pieces when none is bound.
const CrateRefs& boundCrate();

// A piece asked for on a thread that has no crate bound: a programming error, stopped at once with
// the piece's name rather than left to touch another crate's state.
[[noreturn]] void noCrateBound(const char* piece);

// Binds a crate to the calling thread while it lives; the thread's previous binding (none, usually)
// comes back afterwards. A thread started for a crate's work binds the refs its starter had.
class CrateBinding {
  public:
    explicit CrateBinding(const CrateRefs& refs);
    ~CrateBinding();
    CrateBinding(const CrateBinding&) = delete;
    CrateBinding& operator=(const CrateBinding&) = delete;

  private:
    CrateRefs previous_;
};

}  // namespace vz
