// The programming job: refuse what does not fit before anything is written, keep the other
// firmware's reset GOTO and vector rows and the module's configuration, then write row by row and
// hand the application its start address, size and checksum.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "base/clock.h"
#include "canfw/bootload.h"
#include "canfw/device_table.h"
#include "canfw/firmware_checks.h"
#include "canfw/firmware_hex_reader.h"

namespace vz {
namespace {

// The setParameter type of an extended parameter (HEX type and value length).
int deviceParameterType(const HexParameter& p) {
    if (p.type == kHexValue32) return 7;
    const int byLength = p.length == 1 ? 0 : p.length == 2 ? 1 : p.length == 4 ? 2 : -1;
    if (byLength < 0) return 0;
    static constexpr int kSigned[] = {2, 4, 6}, kUnsigned[] = {1, 3, 5};
    if (p.type == kHexSigned) return kSigned[byLength];
    if (p.type == kHexUnsigned) return kUnsigned[byLength];
    return -1;
}

}  // namespace

bool CBootload::programDevice(const DeviceInfo* device, int memoryType, const std::string& path,
                              bool bootloaderFile, bool overrideProtection, bool restore) {
    if (!device || path.empty()) {
        postLog("Error: invalid parameter\r\n");
        return false;
    }
    const int id = device->iModuleId;
    DeviceLookup found;
    if (!lookupDevice(device->deviceID, device->procID, found) || !found.layout) {
        postLog("Error: unknown/unsupported device\r\n");
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> fileHandle(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!fileHandle) {
        postLog("Error: Error while opening file (error=%d)\r\n", errno);
        return false;
    }
    LoadedFirmware file;
    file.report.cancelled = [this] { return cancelRequested(); };  // a closing dialog ends the reading
    const LogSink log = [this](const std::string& text) { postText(text); };
    file.hexOk =
        loadFirmwareHex(fileHandle.get(), device->family, file.rows, file.parameters, log, &file.report);
    fileHandle.reset();
    file.settings = deriveFirmwareSettings(file.parameters, file.hexOk, log);
    const FirmwareSettings& fw = file.settings;
    RowImage& rows = file.rows;
    const ParameterMap& parameters = file.parameters;
    const bool hexOk = file.hexOk;

    // Everything that can be decided from the file and the device's identity is decided here, before
    // the first command to the module.
    if (const std::string refusal =
            firmwareRefusal(*device, file, memoryType, bootloaderFile, restore, false);
        !refusal.empty()) {
        postLog("%s", refusal.c_str());
        return false;
    }
    if (overrideProtection && fw.configRangeSet() && !restore)
        postLog(
            "Warning: system configuration of device maybe will be overwritten (reason: user input, "
            "range=0x%06llX - "
            "0x%06llX)\r\n",
            static_cast<unsigned long long>(fw.configStart), static_cast<unsigned long long>(fw.configEnd));
    const int rowSize = static_cast<int>(found.layout->pmRowSize);
    if (!hexOk) return false;

    uint32_t startAddress = 0;
    const bool application = memoryType == kProgramMemory && !bootloaderFile;
    if (application && !restore) {
        postLog("Application start-address auto-detect ..\r\n");
        packRow(rows[0]);
        const auto& t = rows[0].transfer;
        postLog(" :  memory = 0x%02X%02X%02X00%02X%02X%02X%02X\r\n", t[0], t[1], t[2], t[3], t[4], t[5],
                t[6]);
        if (rows[0].empty || t[2] != 0x04) {
            postLog(" Error: Extraction of application start-address failed\r\n");
            return false;
        }
        startAddress = t[0] + 256u * t[1] + 65536u * t[4] + 16777216u * t[5];
        if (fw.firmwareRangeSet() && !(fw.firmwareStart <= startAddress &&
                                       startAddress < fw.firmwareStart + 3u * static_cast<uint32_t>(rowSize)))
            postLog(" Warning: Start-address of application (mismatch with HEX-parameter=0x%06X)\r\n",
                    static_cast<uint32_t>(fw.firmwareStart));
        postLog(" Start-address of application (detected): 0x%06X\r\n", startAddress);
    }
    // A backup holds erased memory too (FF FF FF 00 an instruction); written back, an erased row is
    // written erased, since the firmware programmed since may have used it.
    for (MemoryRow& r : rows) packRow(r);
    auto erased = [](const MemoryRow& r) {
        return std::all_of(r.transfer.begin(), r.transfer.end(), [](uint8_t b) { return b == 0xFF; });
    };
    // Where the module's boot loader begins (from its reset GOTO); a restore keeps everything from there.
    uint32_t bootLoaderStart = 0xFFFFFFFF;
    const bool legacyBackup = restore && !file.report.startSegment;

    if (memoryType == kProgramMemory || legacyBackup) {
        // The first traffic: the module's reset row, whose GOTO belongs to the boot loader.
        postLog("Reading target memory ..\r\n");
        const int n = 3 * rowSize;
        std::vector<uint8_t> device0(static_cast<size_t>(n));
        if (!sendCommand(id, 0x02, 0, static_cast<uint16_t>(n)) ||
            receiveData(id, 0x02, device0.data(), n) != n) {
            postLog(" : Error: Read memory from device failed\r\n");
            return false;
        }
        auto& file0 = rows[0].transfer;
        auto dump = [&](const uint8_t* b, size_t c) { return hexDump(b, c) + "\r\n"; };
        if (restore) {
            if (device0[2] != 0x04) {
                postLog(
                    "Error: the module's reset row holds no GOTO to its boot loader; nothing was "
                    "written\r\n");
                return false;
            }
            bootLoaderStart = device0[0] | device0[1] << 8 | (device0[3] & 0x7Fu) << 16;
            // An older backup names no processor: it must at least hold this module's reset GOTO,
            // which a firmware file never does.
            if (legacyBackup &&
                (rows[0].empty || !std::equal(device0.begin(), device0.begin() + 6, file0.begin()))) {
                postLog(
                    "Error: not a backup of this module (it names no processor and its reset GOTO is not "
                    "the module's); nothing was written\r\n");
                return false;
            }
            if (legacyBackup)
                postLog(
                    "Warning: an older backup that names no processor; its reset GOTO is the module's\r\n");
            postLog(
                "Info: the boot loader's own rows (reset GOTO, 0x000080 to 0x0000FF, 0x%06X up) are kept "
                "as the module has them\r\n",
                bootLoaderStart);
        }
        if (memoryType != kProgramMemory) {
            // Only the check above was wanted.
        } else if (bootloaderFile) {
            postText(" row 0 BL:    " + dump(file0.data(), file0.size()));
            postLog(" start address BL:  0x%02X%02X\r\n", file0[1], file0[0]);
            postText(" row 0 APP:   " + dump(device0.data(), device0.size()));
            postLog(" start address APP: 0x%02X%02X\r\n", device0[1], device0[0]);
            postText(" reset goto instruction:  memory = " + dump(file0.data(), 3));
            postText(" reset target address:    memory = " + dump(file0.data() + 3, 3));
            copyIntoRow(rows[0], 6, device0.data() + 6, 3 * (rowSize - 2));
            postText(" row 0 (new): " + dump(file0.data(), file0.size()));
        } else {
            postText(" reset goto/target (HEX):   memory = " + dump(file0.data(), 6));
            postText(" reset goto/target (read):  memory = " + dump(device0.data(), 6));
            postLog(" start address BL:  0x%02X%02X\r\n", device0[1], device0[0]);
            postLog(" start address APP: 0x%02X%02X\r\n", file0[1], file0[0]);
            postLog("Adjust reset-goto for bootloader ..\r\n");
            copyIntoRow(rows[0], 0, device0.data(), 6);
            postText(" reset goto/target (new):   memory = " + dump(file0.data(), 6));
        }
    }

    // What will be written, for progress: every non-empty row of the job's memory type.
    int toWrite = 0;
    for (const MemoryRow& r : rows) toWrite += r.memoryType == memoryType && !r.empty;
    progress_.total = toWrite;
    progress_.done = 0;

    postLog("Programming Device ..\r\n");
    postLog("  Seg. Adr.       Bytes\r\n");
    bool ok = true;
    uint8_t sum = 0;
    uint32_t byteCount = 0;
    int lastWritten = -1;
    bool contiguous = true;
    auto addSum = [&](const MemoryRow& r, int from) {
        for (int k = from; k < rowTransferSize(r); ++k) sum = static_cast<uint8_t>(sum + r.transfer[k]);
    };
    // Reads a row of the job's memory type from the module and compares it with the row's transfer bytes.
    auto moduleHoldsRow = [&](const MemoryRow& r, bool& same) {
        const int bytes = memoryType == kEepromMemory ? 2 * rowTransferSize(r) : rowTransferSize(r);
        std::vector<uint8_t> now(static_cast<size_t>(bytes));
        const uint8_t readCommand = memoryType == kEepromMemory ? 0x04 : 0x02;
        const uint16_t readSize = static_cast<uint16_t>(rowTransferSize(r));
        if (!sendCommand(id, readCommand, r.baseAddress, readSize) ||
            receiveData(id, readCommand, now.data(), bytes) != bytes) {
            postLog(" : Error: Read memory from device failed\r\n");
            return false;
        }
        same = std::equal(now.begin(), now.end(), r.transfer.begin());
        return true;
    };
    // A restored application's checksum and size follow the rules of programming: rows 0 (after the
    // reset GOTO) to 4, then the run of rows up to the first erased one.
    auto account = [&](int i, const MemoryRow& r) {
        if (i == 0) {
            addSum(r, 6);
        } else if (i <= 4) {
            if (!erased(r)) addSum(r, 0);
        } else if (contiguous && !erased(r)) {
            addSum(r, 0);
            byteCount += static_cast<uint32_t>(rowTransferSize(r));
        } else {
            contiguous = false;
        }
    };
    auto inConfig = [&](uint32_t base) {
        return fw.configRangeSet() && fw.configStart <= base && base <= fw.configEnd;
    };
    for (int i = 0; i < kRowCount && ok; ++i) {
        MemoryRow& r = rows[i];
        if (r.memoryType != memoryType) {
            postLog(" xM: 0x%06X (%2d bytes) skipped (memory type=%d)\r\n", r.baseAddress, rowTransferSize(r),
                    r.memoryType);
            continue;
        }
        if (r.empty) continue;
        if (cancelRequested()) {
            postLog(
                "Error: Programming stopped by request after %d of %d rows; the module stays in its boot "
                "loader\r\n",
                progress_.done.load(), toWrite);
            return false;
        }
        if (restore && !(memoryType == kProgramMemory && (r.baseAddress == 0x80 || r.baseAddress == 0xC0 ||
                                                          r.baseAddress >= bootLoaderStart))) {
            // A row the module already holds as the backup does is left alone: a restore after a
            // firmware update rewrites only what the update changed.
            bool same = false;
            if (!moduleHoldsRow(r, same)) return false;
            if (same) {
                postLog(" xM: 0x%06X (%2d bytes) unchanged\r\n", r.baseAddress, rowTransferSize(r));
                if (memoryType == kProgramMemory) account(i, r);
                ++progress_.done;
                continue;
            }
        }
        clock().sleepMs(50);
        const bool reserved = memoryType == kProgramMemory &&
                              (bootloaderFile ? r.baseAddress == 0x40
                                              : (r.baseAddress == 0x80 || r.baseAddress == 0xC0 ||
                                                 (restore && r.baseAddress >= bootLoaderStart)));
        if (reserved || (!restore && !overrideProtection && inConfig(r.baseAddress))) {
            if (contiguous) lastWritten = -1;
            postLog(" xM: 0x%06X (%2d bytes) skipped (protected memory)\r\n", r.baseAddress,
                    rowTransferSize(r));
            ++progress_.done;
            continue;
        }
        auto write = [&] {
            ok = WriteMemory(id, r);
            return ok;
        };
        if (restore) {
            // Every row the backup holds that differs from the module; each written row is read back,
            // so that a restore reports success only for memory that holds the backup.
            if (write()) {
                bool same = false;
                if (!moduleHoldsRow(r, same)) return false;
                if (!same) {
                    postLog(" : Error: row 0x%06X reads back other than written\r\n", r.baseAddress);
                    return false;
                }
                if (memoryType == kProgramMemory) account(i, r);
            }
        } else if (i == 0) {
            if (write()) addSum(r, 6);
        } else if (memoryType == kEepromMemory) {
            // EEPROM rows are written as they are; they take no part in the application's checksum.
            write();
        } else if (i <= 4) {
            if (write()) addSum(r, 0);
            lastWritten = i;
        } else if (fw.detect) {
            if (contiguous) {
                if (lastWritten < 0) lastWritten = i - 1;
                if (i == lastWritten + 1) {
                    if (write()) {
                        addSum(r, 0);
                        byteCount += static_cast<uint32_t>(rowTransferSize(r));
                    }
                    lastWritten = i;
                } else {
                    contiguous = false;
                }
            }
        } else {
            // A row both in the firmware range and in the configuration range is written once: a
            // second write right after the first finds the flash still busy.
            const bool inFirmware = fw.firmwareStart <= r.baseAddress && r.baseAddress <= fw.firmwareEnd;
            if ((inFirmware || (overrideProtection && inConfig(r.baseAddress))) && write() && inFirmware) {
                addSum(r, 0);
                byteCount += static_cast<uint32_t>(rowTransferSize(r));
            }
        }
        ++progress_.done;
    }
    if (ok) postLog(" : done\r\n");
    const uint8_t checksum = static_cast<uint8_t>(-sum);
    if (!ok || memoryType == kEepromMemory) return ok;

    if (bootloaderFile) {
        postLog("Start bootloader ..\r\n");
        ok = sendCommand(id, 0x0F, 0, 0);
        postLog(ok ? " : done\r\n" : " : failed\r\n");
        return ok;
    }
    if (restore) {
        // The module checks its application by size and checksum; both follow from what was written.
        // The start address cannot be read from a module, so the module keeps the one it has.
        if (byteCount > 0) {
            postLog("Writing standard parameters ..\r\n");
            const uint32_t values[] = {byteCount, checksum};
            for (int nr = 2; nr <= 3 && ok; ++nr) {
                int error = 0;
                if (!setParameter(id, nr, 5, &values[nr - 2], &error) && error != kResultTolerated)
                    ok = false;
            }
        }
        if (ok)
            postLog(
                "Info: backup written back; the module keeps its start address and stays in its boot "
                "loader\r\n");
        return ok;
    }
    auto tolerable = [&](int error) { return error == kResultTolerated || checksOff_; };
    postLog("Writing standard parameters ..\r\n");
    const uint32_t checksum32 = checksum;
    const std::pair<int, std::pair<int, uint32_t>> standard[] = {
        {1, {7, startAddress}}, {2, {5, byteCount}}, {3, {5, checksum32}}};
    for (const auto& [nr, typeValue] : standard) {
        int error = 0;
        const uint32_t value = typeValue.second;
        if (!setParameter(id, nr, typeValue.first, &value, &error) && !tolerable(error)) {
            ok = false;
            break;
        }
    }
    if (!parameters.empty()) {
        postLog("Writing extended parameters ..\r\n");
        for (const auto& [nr, p] : parameters) {
            if (!ok) break;
            if (!p.writeToDevice || nr < 1 || nr > 7) continue;
            if (p.type != kHexSigned && p.type != kHexUnsigned && p.type != kHexValue32) continue;
            const uint32_t value = static_cast<uint32_t>(p.value);
            int error = 0;
            if (!setParameter(id, static_cast<int>(nr), deviceParameterType(p), &value, &error) &&
                !tolerable(error))
                ok = false;
        }
    }
    if (ok) {
        postLog("Start application ..\r\n");
        ok = sendCommand(id, 0x0A, startAddress, 0);
        postLog(ok ? " : done\r\n" : " : failed\r\n");
    }
    return ok;
}

}  // namespace vz
