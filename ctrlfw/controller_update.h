#pragma once
// The controller firmware update without a window: connect to the processor's boot loader through
// the flash programming driver, read its identity and versions, prepare an image from a COFF file,
// erase, program and verify the flash, and reset the processor back to the module access protocol.
// The firmware dialog and `vzctl ctrl` drive the same object.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/polling_state.h"
#include "ctrlfw/flash_image.h"
#include "prg/vzprg.h"

namespace vz {

// Fixed processor addresses read from the device.
constexpr uint32_t kPartIdRevIdAddr = 0x000882;
constexpr uint32_t kFirmwareVersionInfoAddrOld = 0x3F3F6D;
constexpr uint32_t kFirmwareVersionInfoAddr = 0x3F3FEE;
constexpr uint32_t kBootloadVersionInfoAddr = 0x3F7F70;
constexpr uint16_t kEraseFirmwareMask = 0x3FC;    // sectors C-J
constexpr uint16_t kEraseBootloaderMask = 0x003;  // sectors A and B

// The step check boxes: they belong to the program, so they keep their values from one dialog to the next.
struct ControllerUpdateSteps {
    bool eraseFirmware = true;
    bool eraseBootloader = false;
    bool program = true;
    bool verify = true;
};
ControllerUpdateSteps& controllerUpdateSteps();
void resetControllerUpdateSteps();

uint16_t eraseMaskFor(const ControllerUpdateSteps& steps);
std::string partIdText(uint16_t partId);
std::string revisionIdText(uint16_t revisionId);
// 2 for the boot loaders that check the current layout (size and checksum at 0x3F3FF0-0x3F3FF2), else 3.
int deviceLayoutFor(const std::string& bootloaderText);
// A 16-word version block is valid when word 7 is 0x480E; its text is words 8-15, low byte first.
bool versionBlockText(const uint16_t block[16], std::string& text);
// Looks for a file in $VIDIZOZOREZ_FIRMWARE_PATH (colon-separated), the program's directory, the
// current directory and $PATH. false with errno-style error (2: not found) otherwise.
bool findOnSearchPath(const std::string& name, std::string& fullPath, int& error);

// The virtual crate's stand-in access firmware as the package installs it, found from the program's
// own location (<bindir>/../share/vidizozorez/controller-firmware; packaging/CMakeLists.txt defines
// the path), so an installed program needs no exported path. Only for a virtual crate: false when the
// file is not there.
bool findInstalledStandIn(const std::string& name, std::string& fullPath);

// The access firmware stand-ins for the virtual crate carry a section of this name; they are never
// sent to a real controller.
constexpr const char* kVirtualCrateOnlySection = ".virtual_crate_only";
bool isVirtualCrateStandIn(const std::string& path);

enum class UpdateStep { Erase, Program, Verify };

// What a run will do, worked out from the prepared image and the steps before anything is touched.
struct UpdatePlan {
    FlashImageType type = FlashImageType::None;
    uint16_t eraseMask = 0;
    bool program = false;
    bool verify = false;
    std::vector<FlashImage::WordRange> writes;  // the stretches sent to the flash
    uint32_t wordsToWrite = 0;
    uint16_t imageSectors = 0;  // sectors the image's address range touches
    // Sectors the image needs that will not be erased: their words must already allow the image.
    uint16_t unerasedImageSectors = 0;
    // Whether the controller can run its firmware after the run, and if not, why (the operator's choice
    // or what the controller held before).
    bool expectStart = true;
    std::string noStartReason;
};

// The erase a vzctl run needs: a boot-loader image its sectors A and B, a firmware image C-J; the
// options ask for the other sectors too.
ControllerUpdateSteps stepsForImage(FlashImageType type, bool eraseBootloader, bool eraseFirmware,
                                    bool verify);

class ControllerUpdate {
  public:
    using LogSink = std::function<void(const std::string& text)>;
    using ProgressSink = std::function<void(UpdateStep step, int done, int total)>;

    explicit ControllerUpdate(const PrgInterface& prg);
    ~ControllerUpdate();
    ControllerUpdate(const ControllerUpdate&) = delete;
    ControllerUpdate& operator=(const ControllerUpdate&) = delete;

