#include "ctrlfw/controller_update.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <vector>

#include "base/clock.h"
#include "base/controller_type.h"
#include "base/debug_log.h"
#include "base/polling_state.h"
#include "base/settings.h"
#include "base/text_format.h"
#include "channel/module_memory_map.h"
#include "ctrlfw/bridge_serial_port.h"
#include "ctrlfw/flash_image.h"
#include "ctrlfw/flash_sectors.h"
#include "link/exchange_engine.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/snmp/snmp_client.h"
#include "link/usb_link.h"
#include "prg/coff_reader.h"

namespace vz {
namespace {

ControllerUpdateSteps steps_;

// The driver's message callback carries no context: the update that opened it receives its texts.
std::mutex activeMutex;
ControllerUpdate* active = nullptr;

void driverMessage(PRG_HANDLE, int, const char* text) {
    std::lock_guard lock(activeMutex);
    if (active && text) active->log(text);
}

bool isReadableFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec) && ::access(p.c_str(), R_OK) == 0;
}

}  // namespace

ControllerUpdateSteps& controllerUpdateSteps() {
    return steps_;
}
void resetControllerUpdateSteps() {
    steps_ = {};
}

ControllerUpdateSteps stepsForImage(FlashImageType type, bool eraseBootloader, bool eraseFirmware,
                                    bool verify) {
    const bool bootLoader = type == FlashImageType::BootLoader;
    ControllerUpdateSteps steps;
    steps.eraseBootloader = bootLoader || eraseBootloader;
    steps.eraseFirmware = !bootLoader || eraseFirmware;
    steps.program = true;
    steps.verify = verify;
    return steps;
}

uint16_t eraseMaskFor(const ControllerUpdateSteps& steps) {
    return static_cast<uint16_t>((steps.eraseFirmware ? kEraseFirmwareMask : 0) |
                                 (steps.eraseBootloader ? kEraseBootloaderMask : 0));
}

std::string partIdText(uint16_t partId) {
    switch (partId) {
        case 1:
            return "F281x(1)";
        case 2:
            return "F281x(2)";
        case 3:
            return "C281x";
        default:
            return formatText(kLineLimit, "%04X", partId);
    }
}

std::string revisionIdText(uint16_t revisionId) {
    switch (revisionId) {
        case 1:
            return "A)";
        case 2:
            return "B";
        case 3:
            return "C/D";
        case 5:
            return "E";
        case 6:
            return "F";
        case 7:
            return "G";
        default:
            return formatText(kLineLimit, "%04X", revisionId);
    }
}

int deviceLayoutFor(const std::string& bootloaderText) {
    for (const char* prefix : {"VELK-BL 2.", "VAR7-BL 2.", "KTS00BL 2."})
        if (bootloaderText.compare(0, 10, prefix) == 0) return 2;
    return 3;
}

bool versionBlockText(const uint16_t block[16], std::string& text) {
    if (block[7] != 0x480E) return false;
    text.clear();
    for (int i = 8; i < 16; ++i) {
        text.push_back(static_cast<char>(block[i] & 0xFF));
        text.push_back(static_cast<char>(block[i] >> 8));
    }
    // As "%.16s" shows it: up to the first NUL.
    if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return true;
}

bool findOnSearchPath(const std::string& name, std::string& fullPath, int& error) {
    namespace fs = std::filesystem;
    std::vector<fs::path> dirs;
    auto addList = [&](const char* list) {
        if (!list) return;
        std::stringstream in(list);
        for (std::string dir; std::getline(in, dir, ':');)
            if (!dir.empty()) dirs.emplace_back(dir);
    };
    addList(std::getenv("VIDIZOZOREZ_FIRMWARE_PATH"));
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) dirs.push_back(exe.parent_path());
    dirs.emplace_back(".");
    addList(std::getenv("PATH"));
    for (const fs::path& dir : dirs) {
        const fs::path candidate = dir / name;
        if (isReadableFile(candidate)) {
            fullPath = fs::absolute(candidate, ec).string();
            if (ec) fullPath = candidate.string();
            error = 0;
            return true;
        }
    }
    error = ENOENT;
    return false;
}

