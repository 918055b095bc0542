#pragma once
// The clock and sleeper behind every wait and time stamp of the engine, so tests can
// run retries and long pauses instantly.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace quorvane {

// Raised once when the engine is being destroyed, so that workers it left running stop
// sleeping and end instead of outliving it.
class WakeSignal {
  public:
    void raise() {
        {
            std::lock_guard lock(mutex_);
            raised_ = true;
        }
        changed_.notify_all();
    }
    bool raised() const {
        std::lock_guard lock(mutex_);
        return raised_;
    }
    // Waits up to `duration`; returns early once raised.
    void wait_for(std::chrono::milliseconds duration) const {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, duration, [&] { return raised_; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool raised_ = false;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point now() = 0;
    virtual void sleep_for(std::chrono::milliseconds duration) = 0;
    // Sleeps like sleep_for but returns early once `wake` is raised. A clock whose sleeps
    // never block may keep this default.
    virtual void sleep_unless_woken(std::chrono::milliseconds duration, const WakeSignal& wake) {
        if (!wake.raised()) sleep_for(duration);
    }
};

std::shared_ptr<Clock> system_clock();

}  // namespace quorvane
