#pragma once
// Reading a channel's measurements: from the module itself or from the controller's cache, as the
// command line chose.

namespace vz {

// Block 0 to 3 (8 bytes each) of the channel into destination. 0 when all 8 bytes arrived, 30
// otherwise; 1053 for a module error on block 0.
int readMeasurementBlock(int channel, int block, void* destination);

}  // namespace vz