bool findInstalledStandIn(const std::string& name, std::string& fullPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return false;
    const fs::path candidate =
        (exe.parent_path() / VZ_STANDIN_FIRMWARE_FROM_BINDIR / name).lexically_normal();
    if (!isReadableFile(candidate)) return false;
    fullPath = candidate.string();
    return true;
}

bool isVirtualCrateStandIn(const std::string& path) {
    using namespace vzprg;
    std::unique_ptr<CoffFile> coff;
    const uint8_t block[16] = {};
    bool standIn = false;
    if (coffOpen(path, block, coff) == 0) {
        for (const CoffSection& section : coff->sections()) {
            char name[64];
            if (coffSectionName(*coff, section, sizeof name, name) == 0 &&
                std::string(name) == kVirtualCrateOnlySection)
                standIn = true;
        }
    }
    coffClose(coff);
    return standIn;
}

ControllerUpdate::ControllerUpdate(const PrgInterface& prg)
    : prg_(prg), image_(std::make_unique<FlashImage>([this](const std::string& line) { log(line); })) {
    image_->setDriver(&prg_, handle_, PRG_EraseSectors);
    image_->setStopRequested([this] { return cancelled_.load(); });
    image_->setProgress([this](FlashStep step, int done, int total) {
        if (!progressSink_) return;
        const UpdateStep s = step == FlashStep::Erase   ? UpdateStep::Erase
                             : step == FlashStep::Write ? UpdateStep::Program
                                                        : UpdateStep::Verify;
        progressSink_(s, done, total);
    });
}

ControllerUpdate::~ControllerUpdate() {
    std::lock_guard lock(activeMutex);
    if (active == this) active = nullptr;
}

void ControllerUpdate::log(const std::string& text) {
    debugLog(kLogInfo, "%s", text.c_str());
    if (logSink_) logSink_(text);
}

int ControllerUpdate::imageType() const {
    return prepared_ ? static_cast<int>(image_->type()) : 0;
}

void ControllerUpdate::applyOptions(const std::string& bootFile) {
    const std::string port =
        crateSettings().portName.size() > 3 ? crateSettings().portName.substr(3) : std::string();
    const std::string opts[] = {
        formatText(kLineLimit, "EmuPortAddr=0xC%s", port.c_str()),
        "EmuBaudRate=38400",
        formatText(kLineLimit, "PrgBootLoadFileName=%s", bootFile.c_str()),
        "PrgSkipBootLoad=NO",
    };
    for (const std::string& o : opts) prg_.SetOptions(handle_, o.c_str());
    {
        std::lock_guard lock(activeMutex);
        active = this;
    }
    prg_.SetMessageCallBack(handle_, driverMessage);
    const std::string more[] = {
        formatText(kLineLimit, "PrgEraseFileName=%s", bootFile.c_str()),
        "PrgEraseTimeout=200",
        formatText(kLineLimit, "PrgProgrammingFileName=%s", bootFile.c_str()),
        "PrgProgrammingTimeout=200,PrgProgrammingOption1=0,PrgProgrammingOption2=0,PrgProgrammingOption3=0,"
        "PrgProgrammingOption4=0",
        formatText(kLineLimit, "PrgVerifyFileName=%s", bootFile.c_str()),
        "PrgVerifyTimeout=200,PrgVerifyOption1=0x0f0f,PrgVerifyOption2=0x001f,PrgVerifyOption3=0,"
        "PrgVerifyOption4=0",
    };
    for (const std::string& o : more) prg_.SetOptions(handle_, o.c_str());
}

