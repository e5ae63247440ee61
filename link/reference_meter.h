#pragma once
// A meter on a channel's output that calibration reads where an operator reads the instrument. A
// bridge that carries one offers it (the virtual crate's multimeter); the USB bridges carry none.
#include <optional>
#include <string>

namespace vz {

class ReferenceMeter {
  public:
    virtual ~ReferenceMeter() = default;
    // The sense voltage, or the current, at the output of a channel of the open crate; nullopt and
    // the reason when the crate has no such channel.
    virtual std::optional<double> readOutput(int channel, bool current, std::string& error) = 0;
};

}  // namespace vz
