#pragma once
// Reads a firmware or backup file into the rows to program and its HEX-parameters. Every bad line is
// logged and skipped; reading never stops early.
#include <cstdio>
#include <string>

#include "canfw/hex_parameters.h"
#include "canfw/log_text.h"
#include "canfw/row_image.h"

namespace vz {

// False when the file cannot be opened (the caller reports it) or holds no data record.
bool loadFirmwareHex(const std::string& path, int deviceFamily, RowImage& rows, ParameterMap& parameters,
                     const LogSink& log);
// The same from an open file.
bool loadFirmwareHex(FILE* file, int deviceFamily, RowImage& rows, ParameterMap& parameters,
                     const LogSink& log);

}  // namespace vz