bool ControllerUpdate::connect() {
    if (connected_) return true;
    // A stop asked for before this point stays asked for: the driver's own flag is cleared by
    // PRG_Init and PRG_Open, so it is looked at here around them.
    if (cancelled_) return false;
    const char* fileName =
        crateSettings().controllerType == 18 ? "F2812SerialFlash.out" : "F2811SerialFlash.out";
    std::string bootFile;
    int error = 0;
    // An installed program brings the virtual crate's stand-ins along; a real controller's access
    // firmware comes with the controller and is only ever taken from the search path.
    const bool virtualCrate = crateSettings().portName.rfind("SIM", 0) == 0;
    if (!findOnSearchPath(fileName, bootFile, error) &&
        !(virtualCrate && findInstalledStandIn(fileName, bootFile))) {
        log(formatText(kLineLimit, "Unnable to find boot loader file \"%s\", Error %d\r\n", fileName, error));
        return false;
    }
    if (!virtualCrate && isVirtualCrateStandIn(bootFile)) {
        log(formatText(
            kLineLimit,
            "\"%s\" stands in for the access firmware in the virtual crate only; it is not sent to a "
            "real controller\r\n",
            bootFile.c_str()));
        return false;
    }
    if (!pollingPause_) pollingPause_.emplace();
    usbSetLines(1, 1);
    clock().sleepMs(100);
    usbSetLines(0, 1);
    clock().sleepMs(100);
    log("Target is executing ROM boot loader\r\n");

    prg_.Init(&handle_);
    image_->setDriver(&prg_, handle_, PRG_EraseSectors);
    PRG_SetSerialPort(handle_, &bridgeSerialPort());
    applyOptions(bootFile);
    if (cancelled_) return false;
    int status = prg_.Open(handle_);
    // The driver opens synchronously; the loop is the way out should it ever report busy.
    for (int polls = 0; status == PRG_STATUS_BUSY && polls < 600; ++polls) {
        clock().sleepMs(100);
        status = prg_.Status(handle_);
    }
    connected_ = status == PRG_STATUS_OK && !cancelled_;
    return connected_;
}

bool ControllerUpdate::controllerStarts(int attempts) {
    // A controller that boots needs a moment; one that does not never answers, and that is no
    // communication problem to put before the operator.
    const SingleAttemptScope once;
    for (int i = 0; i < attempts; ++i) {
        if (i > 0) clock().sleepMs(300);
        // Any well-formed reply is the controller firmware's: a module error (-2) answers as well as data.
        uint8_t word[2];
        const int read = directReadAddr(kControllerAddress, 2, kWordSpace + kCacheUserConfigWord, word, 2);
        if (read == 2 || read == -2) return true;
        // A controller that talks SNMP over SLIP answers only that.
        uint8_t description[128];
        if ((crateSettings().controllerType == kQx308 || crateSettings().controllerType == kKrat) &&
            snmpProbe(description, sizeof description) == 0)
            return true;
    }
    return false;
}

bool ControllerUpdate::readBlock(uint32_t address, const char* name, uint16_t block[16]) {
    const int status = prg_.MemRead(handle_, address, 0, 32, block);
    if (status == PRG_STATUS_OK) return true;
    log(formatText(kLineLimit, "ERROR: Unable to read the TMS320 memory (%s, Code 0x%X)\r\n", name,
                   static_cast<unsigned>(status)));
    return false;
}

bool ControllerUpdate::readDevice() {
    currentFirmware_ = currentBootloader_ = "Illegal Version!";
    bootloaderPresent_.reset();
    // Whether the controller ran before is what a boot-loader-only update can promise afterwards.
    if (!connected_ && !cancelled_) startedBefore_ = controllerStarts(1);
    if (!connect()) return false;
    log("Read silicon ID: ");
    uint16_t ids[2] = {0, 0};
    if (const int status = prg_.MemRead(handle_, kPartIdRevIdAddr, 0, 4, ids); status != PRG_STATUS_OK) {
        log(formatText(kLineLimit,
                       "ERROR: Unable to read the TMS320 memory (PARTID_REVID_ADDR, Code 0x%X)\r\n",
                       static_cast<unsigned>(status)));
        return false;
    }
    partText_ = partIdText(ids[0]);
    revisionText_ = revisionIdText(ids[1]);
    log(formatText(kLineLimit, "Part %s, Rev %s\n", partText_.c_str(), revisionText_.c_str()));

    log("Read version information from flash:\r\n");
    uint16_t firmware[16] = {}, boot[16] = {};
    std::string text;
    if (!readBlock(kFirmwareVersionInfoAddrOld, "FIRMWARE_VERSION_INFO_ADDR_OLD", firmware)) return false;
    if (!versionBlockText(firmware, text) &&
        !readBlock(kFirmwareVersionInfoAddr, "FIRMWARE_VERSION_INFO_ADDR", firmware))
        return false;
    if (!readBlock(kBootloadVersionInfoAddr, "BOOTLOAD_VERSION_INFO_ADDR", boot)) return false;

    bootloaderPresent_ = versionBlockText(boot, text);
    if (*bootloaderPresent_) {
        log(formatText(kLineLimit, "  Device BOOT firmware: \"%.16s\"\r\n", text.c_str()));
        currentBootloader_ = text;
    } else {
        log("  Device BOOT firmware not programmed\r\n");
    }
    if (versionBlockText(firmware, text)) {
        log(formatText(kLineLimit, "  Device FIRMWARE: \"%.16s\"\r\n", text.c_str()));
        currentFirmware_ = text;
    } else {
        log("  Device FIRMWARE: Not programmed with valid software (This is OK if no bootloader is "
            "used)\r\n");
    }
    return true;
}

