#pragma once
// Frames of the module access protocol as the controller sees them: request decoding from the
// header byte and reply building. Written independently of the program's side on purpose.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vsim {

// Probe is no frame: the SNMP GetRequest of sysDescr, named so that fault rules can pick it.
enum class Operation { ReadShort, ReadAddr, WriteShort, WriteAddr, WriteReply, Assign, Probe };
const char* operationName(Operation op);
std::optional<Operation> operationFromName(const char* name);

// Reply status values. Bit 3 tells the host that three address bytes follow the status.
inline constexpr uint8_t kStatusRead = 0x00;
inline constexpr uint8_t kStatusDone = 0x06;
inline constexpr uint8_t kStatusError = 0x07;
inline constexpr uint8_t kStatusAddressFollows = 0x08;

inline constexpr uint32_t kCommandSpace = 0x10000;
inline constexpr uint32_t kWordSpace = 0x20000;

// 0x5A XOR all bytes: the value of the last byte of a frame.
uint8_t checkByte(const uint8_t* bytes, size_t length);

struct Request {
    uint8_t module = 0;
    uint8_t header = 0;
    bool read = false;
    int functionCode = 0;
    bool hasAddress = false;
    uint32_t address = 0;       // 18 bits
    size_t lengthBytes = 0;     // data length named by the header
    std::vector<uint8_t> data;  // write data
    Operation operation = Operation::ReadShort;
};

// Total size of the request that starts with this header byte, check byte included.
size_t requestSize(uint8_t header);
// Decodes a complete request; nullopt when its check byte is wrong.
std::optional<Request> decodeRequest(const uint8_t* bytes, size_t length);

// The reply frames; each ends with its check byte.
std::vector<uint8_t> readShortReply(uint8_t module, uint8_t status, const std::vector<uint8_t>& data);
std::vector<uint8_t> readAddrReply(uint8_t module, uint8_t status, uint32_t address,
                                   const std::vector<uint8_t>& data);
std::vector<uint8_t> writeShortReply(uint8_t module, uint8_t status);
std::vector<uint8_t> writeAddrReply(uint8_t module, uint8_t status, uint32_t address);
std::vector<uint8_t> writeResultReply(uint8_t module, uint8_t status, uint32_t address, uint16_t result);

}  // namespace vsim
