#include "canfw/worker_thread.h"

#include "base/clock.h"
#include "base/crate_binding.h"

namespace vz {

CWorkerThread::~CWorkerThread() {
    // Derived classes stop the thread in their own destructors; this only guards against a
    // thread left running, which would outlive the object it runs on.
    if (thread_.joinable()) {
        stopEvent_ = true;
        cancel_ = true;
        thread_.join();
    }
}

int CWorkerThread::run() {
    return threadMain();
}

void CWorkerThread::onWaitResult(WaitResult result) {
    switch (result) {
        case WaitResult::Stop:
            stopEvent_ = false;
            running_ = false;
            break;
        case WaitResult::Failed:
            clock().sleepMs(1000);
            break;
        default:
            break;
    }
}

void CWorkerThread::startThread() {
    if (thread_.joinable()) stopThread(false);
    stopEvent_ = false;
    cancel_ = false;
    // The worker works on the crate of the thread that starts it.
    thread_ = std::thread([this, crate = boundCrate()] {
        const CrateBinding binding(crate);
        run();
    });
}

void CWorkerThread::stopThread(bool abandonJob) {
    if (!thread_.joinable()) return;
    if (abandonJob) cancel_ = true;
    stopEvent_ = true;
    wake();
    thread_.join();
    stopEvent_ = false;
    cancel_ = false;
}

}  // namespace vz
