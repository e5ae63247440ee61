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

// One programming job: what it was asked, what the file holds, and what the row writes add up.
struct ProgrammingRun {
    const DeviceInfo& device;
    int id;
    int memoryType;
    bool bootloaderFile;
    bool overrideProtection;
    bool restore;
    bool checksOff;
    int rowSize = 0;
    LoadedFirmware file;
    uint32_t startAddress = 0;
    // Where the module's boot loader begins (from its reset GOTO); a restore keeps everything from there.
    uint32_t bootLoaderStart = 0xFFFFFFFF;
    // The application's checksum and size, from the rows written.
    uint8_t sum = 0;
    uint32_t byteCount = 0;
    int lastWritten = -1;
    bool contiguous = true;

    bool application() const { return memoryType == kProgramMemory && !bootloaderFile; }
    bool legacyBackup() const { return restore && !file.report.startSegment; }
    bool inConfig(uint32_t base) const {
        const FirmwareSettings& fw = file.settings;
        return fw.configRangeSet() && fw.configStart <= base && base <= fw.configEnd;
    }
    void addSum(const MemoryRow& r, int from) {
        for (int k = from; k < rowTransferSize(r); ++k) sum = static_cast<uint8_t>(sum + r.transfer[k]);
    }
    // A restored application's checksum and size follow the rules of programming: rows 0 (after the
    // reset GOTO) to 4, then the run of rows up to the first erased one.
    void account(int i, const MemoryRow& r);
};

bool erased(const MemoryRow& r) {
    return std::all_of(r.transfer.begin(), r.transfer.end(), [](uint8_t b) { return b == 0xFF; });
}

void ProgrammingRun::account(int i, const MemoryRow& r) {
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
}

