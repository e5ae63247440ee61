#include "canfw/firmware_hex_reader.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "base/text_format.h"
#include "canfw/hex_record.h"

namespace vz {
namespace {

// The row that takes a device address: the ranges of the rows do not overlap, so the first row
// in programming order that accepts the address is found by arithmetic.
MemoryRow* rowFor(RowImage& rows, uint32_t deviceAddress) {
    const uint32_t pmSpan = 2u * static_cast<uint32_t>(rows[0].wordsPerRow);
    if (deviceAddress < kPmRows * pmSpan) return &rows[deviceAddress / pmSpan];
    if (deviceAddress >= kEmRowBase && deviceAddress < kEmRowBase + 32u * kEmRows)
        return &rows[kFirstEmRow + (deviceAddress - kEmRowBase) / 32];
    if (deviceAddress >= kCmRowBase && deviceAddress < kCmRowBase + 2u * (kRowCount - kFirstCmRow))
        return &rows[kFirstCmRow + (deviceAddress - kCmRowBase) / 2];
    return nullptr;
}

uint32_t word16(const std::string& hex, size_t at) {
    return static_cast<uint32_t>(std::strtoul(hex.substr(at, 4).c_str(), nullptr, 16));
}

}  // namespace

std::string HexReadReport::damageText() const {
    std::string text;
    if (stopped) text = "reading stopped (too long, too many bad lines, or cancelled)";
    if (!badLines.empty()) {
        text += text.empty() ? "" : "; ";
        text += badLines.size() == 1 ? "bad line" : "bad lines";
        for (size_t i = 0; i < badLines.size() && i < kMaxBadLinesListed; ++i)
            text += (i ? ", " : " ") + std::to_string(badLines[i]);
        if (badLines.size() > kMaxBadLinesListed)
            text += " and " + std::to_string(badLines.size() - kMaxBadLinesListed) + " more";
    }
    if (!endRecord && !stopped)
        text += std::string(text.empty() ? "" : "; ") + "no end record, the file is cut off";
    return text;
}

bool loadFirmwareHex(const std::string& path, int deviceFamily, RowImage& rows, ParameterMap& parameters,
                     const LogSink& log, HexReadReport* report) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!file) return false;
    return loadFirmwareHex(file.get(), deviceFamily, rows, parameters, log, report);
}

bool loadFirmwareHex(FILE* file, int deviceFamily, RowImage& rows, ParameterMap& parameters,
                     const LogSink& log, HexReadReport* report) {
    HexReadReport own;
    HexReadReport& seen = report ? *report : own;
    seen.badLines.clear();
    seen.endRecord = false;
    seen.stopped = false;
    seen.startSegment.reset();
    rows = makeRowImage(deviceFamily);
    parameters.clear();
    log("Reading HexFile ..\r\n");
    int lineNumber = 0, dataRecords = 0;
    uint32_t offset = 0;
    std::string line;
    for (;;) {
        // At most 4095 characters a read, a longer line taken in pieces. A NUL byte inside a line
        // damages it (text tools would cut the line there and hide what follows).
        line.clear();
        bool nul = false;
        int c = 0;
        while (line.size() < 4095 && (c = std::fgetc(file)) != EOF) {
            if (c == '\0') nul = true;
            line.push_back(static_cast<char>(c));
            if (c == '\n') break;
        }
        if (line.empty()) break;
        ++lineNumber;
        if (lineNumber > kMaxHexLines || (lineNumber % 1024 == 0 && seen.cancelled && seen.cancelled()) ||
            seen.badLines.size() > 1000) {
            log(formatText(kLineLimit, "Error: reading of the HEX-file stopped (iLine=%d)\r\n", lineNumber));
            seen.stopped = true;
            break;
        }
        const size_t cut = line.find_first_of(std::string("\r\n\0", 3));
        if (cut != std::string::npos) line.resize(cut);
        const auto record = nul ? std::nullopt : parseHexLine(line);
        if (!record) {
            log(formatText(kLineLimit, "No valid HEX-record line (iLine=%d, line='%s')\r\n", lineNumber,
                           line.c_str()));
            seen.badLines.push_back(lineNumber);
            continue;
        }
        const std::string& data = record->dataText;
        switch (record->type) {
            case 0x00: {
                ++dataRecords;
                uint32_t deviceAddress = (record->address + offset) / 2;
                const size_t wanted =
                    std::min<size_t>(2u * static_cast<size_t>(record->byteCount), data.size());
                for (size_t at = 0; at + 4 <= wanted; at += 4, ++deviceAddress) {
                    MemoryRow* row = rowFor(rows, deviceAddress);
                    if (!row || !setRowWord(*row, deviceAddress, data.c_str() + at))
                        log(formatText(kLineLimit, "Error: Address out of range (iLine=%d, adr=0x%X)\r\n",
                                       lineNumber, 2 * deviceAddress));
                }
                break;
            }
            case 0x01:
                seen.endRecord = true;
                break;
            case 0x02:
                if (data.size() >= 4) offset = word16(data, 0) * 16;
                break;
            case 0x03:
                log(formatText(kLineLimit,
                               "Info: start segment address record (iSegment=%d, iOffset=0x%06X)\r\n",
                               data.size() >= 4 ? static_cast<int>(word16(data, 0)) : 0,
                               data.size() >= 8 ? word16(data, 4) : 0));
                if (data.size() >= 8) seen.startSegment = std::make_pair(word16(data, 0), word16(data, 4));
                break;
            case 0x04:
                if (data.size() >= 4) offset = word16(data, 0) * 65536;
                break;
            case 0xD1: {
                const auto p = parseHexParameter(record->address, record->byteCount, data);
                if (!p) {
                    log(formatText(kLineLimit, "Error: HEX-parameter invalid/unsupported (iLine=%d)\r\n",
                                   lineNumber));
                } else if (parameters.count(p->number)) {
                    log(formatText(kLineLimit, "Warning: HEX-parameter already defined (nr=%d)\r\n",
                                   static_cast<int>(p->number)));
                } else {
                    parameters.emplace(p->number, *p);
                }
                break;
            }
            default:
                log(formatText(kLineLimit, "Error: Unsupported HEX-record type (iLine=%d, recordType=%d)\r\n",
                               lineNumber, record->type));
                break;
        }
    }
    return lineNumber > 0 && dataRecords > 0;
}

}  // namespace vz