bool ControllerUpdate::prepare(const std::string& path) {
    prepared_ = false;
    newImageText_.clear();
    rejectReason_.clear();
    if (const int rc = image_->importCoff(path.c_str()); rc != 0) {
        rejectReason_ =
            rc == 1    ? std::string("no file chosen")
            : rc == -1 ? std::string("no section .blversion, .fwversion or .version: no controller image")
                       : formatText(kLineLimit, "%s (COFF code %d)", vzprg::coffResultText(rc), rc);
        log(formatText(kLineLimit, "COFF File \"%s\" rejected: %s\n", path.c_str(), rejectReason_.c_str()));
        return false;
    }
    // Only the words that lie in the flash are programmed; without any, the size and checksum alone
    // would make an erased flash look like a valid firmware.
    if (image_->wordsImported() == 0) {
        debugLog(kLogWarning, "Trying to program 0 words");
        rejectReason_ = "Trying to program 0 words: no section lies in the flash (0x3D8000-0x3F7FFF)";
        log(formatText(kLineLimit, "COFF File \"%s\" rejected: %s\n", path.c_str(), rejectReason_.c_str()));
        return false;
    }
    image_->insertChecksum(deviceLayoutFor(currentBootloader_));
    // The version block the image brings, for the "New Firmw./Bootl." field.
    const FlashImageType type = image_->type();
    const uint32_t blockAt = type == FlashImageType::BootLoader            ? kBootloadVersionInfoAddr
                             : type == FlashImageType::FirmwareOlderLayout ? kFirmwareVersionInfoAddrOld
                                                                           : kFirmwareVersionInfoAddr;
    uint16_t block[16];
    for (uint32_t i = 0; i < 16; ++i) block[i] = image_->word(blockAt + i);
    if (!versionBlockText(block, newImageText_) && type == FlashImageType::FirmwareOlderLayout) {
        for (uint32_t i = 0; i < 16; ++i) block[i] = image_->word(kFirmwareVersionInfoAddr + i);
        if (!versionBlockText(block, newImageText_)) newImageText_.clear();
    }
    prepared_ = true;
    return true;
}

UpdatePlan ControllerUpdate::plan(const ControllerUpdateSteps& steps) const {
    UpdatePlan p;
    p.type = prepared_ ? image_->type() : FlashImageType::None;
    p.eraseMask = eraseMaskFor(steps);
    p.program = steps.program;
    p.verify = steps.verify;
    if (prepared_) {
        p.writes = image_->writeRanges();
        for (const FlashImage::WordRange& r : p.writes) p.wordsToWrite += r.last - r.first + 1;
        if (image_->lowest() <= image_->highest())
            p.imageSectors = sectorsOfRange(image_->lowest(), image_->highest());
    }
    // Programming can only clear bits: whatever the image needs in a sector that is not erased must be
    // there already.
    if (steps.program) p.unerasedImageSectors = static_cast<uint16_t>(p.imageSectors & ~p.eraseMask);

    const bool bootLoaderImage = p.type == FlashImageType::BootLoader;
    auto noStart = [&p](const char* why) {
        p.expectStart = false;
        p.noStartReason = why;
    };
    if ((p.eraseMask & kEraseBootloaderMask) && !(steps.program && bootLoaderImage))
        noStart(
            "the boot-loader sectors A and B are erased and no boot loader is programmed: the controller "
            "cannot start until a boot loader is programmed");
    else if ((p.eraseMask & kEraseFirmwareMask) && !(steps.program && !bootLoaderImage))
        noStart(
            "the firmware sectors C-J are erased and no firmware is programmed: the controller will not "
            "run until a firmware is programmed");
    else if (bootLoaderImage && startedBefore_ == false)
        noStart("the controller ran no firmware before the update: it starts once a firmware is programmed");
    else if (!bootLoaderImage && !(p.eraseMask & kEraseBootloaderMask) && bootloaderPresent_ == false)
        noStart("the controller has no boot loader: it starts once a boot loader is programmed");
    return p;
}

