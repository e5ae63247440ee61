#pragma once
// The five crate controllers, told apart by the USB product id of their bridge.

namespace vz {

enum ControllerType : int {
    kNoController = 0,
    kQx308 = 16,  // product id 0010
    kWdx = 17,    // 0011
    kKrat = 18,   // 0012
    kKts = 21,    // 0015
    kVar7 = 22,   // 0016
};

}  // namespace vz
