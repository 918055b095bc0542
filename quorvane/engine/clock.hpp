#pragma once
// The clock and sleeper behind every wait and time stamp of the engine, so tests can
// run retries and long pauses instantly.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace quorvane {

// Set once, never cleared; wakes whoever sleeps on it, so a stop does not have to wait
// for the end of a long pause.
class StopSignal {
  public:
    void set() noexcept;
    bool is_set() const noexcept { return set_.load(); }
    // Blocks up to `duration`; true when the signal is set by then.
    bool wait_for(std::chrono::milliseconds duration) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable woken_;
    std::atomic<bool> set_{false};
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point now() = 0;
    virtual void sleep_for(std::chrono::milliseconds duration) = 0;
    // Like sleep_for, but a set signal ends the sleep early. Returns false when the
    // signal is set, before or after the sleep. A clock that does not override this
    // sleeps the whole duration through sleep_for.
    virtual bool sleep_unless_stopped(std::chrono::milliseconds duration, const StopSignal& stop);
};

std::shared_ptr<Clock> system_clock();

}  // namespace quorvane