std::string ControllerUpdate::planText(const UpdatePlan& p) const {
    const char* typeName = p.type == FlashImageType::BootLoader            ? "boot-loader image"
                           : p.type == FlashImageType::Firmware            ? "firmware image"
                           : p.type == FlashImageType::FirmwareOlderLayout ? "firmware image (older layout)"
                                                                           : "no image";
    std::string text = formatText(kLineLimit, "Plan: %s", typeName);
    if (!newImageText_.empty()) text += formatText(kLineLimit, " \"%s\"", newImageText_.c_str());
    text += "\n";
    if (p.eraseMask)
        text += formatText(kLineLimit, "  erase sectors %s (mask 0x%4.4X)\n",
                           sectorNames(p.eraseMask).c_str(), p.eraseMask);
    else
        text += "  erase nothing\n";
    if (p.program) {
        text +=
            formatText(kLineLimit, "  write %u words in %zu range%s:", static_cast<unsigned>(p.wordsToWrite),
                       p.writes.size(), p.writes.size() == 1 ? "" : "s");
        constexpr size_t kShown = 8;
        for (size_t i = 0; i < p.writes.size() && i < kShown; ++i)
            text += formatText(kLineLimit, " 0x%06X-0x%06X", p.writes[i].first, p.writes[i].last);
        if (p.writes.size() > kShown)
            text += formatText(kLineLimit, " and %zu more", p.writes.size() - kShown);
        text += formatText(kLineLimit, " (sectors %s)\n", sectorNames(p.imageSectors).c_str());
    }
    if (p.verify && prepared_ && image_->lowest() <= image_->highest())
        text += formatText(kLineLimit, "  verify 0x%06X-0x%06X\n", image_->lowest(), image_->highest());
    text += p.expectStart ? "  afterwards the controller runs its firmware\n"
                          : "  afterwards the controller does not start: " + p.noStartReason + "\n";
    return text;
}

bool ControllerUpdate::checkPlan(const UpdatePlan& p) {
    if (!prepared_) {
        log("No image is prepared: nothing was erased or written\n");
        return false;
    }
    if ((p.program || p.verify) && image_->wordsImported() == 0) {
        debugLog(kLogWarning, "Trying to program 0 words");
        log("Trying to program 0 words: refused, nothing was erased or written\n");
        return false;
    }
    // Each sector the image needs but that stays as it is: read it back and see whether programming
    // the image over it gives the image (every 1 bit of the image still 1 in the flash).
    uint16_t refused = 0;
    std::string example;
    for (int k = 0; k < kFlashSectorCount; ++k) {
        if (!(p.unerasedImageSectors & (1u << k))) continue;
        const FlashSector& sector = kFlashSectors[k];
        const uint32_t from = std::max(sector.first, image_->lowest());
        const uint32_t to = std::min(sector.first + sector.words - 1, image_->highest());
        constexpr uint32_t kReadWords = 113;  // one reply packet
        for (uint32_t a = from; a <= to && !(refused & (1u << k)); a += kReadWords) {
            if (cancelled_) return false;
            const uint32_t n = std::min(kReadWords, to - a + 1);
            uint16_t flash[kReadWords];
            if (const int status = prg_.FlashRead(handle_, a, 0, 2 * n, flash); status != PRG_STATUS_OK) {
                log(formatText(
                    kLineLimit,
                    "ERROR: Unable to read the flash at 0x%06X (Code 0x%X): refused, nothing was erased or "
                    "written\n",
                    a, static_cast<unsigned>(status)));
                return false;
            }
            for (uint32_t i = 0; i < n; ++i) {
                const uint16_t want = image_->word(a + i);
                if ((flash[i] & want) == want) continue;
                refused = static_cast<uint16_t>(refused | (1u << k));
                if (example.empty())
                    example = formatText(kLineLimit, "0x%06X holds 0x%04X, the image 0x%04X", a + i, flash[i],
                                         want);
                break;
            }
        }
    }
    if (refused) {
        log(formatText(
            kLineLimit,
            "Refused: the image has words in sector%s %s, which %s not erased and not blank there (%s); "
            "nothing was erased or written\n",
            std::popcount(refused) == 1 ? "" : "s", sectorNames(refused).c_str(),
            std::popcount(refused) == 1 ? "is" : "are", example.c_str()));
        return false;
    }
    return true;
}