    // Called on the thread that runs the step; every text also goes to the debug log.
    void setLogSink(LogSink sink) { logSink_ = std::move(sink); }
    void setProgressSink(ProgressSink sink) { progressSink_ = std::move(sink); }

    // Resets the processor into its ROM boot loader and opens the driver; nothing when connected.
    bool connect();
    // Part id, revision and the two version blocks. The texts read "Illegal Version!" until read.
    bool readDevice();
    // Imports the file and inserts size and checksum for the device's layout; enables run().
    bool prepare(const std::string& path);
    void forgetPrepared() { prepared_ = false; }
    // The plan for these steps and the prepared image (nothing is read or written).
    UpdatePlan plan(const ControllerUpdateSteps& steps) const;
    // The plan as the log shows it, one line per item.
    std::string planText(const UpdatePlan& plan) const;
    // Connects, checks the plan against the device (words to program, sectors that will not be
    // erased read back), logs it, and resets: nothing is erased or written. true when a run may go.
    bool dryRun(const ControllerUpdateSteps& steps);
    // Checks the plan, the selected steps, the reset and the look whether the controller starts.
    // true when every step succeeded and the controller starts, or may not start by the plan.
    bool run(const ControllerUpdateSteps& steps);
    // Restarts the processor from flash and hands the link back to module access.
    void reset();
    // Ends the pause of the polling ticks that the first connect began (the controller runs again).
    void resumePolling() { pollingPause_.reset(); }
    // From any thread: the running transfer stops at its next packet, and no further step begins
    // until clearCancel().
    void cancel();
    void clearCancel() { cancelled_ = false; }
    // One module access read of the controller (a few attempts, no problem dialog): does it run?
    bool controllerStarts(int attempts = 3);

    // The last run's findings.
    bool refused() const { return refused_; }                // the plan was turned down: nothing touched
    bool flashTouched() const { return flashTouched_; }      // an erase or write was sent
    bool stepsSucceeded() const { return stepsSucceeded_; }  // every chosen step, before the restart
    std::optional<bool> started() const { return started_; }
    const UpdatePlan& lastPlan() const { return lastPlan_; }

    bool connected() const { return connected_; }
    bool prepared() const { return prepared_; }
    bool cancelled() const { return cancelled_; }
    const std::string& currentFirmware() const { return currentFirmware_; }
    const std::string& currentBootloader() const { return currentBootloader_; }
    const std::string& partText() const { return partText_; }
    const std::string& revisionText() const { return revisionText_; }
    // The version text the prepared image carries ("" when it has none).
    const std::string& newImageText() const { return newImageText_; }
    // Why the last prepare() turned the file down ("" when it did not).
    const std::string& rejectReason() const { return rejectReason_; }
    int imageType() const;

    void log(const std::string& text);

  private:
    void applyOptions(const std::string& bootFile);
    bool readBlock(uint32_t address, const char* name, uint16_t block[16]);
    // The refusals of the plan: nothing to program, or words over sectors that stay as they are and
    // do not allow them. Needs the connection.
    bool checkPlan(const UpdatePlan& plan);

    const PrgInterface& prg_;
    PRG_HANDLE handle_ = nullptr;
    std::unique_ptr<FlashImage> image_;
    LogSink logSink_;
    ProgressSink progressSink_;
    bool connected_ = false;
    bool prepared_ = false;
    std::atomic<bool> cancelled_{false};
    bool refused_ = false;
    bool flashTouched_ = false;
    bool stepsSucceeded_ = false;
    std::optional<bool> started_;
    // The ticks stay stopped from the first connect until the dialog hands the crate back.
    std::optional<PollingPause> pollingPause_;
    // What the device showed before the run: a running controller, a valid boot-loader block.
    std::optional<bool> startedBefore_;
    std::optional<bool> bootloaderPresent_;
    UpdatePlan lastPlan_;
    std::string currentFirmware_ = "BROWSE to scan!";
    std::string currentBootloader_;
    std::string partText_;
    std::string revisionText_;
    std::string newImageText_;
    std::string rejectReason_;
};

}  // namespace vz