// Reads the file and decides everything that can be decided from it and the device's identity,
// before the first command to the module.
bool checkFileForDevice(CBootload& client, ProgrammingRun& run, const std::string& path) {
    const DeviceInfo& device = run.device;
    DeviceLookup found;
    if (!lookupDevice(device.deviceID, device.procID, found) || !found.layout) {
        client.postLog("Error: unknown/unsupported device\r\n");
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> fileHandle(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!fileHandle) {
        client.postLog("Error: Error while opening file (error=%d)\r\n", errno);
        return false;
    }
    LoadedFirmware& file = run.file;
    file.report.cancelled = [&client] {
        return client.cancelRequested();
    };  // a closing dialog ends the reading
    const LogSink log = [&client](const std::string& text) { client.postText(text); };
    file.hexOk =
        loadFirmwareHex(fileHandle.get(), device.family, file.rows, file.parameters, log, &file.report);
    fileHandle.reset();
    file.settings = deriveFirmwareSettings(file.parameters, file.hexOk, log);
    const FirmwareSettings& fw = file.settings;

    if (const std::string refusal =
            firmwareRefusal(device, file, run.memoryType, run.bootloaderFile, run.restore, false);
        !refusal.empty()) {
        client.postLog("%s", refusal.c_str());
        return false;
    }
    if (run.overrideProtection && fw.configRangeSet() && !run.restore)
        client.postLog(
            "Warning: system configuration of device maybe will be overwritten (reason: user input, "
            "range=0x%06llX - "
            "0x%06llX)\r\n",
            static_cast<unsigned long long>(fw.configStart), static_cast<unsigned long long>(fw.configEnd));
    run.rowSize = static_cast<int>(found.layout->pmRowSize);
    return file.hexOk;
}

// An application's start address is the target of the GOTO in its row 0.
bool detectStartAddress(CBootload& client, ProgrammingRun& run) {
    if (!run.application() || run.restore) return true;
    RowImage& rows = run.file.rows;
    const FirmwareSettings& fw = run.file.settings;
    client.postLog("Application start-address auto-detect ..\r\n");
    packRow(rows[0]);
    const auto& t = rows[0].transfer;
    client.postLog(" :  memory = 0x%02X%02X%02X00%02X%02X%02X%02X\r\n", t[0], t[1], t[2], t[3], t[4], t[5],
                   t[6]);
    if (rows[0].empty || t[2] != 0x04) {
        client.postLog(" Error: Extraction of application start-address failed\r\n");
        return false;
    }
    run.startAddress = t[0] + 256u * t[1] + 65536u * t[4] + 16777216u * t[5];
    if (fw.firmwareRangeSet() &&
        !(fw.firmwareStart <= run.startAddress &&
          run.startAddress < fw.firmwareStart + 3u * static_cast<uint32_t>(run.rowSize)))
        client.postLog(" Warning: Start-address of application (mismatch with HEX-parameter=0x%06X)\r\n",
                       static_cast<uint32_t>(fw.firmwareStart));
    client.postLog(" Start-address of application (detected): 0x%06X\r\n", run.startAddress);
    return true;
}

// The module's reset row, whose GOTO belongs to the boot loader: a boot loader file takes the rest of
// the row from the module, an application the GOTO; a restore checks that the backup is this module's.
bool mergeResetRow(CBootload& client, ProgrammingRun& run) {
    if (run.memoryType != kProgramMemory && !run.legacyBackup()) return true;
    RowImage& rows = run.file.rows;
    const int id = run.id;
    client.postLog("Reading target memory ..\r\n");
    const int n = 3 * run.rowSize;
    std::vector<uint8_t> device0(static_cast<size_t>(n));
    if (!client.sendCommand(id, 0x02, 0, static_cast<uint16_t>(n)) ||
        client.receiveData(id, 0x02, device0.data(), n) != n) {
        client.postLog(" : Error: Read memory from device failed\r\n");
        return false;
    }
    auto& file0 = rows[0].transfer;
    auto dump = [&](const uint8_t* b, size_t c) { return hexDump(b, c) + "\r\n"; };
    if (run.restore) {
        if (device0[2] != 0x04) {
            client.postLog(
                "Error: the module's reset row holds no GOTO to its boot loader; nothing was "
                "written\r\n");
            return false;
        }
        run.bootLoaderStart = device0[0] | device0[1] << 8 | (device0[3] & 0x7Fu) << 16;
        // An older backup names no processor: it must at least hold this module's reset GOTO,
        // which a firmware file never does.
        if (run.legacyBackup() &&
            (rows[0].empty || !std::equal(device0.begin(), device0.begin() + 6, file0.begin()))) {
            client.postLog(
                "Error: not a backup of this module (it names no processor and its reset GOTO is not "
                "the module's); nothing was written\r\n");
            return false;
        }
        if (run.legacyBackup())
            client.postLog(
                "Warning: an older backup that names no processor; its reset GOTO is the module's\r\n");
        client.postLog(
            "Info: the boot loader's own rows (reset GOTO, 0x000080 to 0x0000FF, 0x%06X up) are kept "
            "as the module has them\r\n",
            run.bootLoaderStart);
    }
    if (run.memoryType != kProgramMemory) {
        // Only the check above was wanted.
    } else if (run.bootloaderFile) {
        client.postText(" row 0 BL:    " + dump(file0.data(), file0.size()));
        client.postLog(" start address BL:  0x%02X%02X\r\n", file0[1], file0[0]);
        client.postText(" row 0 APP:   " + dump(device0.data(), device0.size()));
        client.postLog(" start address APP: 0x%02X%02X\r\n", device0[1], device0[0]);
        client.postText(" reset goto instruction:  memory = " + dump(file0.data(), 3));
        client.postText(" reset target address:    memory = " + dump(file0.data() + 3, 3));
        copyIntoRow(rows[0], 6, device0.data() + 6, 3 * (run.rowSize - 2));
        client.postText(" row 0 (new): " + dump(file0.data(), file0.size()));
    } else {
        client.postText(" reset goto/target (HEX):   memory = " + dump(file0.data(), 6));
        client.postText(" reset goto/target (read):  memory = " + dump(device0.data(), 6));
        client.postLog(" start address BL:  0x%02X%02X\r\n", device0[1], device0[0]);
        client.postLog(" start address APP: 0x%02X%02X\r\n", file0[1], file0[0]);
        client.postLog("Adjust reset-goto for bootloader ..\r\n");
        copyIntoRow(rows[0], 0, device0.data(), 6);
        client.postText(" reset goto/target (new):   memory = " + dump(file0.data(), 6));
    }
    return true;
}

// Reads a row of the job's memory type from the module and compares it with the row's transfer bytes.
bool moduleHoldsRow(CBootload& client, const ProgrammingRun& run, const MemoryRow& r, bool& same) {
    const bool eeprom = run.memoryType == kEepromMemory;
    const int bytes = eeprom ? 2 * rowTransferSize(r) : rowTransferSize(r);
    std::vector<uint8_t> now(static_cast<size_t>(bytes));
    const uint8_t readCommand = eeprom ? 0x04 : 0x02;
    const uint16_t readSize = static_cast<uint16_t>(rowTransferSize(r));
    if (!client.sendCommand(run.id, readCommand, r.baseAddress, readSize) ||
        client.receiveData(run.id, readCommand, now.data(), bytes) != bytes) {
        client.postLog(" : Error: Read memory from device failed\r\n");
        return false;
    }
    same = std::equal(now.begin(), now.end(), r.transfer.begin());
    return true;
}

// Every row of the job's memory type that is to be written, but the other firmware's reserved rows
// and (unless overridden) the configuration range; adds the written rows to checksum and size.
bool writeRows(CBootload& client, ProgrammingRun& run) {
    RowImage& rows = run.file.rows;
    const FirmwareSettings& fw = run.file.settings;
    const int memoryType = run.memoryType;
    const bool restore = run.restore;
    CBootload::Progress& progress = client.progress();
    // What will be written, for progress: every non-empty row of the job's memory type.
    int toWrite = 0;
    for (const MemoryRow& r : rows) toWrite += r.memoryType == memoryType && !r.empty;
    progress.total = toWrite;
    progress.done = 0;

    client.postLog("Programming Device ..\r\n");
    client.postLog("  Seg. Adr.       Bytes\r\n");
    bool ok = true;
    for (int i = 0; i < kRowCount && ok; ++i) {
        MemoryRow& r = rows[i];
        if (r.memoryType != memoryType) {
            client.postLog(" xM: 0x%06X (%2d bytes) skipped (memory type=%d)\r\n", r.baseAddress,
                           rowTransferSize(r), r.memoryType);
            continue;
        }
        if (r.empty) continue;
        if (client.cancelRequested()) {
            client.postLog(
                "Error: Programming stopped by request after %d of %d rows; the module stays in its boot "
                "loader\r\n",
                progress.done.load(), toWrite);
            return false;
        }
        if (restore && !(memoryType == kProgramMemory && (r.baseAddress == 0x80 || r.baseAddress == 0xC0 ||
                                                          r.baseAddress >= run.bootLoaderStart))) {
            // A row the module already holds as the backup does is left alone: a restore after a
            // firmware update rewrites only what the update changed.
            bool same = false;
            if (!moduleHoldsRow(client, run, r, same)) return false;
            if (same) {
                client.postLog(" xM: 0x%06X (%2d bytes) unchanged\r\n", r.baseAddress, rowTransferSize(r));
                if (memoryType == kProgramMemory) run.account(i, r);
                ++progress.done;
                continue;
            }
        }
        clock().sleepMs(50);
        const bool reserved = memoryType == kProgramMemory &&
                              (run.bootloaderFile ? r.baseAddress == 0x40
                                                  : (r.baseAddress == 0x80 || r.baseAddress == 0xC0 ||
                                                     (restore && r.baseAddress >= run.bootLoaderStart)));
        if (reserved || (!restore && !run.overrideProtection && run.inConfig(r.baseAddress))) {
            if (run.contiguous) run.lastWritten = -1;
            client.postLog(" xM: 0x%06X (%2d bytes) skipped (protected memory)\r\n", r.baseAddress,
                           rowTransferSize(r));
            ++progress.done;
            continue;
        }
        auto write = [&] {
            ok = client.WriteMemory(run.id, r);
            return ok;
        };
        if (restore) {
            // Every row the backup holds that differs from the module; each written row is read back,
            // so that a restore reports success only for memory that holds the backup.
            if (write()) {
                bool same = false;
                if (!moduleHoldsRow(client, run, r, same)) return false;
                if (!same) {
                    client.postLog(" : Error: row 0x%06X reads back other than written\r\n", r.baseAddress);
                    return false;
                }
                if (memoryType == kProgramMemory) run.account(i, r);
            }
        } else if (i == 0) {
            if (write()) run.addSum(r, 6);
        } else if (memoryType == kEepromMemory) {
            // EEPROM rows are written as they are; they take no part in the application's checksum.
            write();
        } else if (i <= 4) {
            if (write()) run.addSum(r, 0);
            run.lastWritten = i;
        } else if (fw.detect) {
            if (run.contiguous) {
                if (run.lastWritten < 0) run.lastWritten = i - 1;
                if (i == run.lastWritten + 1) {
                    if (write()) {
                        run.addSum(r, 0);
                        run.byteCount += static_cast<uint32_t>(rowTransferSize(r));
                    }
                    run.lastWritten = i;
                } else {
                    run.contiguous = false;
                }
            }
        } else {
            // A row both in the firmware range and in the configuration range is written once: a
            // second write right after the first finds the flash still busy.
            const bool inFirmware = fw.firmwareStart <= r.baseAddress && r.baseAddress <= fw.firmwareEnd;
            if ((inFirmware || (run.overrideProtection && run.inConfig(r.baseAddress))) && write() &&
                inFirmware) {
                run.addSum(r, 0);
                run.byteCount += static_cast<uint32_t>(rowTransferSize(r));
            }
        }
        ++progress.done;
    }
    if (ok) client.postLog(" : done\r\n");
    return ok;
}

// The module checks its application by size and checksum; both follow from what was written. The
// start address cannot be read from a module, so the module keeps the one it has.
bool writeRestoredParameters(CBootload& client, const ProgrammingRun& run) {
    const uint8_t checksum = static_cast<uint8_t>(-run.sum);
    bool ok = true;
    if (run.byteCount > 0) {
        client.postLog("Writing standard parameters ..\r\n");
        const uint32_t values[] = {run.byteCount, checksum};
        for (int nr = 2; nr <= 3 && ok; ++nr) {
            int error = 0;
            if (!client.setParameter(run.id, nr, 5, &values[nr - 2], &error) && error != kResultTolerated)
                ok = false;
        }
    }
    if (ok)
        client.postLog(
            "Info: backup written back; the module keeps its start address and stays in its boot "
            "loader\r\n");
    return ok;
}

// The application's start address, size and checksum, then the file's extended parameters.
bool writeApplicationParameters(CBootload& client, const ProgrammingRun& run) {
    auto tolerable = [&](int error) { return error == kResultTolerated || run.checksOff; };
    client.postLog("Writing standard parameters ..\r\n");
    const uint32_t checksum32 = static_cast<uint8_t>(-run.sum);
    const std::pair<int, std::pair<int, uint32_t>> standard[] = {
        {1, {7, run.startAddress}}, {2, {5, run.byteCount}}, {3, {5, checksum32}}};
    bool ok = true;
    for (const auto& [nr, typeValue] : standard) {
        int error = 0;
        const uint32_t value = typeValue.second;
        if (!client.setParameter(run.id, nr, typeValue.first, &value, &error) && !tolerable(error)) {
            ok = false;
            break;
        }
    }
    const ParameterMap& parameters = run.file.parameters;
    if (parameters.empty()) return ok;
    client.postLog("Writing extended parameters ..\r\n");
    if (!ok) return false;
    for (const auto& [nr, p] : parameters) {
        if (!p.writeToDevice || nr < 1 || nr > 7) continue;
        if (p.type != kHexSigned && p.type != kHexUnsigned && p.type != kHexValue32) continue;
        const uint32_t value = static_cast<uint32_t>(p.value);
        int error = 0;
        if (!client.setParameter(run.id, static_cast<int>(nr), deviceParameterType(p), &value, &error) &&
            !tolerable(error))
            return false;
    }
    return true;
}

// Starts what was written: the new boot loader, or the application at its start address.
bool startWrittenFirmware(CBootload& client, const ProgrammingRun& run) {
    const bool ok = run.bootloaderFile
                        ? (client.postLog("Start bootloader ..\r\n"), client.sendCommand(run.id, 0x0F, 0, 0))
                        : (client.postLog("Start application ..\r\n"),
                           client.sendCommand(run.id, 0x0A, run.startAddress, 0));
    client.postLog(ok ? " : done\r\n" : " : failed\r\n");
    return ok;
}

}  // namespace

bool CBootload::programDevice(const DeviceInfo* device, int memoryType, const std::string& path,
                              bool bootloaderFile, bool overrideProtection, bool restore) {
    if (!device || path.empty()) {
        postLog("Error: invalid parameter\r\n");
        return false;
    }
    ProgrammingRun run{*device, device->iModuleId, memoryType, bootloaderFile, overrideProtection,
                       restore, checksOff_};
    if (!checkFileForDevice(*this, run, path) || !detectStartAddress(*this, run)) return false;
    // A backup holds erased memory too (FF FF FF 00 an instruction); written back, an erased row is
    // written erased, since the firmware programmed since may have used it.
    for (MemoryRow& r : run.file.rows) packRow(r);
    if (!mergeResetRow(*this, run) || !writeRows(*this, run)) return false;
    if (memoryType == kEepromMemory) return true;
    if (bootloaderFile) return startWrittenFirmware(*this, run);
    if (restore) return writeRestoredParameters(*this, run);
    return writeApplicationParameters(*this, run) && startWrittenFirmware(*this, run);
}

}  // namespace vz
