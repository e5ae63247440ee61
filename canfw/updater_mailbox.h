#pragma once
// A receiver for front ends without an event loop (vzctl, tests): the worker posts, the front end's
// thread takes the messages in order, waiting at most a given time.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "canfw/updater_messages.h"

namespace vz {

class UpdaterMailbox final : public UpdaterReceiver {
  public:
    void post(UpdaterMessage message) override {
        {
            std::lock_guard l(lock_);
            messages_.push_back(std::move(message));
        }
        arrived_.notify_all();
    }
    // The oldest message, or nothing after timeoutMs of real time.
    std::optional<UpdaterMessage> take(int timeoutMs) {
        std::unique_lock l(lock_);
        if (!arrived_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return !messages_.empty(); }))
            return std::nullopt;
        UpdaterMessage m = std::move(messages_.front());
        messages_.pop_front();
        return m;
    }

  private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<UpdaterMessage> messages_;
};

}  // namespace vz
