#pragma once
// A worker thread with a stop protocol: stop requests are seen between jobs; a job in progress sees
// cancelRequested() at its next safe point.
#include <atomic>
#include <memory>
#include <thread>

namespace vz {

class CWorkerThread {
  public:
    virtual ~CWorkerThread();
    CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    bool running() const { return thread_.joinable(); }
    bool cancelRequested() const { return cancel_; }

  protected:
    enum class WaitResult { Stop, Work, Timeout, Failed };
    int run();
    virtual int threadMain() = 0;
    virtual void onWaitResult(WaitResult result);
    // Wakes the thread's wait so that it sees the stop request.
    virtual void wake() {}
    void startThread();
    // Asks the thread to end after its current job (and the job to stop at its next safe point when
    // abandonJob), then waits until it has ended: the job and the queues stay alive under it.
    void stopThread(bool abandonJob);

    std::atomic<bool> stopEvent_{false};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> running_{false};
    int waitTimeoutMs_ = 100;

  private:
    std::thread thread_;
};

}  // namespace vz
