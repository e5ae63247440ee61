#pragma once
// One crate's whole state: its settings, its link, its channels and its polling cycle, owned together.
// The layers reach the piece they need through the crate bound to the calling thread
// (base/crate_binding.h); two crates bound to two threads never see each other's state.
#include <memory>

#include "app/core/polling.h"
#include "base/crate_binding.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/link_state.h"

namespace vz {

struct Crate {
    CrateSettings settings;
    LinkState link;
    ChannelState channels;
    PollingCycle polling;

    CrateRefs refs() { return {&settings, &link, &channels, &polling}; }
};

// A crate of its own, bound to the thread that makes it for as long as it lives: a front end's crate,
// a test's. Made on the heap: a crate holds the channel table and the link's buffers.
class BoundCrate {
  public:
    BoundCrate() : crate_(std::make_unique<Crate>()), binding_(crate_->refs()) {}
    Crate& crate() { return *crate_; }

  private:
    std::unique_ptr<Crate> crate_;
    CrateBinding binding_;
};

}  // namespace vz
