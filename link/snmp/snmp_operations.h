#pragma once
// The five module access operations carried in SNMP: the same frames as the direct protocol
// without their check byte, each one SetRequest of the module frame object. Same arguments and
// results as the direct operations.
#include <cstdint>

namespace vz {

int snmpReadShort(uint8_t module, uint8_t functionCode, void* destination, int length);
int snmpReadAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination, int length);
int snmpWriteShort(uint8_t module, uint8_t functionCode, const void* data, int length);
int snmpWriteAddr(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length);
int snmpWriteReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                   uint16_t* result, int resultLength);

// Fills the operation table with the five SNMP variants.
void bindSnmpVariants();

}  // namespace vz
