#pragma once
// The module updater's boot-loader client.
#include <atomic>
#include <cstdint>
#include <string>

#include "canfw/bootload_job.h"
#include "canfw/hex_file.h"
#include "canfw/job_queue.h"
#include "canfw/row_image.h"
#include "canfw/updater_messages.h"

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

// The boot-loader client: command frames into one module's command space, bulk data through its data
// buffer, and the jobs built on them. It has no thread of its own: the updater's worker calls it, and
// it reports to the receiver it is given. While a CBootload exists the polling tick reads no channel.
class CBootload {
  public:
    // stopRequest, when given, asks a running job to stop at its next safe point.
    explicit CBootload(const std::atomic<bool>* stopRequest = nullptr);  // polling stops reading channels
    ~CBootload();                                                        // polling reads again
    CBootload(const CBootload&) = delete;
    CBootload& operator=(const CBootload&) = delete;

    // Where the log lines and the results go; nothing is reported without one.
    void setReceiver(UpdaterReceiver* receiver) { receiver_ = receiver; }
    bool cancelRequested() const { return stopRequest_ && *stopRequest_; }

    // One queued job: 1 after success, -1 after a failure (logged with the job's failure lines).
    int runJob(BootloadJob& job);
    // A job that ended with an error instead of a result: logged and counted as a failed job.
    void reportJobError(const BootloadJob& job, const char* what);
    // Jobs that failed since the client was made.
    uint32_t failedJobs() const { return jobsFailed_; }
    void clearResults() { resultStorage_.clear(); }

    // The boot-loader operations.
    bool sendCommand(int moduleId, uint8_t command, uint32_t address, uint16_t size,
                     const uint8_t* data = nullptr, int* error = nullptr);
    bool sendData(int moduleId, const uint8_t* bytes, int count);
    int receiveData(int moduleId, uint8_t command, uint8_t* destination, int count);
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

  private:
    bool sendFrame(int moduleId, uint8_t command, uint32_t address, uint16_t size, uint8_t dataChecksum,
                   int* error);

    const std::atomic<bool>* stopRequest_;
    UpdaterReceiver* receiver_ = nullptr;
    JobQueue<std::string> resultStorage_;  // result records of successful jobs; nobody reads them
    bool checksOff_ = false;
    Progress progress_;
    std::atomic<uint32_t> jobsFailed_{0};
};

}  // namespace vz
