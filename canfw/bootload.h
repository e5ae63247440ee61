#pragma once
// The module updater's boot-loader client: command frames into a module's command space, bulk data
// through its data buffer, the jobs that run on the worker thread, and the queue operations the
// front end calls. While a CBootload exists the polling tick reads no channel.
#include <cstdint>
#include <string>

#include "canfw/hex_file.h"
#include "canfw/row_image.h"
#include "canfw/worker_thread.h"

namespace vz {

// The 14-byte version record of a boot loader or an application.
struct VersionRecord {
    uint8_t major = 0, minor = 0;
    uint16_t third = 0, fourth = 0;
    uint8_t day = 0, month = 0;
    uint16_t year = 0;
    uint8_t second = 0, minute = 0, hour = 0, unused = 0;
};

// Result words of the command frames that the client interprets.
constexpr int kResultMemoryNotAvailable = 4;
constexpr int kResultTransportFailed = 9;
constexpr int kResultTolerated = 50;

constexpr uint32_t kBootCommandSpace = 0xC000;
constexpr uint32_t kBootDataBuffer = 0xD000;

// "%d.%d.%d.%d   Build time: ..." or "%d.%d.%d.%d" or "unknown".
std::string versionText(const VersionRecord& v);
// "%s%06d_%s_%s.bex": directory (ending in a separator), module, family name, local time.
std::string proposedBackupName(const std::string& directory, int moduleId, int family, int64_t localWallUs);

class CBootload : public CWorkerUpdateDlg {
  public:
    CBootload();            // polling stops reading channels
    ~CBootload() override;  // stops the worker, polling reads again

    // GUI side.
    int startWorker(UpdaterReceiver& window);
    bool stopWorker();
    // Stops the worker (a job in progress ends at its next safe point) and drops queued jobs.
    void closeUpdater();
    void queueIdentifyAll();
    void queueIdentify(int moduleId);
    void queueReadVersion(int moduleId, bool application);
    void queueReadRunningType(int moduleId);
    bool queueStartFirmware(int moduleId, bool bootLoader);
    bool queueProgram(const DeviceInfo& device, int memoryType, const std::string& path, bool bootloaderFile,
                      bool overrideProtection, bool checksOff, bool restore = false);
    bool queueBackup(const DeviceInfo& device, const std::string& path);
    size_t queuedJobs() { return jobStorage_.size(); }
    // Jobs whose handler reported a failure since the updater was made: a front end compares the
    // count before and after its jobs to learn their verdict.
    uint32_t failedJobs() const { return jobsFailed_; }

    // Worker side: the boot-loader operations.
    bool sendCommand(int moduleId, uint8_t iCmd, uint32_t iAdr, uint16_t iSize, const uint8_t* data = nullptr,
                     int* error = nullptr);
    bool sendData(int moduleId, const uint8_t* bytes, int count);
    int receiveData(int moduleId, uint8_t iCmd, uint8_t* destination, int count);
    bool readDeviceId(int moduleId, DeviceInfo* info);
    bool readVersion(int moduleId, VersionRecord& version, bool application);
    bool setParameter(int moduleId, int paramNr, int paramType, const void* value, int* error = nullptr);
    bool startFirmware(const DeviceInfo* device, bool bootLoader);
    bool readRunningType(const DeviceInfo* device);
    bool WriteMemory(int moduleId, const MemoryRow& row);

    bool programDevice(const DeviceInfo* device, int memoryType, const std::string& path, bool bootloaderFile,
                       bool overrideProtection, bool restore = false);
    bool backupDeviceMemory(const DeviceInfo* device, const std::string& path);

    void postLog(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void postText(const std::string& text);
    void postToDialog(int kind, const void* data, size_t size);
    void postValue(int kind, uint32_t value);

    // Progress of the programming or backup in progress, for front ends that show a bar: rows (or
    // reads) done of those to do. Read from any thread.
    struct Progress {
        std::atomic<int> done{0};
        std::atomic<int> total{0};
        std::atomic<int> written{0};  // rows the module accepted in the current job
    };
    Progress& progress() { return progress_; }

  protected:
    int handleJob(BootloadJob& job) override;

  private:
    bool appendJob(BootloadJob job);
    bool sendFrame(int moduleId, uint8_t iCmd, uint32_t iAdr, uint16_t iSize, uint8_t dataChecksum,
                   int* error);

    JobQueue<BootloadJob> jobStorage_;
    JobQueue<std::string> resultStorage_;  // result records of successful jobs; nobody reads them
    bool checksOff_ = false;
    Progress progress_;
    std::atomic<uint32_t> jobsFailed_{0};
};

}  // namespace vz
