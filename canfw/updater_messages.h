#pragma once
// What the updater's worker tells its front end (the dialog or vzctl): messages that own their
// payload, handed to a receiver that queues them for its own thread. The core knows no Qt: the
// dialog implements the receiver with posted events, vzctl with a queue of its own.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vz {

enum UpdaterMessageKind : int {
    kMsgLog = 1,             // text: a line for the log window
    kMsgDeviceFound = 2,     // DeviceInfo: a module was identified
    kMsgBootVersion = 3,     // text
    kMsgAppVersion = 4,      // text
    kMsgProgrammed = 5,      // uint32 0: programming finished successfully
    kMsgVersionOrStart = 6,  // uint32 0 or 1: a version was read or a firmware started
    kMsgRunningType = 7,     // uint32: 1 boot loader, 2 application, 3 update application, 0 unknown
    kMsgStarted = 8,         // uint32 0: a firmware was started
};

struct UpdaterMessage {
    int kind = 0;
    std::vector<uint8_t> data;

    std::string text() const { return std::string(data.begin(), data.end()); }
    uint32_t value() const {
        uint32_t v = 0;
        if (data.size() >= 4) std::memcpy(&v, data.data(), 4);
        return v;
    }
};

// Called on the worker thread; must not block on the receiving thread (post, never wait).
class UpdaterReceiver {
  public:
    virtual ~UpdaterReceiver() = default;
    virtual void post(UpdaterMessage message) = 0;
};

}  // namespace vz
