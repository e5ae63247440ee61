#pragma once
// Reads a firmware or backup file into the rows to program and its HEX-parameters. Every bad line is
// logged and skipped, and named in the report, so that the caller can refuse a damaged file before
// anything is written.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "canfw/hex_parameters.h"
#include "canfw/log_text.h"
#include "canfw/row_image.h"

namespace vz {

// What the reading saw besides the rows and parameters.
struct HexReadReport {
    std::vector<int> badLines;  // line numbers of lines that are no valid record (checksum, length, NUL)
    bool endRecord = false;     // the end-of-file record was read
    bool stopped = false;       // the file was too long, had too many bad lines, or reading was cancelled
    // A start segment address record (segment, offset): a backup names its processor in it.
    std::optional<std::pair<uint32_t, uint32_t>> startSegment;
    std::function<bool()> cancelled;  // asked now and then; true stops the reading

    // Damaged: a bad line, a missing end record or an unfinished reading. Such a file is never written.
    bool damaged() const { return !badLines.empty() || !endRecord || stopped; }
    // "bad lines 3, 17, 20", "no end record (the file is cut off)" or "reading stopped ...".
    std::string damageText() const;
};

// Bounds that keep a wrong file (a device, a huge log) from holding the reader: firmware for these
// processors is far below both.
constexpr long kMaxHexLines = 400000;
constexpr int kMaxBadLinesListed = 20;

// False when the file cannot be opened (the caller reports it) or holds no data record.
bool loadFirmwareHex(const std::string& path, int deviceFamily, RowImage& rows, ParameterMap& parameters,
                     const LogSink& log, HexReadReport* report = nullptr);
// The same from an open file.
bool loadFirmwareHex(FILE* file, int deviceFamily, RowImage& rows, ParameterMap& parameters,
                     const LogSink& log, HexReadReport* report = nullptr);

}  // namespace vz
