#pragma once
// Element and attribute names of the configuration file that both directions use in the same order.
#include <cstdint>

#include "base/controller_type.h"

namespace vz::cfgnames {

struct BitName {
    const char* name;
    unsigned bit;
};

constexpr BitName kSystemFlags[] = {
    {"inputStageBias", 0}, {"switchCurrentGain", 1}, {"isMaster", 2},      {"isSlave", 3},
    {"clockDisable", 4},   {"isPcbCx", 5},           {"pwmAdjustUmod", 6}, {"pwmVariableFrequency", 7},
};

constexpr BitName kUserFlags[] = {
    {"switchOffNoRamp", 0},     {"switchModuleReg", 1},       {"switchSlowReg", 2},
    {"switchInternalSense", 3}, {"enableExternalInhibit", 4}, {"disableGlobalInhibit", 5},
    {"autoPowerOn", 6},         {"relaxSupervOnPowerup", 7},
};

// The 2-bit fields of errorAction by their lowest bit.
constexpr BitName kErrorActions[] = {
    {"minUSense", 0},   {"maxUSense", 2}, {"maxUModule", 4}, {"maxCurrent", 6},
    {"temperature", 8}, {"power", 10},    {"timeout", 14},
};

// QX308 and KRAT carry the full set of fields; WDX has its gains instead of the nominal values.
inline bool fullFieldSet(int controllerType) {
    return controllerType == kQx308 || controllerType == kKrat;
}
inline bool wdxController(int controllerType) {
    return controllerType == kWdx;
}

}  // namespace vz::cfgnames
