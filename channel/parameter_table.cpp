#include "channel/parameter_table.h"

#include "base/controller_type.h"

namespace vz {

const ParameterInfo* findParameter(std::string_view key) {
    for (const ParameterInfo& p : kParameters)
        if (key == p.key) return &p;
    return nullptr;
}

bool parameterExists(const ParameterInfo& p, int controllerType) {
    switch (p.rule) {
        case ControllerRule::any:
            return true;
        case ControllerRule::notWdx:
            return controllerType != kWdx;
        case ControllerRule::wdxOnly:
            return controllerType == kWdx;
    }
    return false;
}

const char* unitSymbol(ParameterUnit unit) {
    switch (unit) {
        case ParameterUnit::volts:
            return "V";
        case ParameterUnit::amperes:
            return "A";
        case ParameterUnit::celsius:
            return "°C";
        case ParameterUnit::watts:
            return "W";
        case ParameterUnit::milliseconds:
            return "ms";
        case ParameterUnit::voltsPerSecond:
            return "V/s";
        default:
            return "";
    }
}

}  // namespace vz
