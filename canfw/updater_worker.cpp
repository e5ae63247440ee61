#include "canfw/updater_worker.h"

#include <algorithm>
#include <exception>

#include "base/settings.h"

namespace vz {

CWorkerUpdateDlg::CWorkerUpdateDlg() : client_(&cancel_) {}

CWorkerUpdateDlg::~CWorkerUpdateDlg() {
    stopThread(true);
    jobs_.clear();
}

int CWorkerUpdateDlg::startWorker(UpdaterReceiver& receiver) {
    if (running()) stopThread(false);
    client_.setReceiver(&receiver);
    startThread();
    client_.clearResults();
    return -1;
}

bool CWorkerUpdateDlg::stopWorker() {
    stopThread(false);
    return true;
}

void CWorkerUpdateDlg::closeUpdater() {
    stopThread(true);
    jobs_.clear();
    client_.clearResults();
}

bool CWorkerUpdateDlg::appendJob(BootloadJob job) {
    if (job.path.size() > 259) job.path.resize(259);
    return jobs_.appendItem(std::make_unique<BootloadJob>(std::move(job)));
}

void CWorkerUpdateDlg::queueIdentifyAll() {
    int count = (crateSettings().fCmdLine & kSearchAll) ? 127 : crateSettings().typeChannelLimit;
    count = std::min(count, static_cast<int>(crateSettings().searchLimit));
    count = std::max(count, 14);
    for (int i = 0; i < count; ++i)
        appendJob({kJobIdentify, 0, false, false, false, false, moduleOnly(i), {}});
}

void CWorkerUpdateDlg::queueIdentify(int moduleId) {
    appendJob({kJobIdentify, 0, false, false, false, false, moduleOnly(moduleId), {}});
}

void CWorkerUpdateDlg::queueReadVersion(int moduleId, bool application) {
    appendJob({application ? kJobAppVersion : kJobBootVersion,
               0,
               false,
               false,
               false,
               false,
               moduleOnly(moduleId),
               {}});
}

void CWorkerUpdateDlg::queueReadRunningType(int moduleId) {
    appendJob({kJobRunningType, 0, false, false, false, false, moduleOnly(moduleId), {}});
}

bool CWorkerUpdateDlg::queueStartFirmware(int moduleId, bool bootLoader) {
    return appendJob({bootLoader ? kJobStartBootLoader : kJobStartApplication,
                      0,
                      false,
                      false,
                      false,
                      false,
                      moduleOnly(moduleId),
                      {}});
}

bool CWorkerUpdateDlg::queueProgram(const DeviceInfo& device, int memoryType, const std::string& path,
                                    bool bootloaderFile, bool overrideProtection, bool checksOff,
                                    bool restore) {
    if (memoryType == kProgramMemory)
        return appendJob(
            {kJobProgramFlash, 0, bootloaderFile, overrideProtection, checksOff, restore, device, path});
    return appendJob({kJobProgramEeprom, 0, false, false, false, restore, device, path});
}

bool CWorkerUpdateDlg::queueBackup(const DeviceInfo& device, const std::string& path) {
    return appendJob({kJobBackup, 0, false, false, false, false, device, path});
}

int CWorkerUpdateDlg::threadMain() {
    running_ = true;
    while (running_) {
        switch (jobs_.wait(waitTimeoutMs_, stopEvent_)) {
            case JobQueue<BootloadJob>::Wait::Ready: {
                BootloadJob* job = jobs_.head();
                if (!job) break;
                int result = -1;
                try {
                    result = client_.runJob(*job);
                } catch (const std::exception& e) {
                    // A job that throws (no memory, a library refusing) fails like any other job:
                    // the front end reads why in its log, and the worker goes on with the next one.
                    client_.reportJobError(*job, e.what());
                }
                if (result != 0)
                    jobs_.removeHead();
                else
                    jobs_.countFailure();
                break;
            }
            case JobQueue<BootloadJob>::Wait::Stop:
                onWaitResult(WaitResult::Stop);
                break;
            case JobQueue<BootloadJob>::Wait::Timeout:
                onWaitResult(WaitResult::Timeout);
                break;
        }
    }
    return 1;
}

void CWorkerUpdateDlg::wake() {
    jobs_.wake();
}

}  // namespace vz