bool ControllerUpdate::dryRun(const ControllerUpdateSteps& steps) {
    refused_ = flashTouched_ = false;
    started_.reset();
    lastPlan_ = plan(steps);
    log(planText(lastPlan_));
    bool ok = connect();
    if (ok && !checkPlan(lastPlan_)) {
        ok = false;
        refused_ = !cancelled_;
    }
    if (ok) log("Dry run: the plan holds; nothing was erased or written\n");
    reset();
    return ok && !cancelled_;
}

bool ControllerUpdate::run(const ControllerUpdateSteps& steps) {
    refused_ = flashTouched_ = stepsSucceeded_ = false;
    started_.reset();
    lastPlan_ = plan(steps);
    bool ok = connect();
    if (ok) log(planText(lastPlan_));
    if (ok && !checkPlan(lastPlan_)) {
        ok = false;
        refused_ = !cancelled_;
    }
    if (ok && (steps.eraseFirmware || steps.eraseBootloader) && !cancelled_) {
        const uint16_t mask = eraseMaskFor(steps);
        log(formatText(kLineLimit, "Erase the flash (mask 0x%4.4X)\n", mask));
        flashTouched_ = true;
        ok = image_->eraseFlash(mask);
        log(ok ? "Flash erased sucessfully\n" : "Flash erasure failed!!!\n");
    }
    if (ok && steps.program && !cancelled_) {
        log("Program the flash:");
        flashTouched_ = true;
        ok = image_->writeFlash();
        log(ok ? "\nProgram OK\n" : "Failed flash programming!!!\n");
    }
    if (ok && steps.verify && !cancelled_) {
        log("Verify the flash:");
        ok = image_->verifyFlash();
        log(ok ? "\nVerify OK\n" : "Failed flash verify!!!\n");
    }
    stepsSucceeded_ = ok && !cancelled_;
    reset();
    // The verdict is the controller's own: does it run after the restart?
    started_ = controllerStarts();
    if (*started_)
        log("The controller runs its firmware again\n");
    else if (!lastPlan_.expectStart && ok && !cancelled_)
        log("The controller does not start, as planned: " + lastPlan_.noStartReason + "\n");
    else
        log("The controller does not start!!!\n");
    if (!ok || cancelled_) return false;
    return *started_ || !lastPlan_.expectStart;
}

void ControllerUpdate::reset() {
    log("\r\n*** Resetting TMS320 ***\r\n");
    // The access firmware is gone with the reset; the driver must not believe it is still connected.
    if (handle_) prg_.Close(handle_);
    usbSetLines(1, 0);
    clock().sleepMs(100);
    usbSetLines(0, 0);
    clock().sleepMs(100);
    {
        std::lock_guard lock(linkState().linkLock);
        usbConfigure();
    }
    log("\r\n*** Ready, hit CANCEL to close the window! ***");
    connected_ = false;
}

void ControllerUpdate::cancel() {
    cancelled_ = true;
    prg_.Close(handle_);
}

}  // namespace vz
