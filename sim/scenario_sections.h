#pragma once
// The sections of a scenario file, each read by a file of its own: the modules, the controller and
// the fault rules. Errors are thrown as ParseError naming the JSON path.
#include <string>

#include "sim/scenario.h"
#include "sim/scenario_values.h"

namespace vsim::scenario_read {

// One module, in the record layout of the crate's controller type.
ModuleDef parseModule(const json& j, const std::string& path, int controllerType);
ControllerDef parseController(const json& j, const std::string& path);
FaultRule parseFault(const json& j, const std::string& path);

}  // namespace vsim::scenario_read
