#pragma once
// A queue of owned items with a counting semaphore: the front end appends, the worker waits for an
// item and looks at the head without removing it while the job runs.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace vz {

template <typename Item>
class JobQueue {
  public:
    static constexpr int kMaximum = 50000;

    // False (the item released) when the queue already holds kMaximum items.
    bool appendItem(std::unique_ptr<Item> item) {
        {
            std::lock_guard l(lock_);
            if (semaphore_ >= kMaximum) return false;
            items_.push_back(std::move(item));
            ++semaphore_;
        }
        wake_.notify_all();
        return true;
    }
    // Waits at most timeoutMs of real time for an item or for stop(); true and one count taken when
    // an item is there.
    enum class Wait { Ready, Stop, Timeout };
    Wait wait(int timeoutMs, const std::atomic<bool>& stop) {
        std::unique_lock l(lock_);
        if (!wake_.wait_for(l, std::chrono::milliseconds(timeoutMs),
                            [&] { return stop.load() || semaphore_ > 0; }))
            return Wait::Timeout;
        if (stop) return Wait::Stop;
        --semaphore_;
        return Wait::Ready;
    }
    // Wakes a waiter so it sees a stop request.
    void wake() {
        { std::lock_guard l(lock_); }
        wake_.notify_all();
    }
    Item* head() {
        std::lock_guard l(lock_);
        return items_.empty() ? nullptr : items_.front().get();
    }
    void removeHead() {
        std::unique_ptr<Item> gone;
        std::lock_guard l(lock_);
        if (items_.empty()) return;
        gone = std::move(items_.front());
        items_.pop_front();
    }
    // Removes every item; the semaphore count follows.
    void clear() {
        std::deque<std::unique_ptr<Item>> gone;
        std::lock_guard l(lock_);
        gone.swap(items_);
        semaphore_ = 0;
    }
    size_t size() {
        std::lock_guard l(lock_);
        return items_.size();
    }
    void countFailure() { ++failures_; }
    uint32_t failures() const { return failures_; }

  private:
    std::mutex lock_;
    std::condition_variable wake_;
    int semaphore_ = 0;
    std::deque<std::unique_ptr<Item>> items_;
    std::atomic<uint32_t> failures_{0};
};

}  // namespace vz
