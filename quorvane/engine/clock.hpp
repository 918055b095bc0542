#pragma once
// The clock and sleeper behind every wait and time stamp of the engine, so tests can
// run retries and long pauses instantly.

#include <chrono>
#include <memory>

namespace quorvane {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point now() = 0;
    virtual void sleep_for(std::chrono::milliseconds duration) = 0;
};

std::shared_ptr<Clock> system_clock();

}  // namespace quorvane
