#pragma once
// The module updater's worker: owns the boot-loader client and a job queue, and runs the queued jobs
// one at a time on its thread. The front end (the dialog, vzctl) queues jobs from its own thread and
// hears of them only through the receiver it gives startWorker.
#include <cstdint>
#include <string>

#include "canfw/bootload.h"
#include "canfw/bootload_job.h"
#include "canfw/job_queue.h"
#include "canfw/updater_messages.h"
#include "canfw/worker_thread.h"

namespace vz {

class CWorkerUpdateDlg : public CWorkerThread {
  public:
    CWorkerUpdateDlg();            // the client exists: polling stops reading channels
    ~CWorkerUpdateDlg() override;  // stops the worker, polling reads again

    int startWorker(UpdaterReceiver& receiver);
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
    size_t queuedJobs() { return jobs_.size(); }
    // Jobs whose handler reported a failure since the updater was made: a front end compares the
    // count before and after its jobs to learn their verdict.
    uint32_t failedJobs() const { return client_.failedJobs(); }
    CBootload::Progress& progress() { return client_.progress(); }
    // The client itself, for calls on the caller's thread while the worker is stopped.
    CBootload& client() { return client_; }

  protected:
    int threadMain() override;
    void wake() override;

  private:
    bool appendJob(BootloadJob job);

    JobQueue<BootloadJob> jobs_;
    CBootload client_;
};

}  // namespace vz
