#include "channel/channel_classes.h"

#include "channel/raw_scaling.h"

namespace vz {

double QOR::voltageFromRaw(int16_t raw) const {
    return physicalFromRaw(raw, voltageExponent);
}
double QOR::currentFromRaw(int16_t raw) const {
    return physicalFromRaw(raw, currentExponent);
}
int16_t QOR::voltageToRaw(double volts) const {
    return rawFromPhysical(volts, voltageExponent);
}
int16_t QOR::currentToRaw(double amperes) const {
    return rawFromPhysical(amperes, currentExponent);
}

}  // namespace vz
