#include "quorvane/engine/clock.hpp"

#include <thread>

namespace quorvane {

void StopSignal::set() noexcept {
    {
        std::lock_guard lock(mutex_);
        set_.store(true);
    }
    woken_.notify_all();
}

bool StopSignal::wait_for(std::chrono::milliseconds duration) const {
    std::unique_lock lock(mutex_);
    return woken_.wait_for(lock, duration, [this] { return set_.load(); });
}

bool Clock::sleep_unless_stopped(std::chrono::milliseconds duration, const StopSignal& stop) {
    if (stop.is_set()) return false;
    sleep_for(duration);
    return !stop.is_set();
}

namespace {
class SystemClock final : public Clock {
  public:
    std::chrono::system_clock::time_point now() override {
        return std::chrono::system_clock::now();
    }
    void sleep_for(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
    bool sleep_unless_stopped(std::chrono::milliseconds duration, const StopSignal& stop) override {
        return !stop.wait_for(duration);
    }
};
}  // namespace

std::shared_ptr<Clock> system_clock() {
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

}  // namespace quorvane
