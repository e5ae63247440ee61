// The firmware and backup file reader on any bytes, for each device family: every bad line logged and
// skipped, no row written outside the image, no parameter beyond its table.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "canfw/firmware_hex_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
    if (!file) return 0;
    vz::RowImage rows;
    vz::ParameterMap parameters;
    vz::loadFirmwareHex(file, data[0] % 4, rows, parameters, [](const std::string&) {});
    std::fclose(file);
    return 0;
}
