#include "quorvane/engine/clock.hpp"

#include <thread>

namespace quorvane {

namespace {
class SystemClock final : public Clock {
  public:
    std::chrono::system_clock::time_point now() override {
        return std::chrono::system_clock::now();
    }
    void sleep_for(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
    void sleep_unless_woken(std::chrono::milliseconds duration, const WakeSignal& wake) override {
        wake.wait_for(duration);
    }
};
}  // namespace

std::shared_ptr<Clock> system_clock() {
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

}  // namespace quorvane
