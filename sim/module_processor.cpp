#include "sim/module_processor.h"

namespace vsim {

std::optional<ProcessorModel> processorByName(const std::string& name) {
    static const ProcessorModel models[] = {
        {"dsPIC30F4011", 0x0101, 0x1042, 16384, 512, 7, 3},
        {"dsPIC30F4013", 0x0141, 0x1043, 16384, 512, 7, 2},
        {"dsPIC30F3012", 0x00C1, 0x1041, 16384, 512, 7, 2},
    };
    for (const ProcessorModel& m : models)
        if (name == m.name) return m;
    return std::nullopt;
}

}  // namespace vsim
