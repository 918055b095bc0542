// One simulated device while the simulator runs: its description, what it remembers
// between sessions and what it has been sent. Shared by the event-loop threads.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fleetsim/fleet.hpp"
#include "fleetsim/simulator.hpp"

namespace fleetsim {

// Logged-in sessions open at the same time, per device kind, and the most seen at once
// since the last reset: what a test needs to prove a limit on parallel sessions.
class SessionCounters {
  public:
    void opened(DeviceKind kind) {
        std::lock_guard lock(mutex_);
        int& n = open_[index(kind)];
        ++n;
        if (n > peak_[index(kind)]) peak_[index(kind)] = n;
    }
    void closed(DeviceKind kind) {
        std::lock_guard lock(mutex_);
        --open_[index(kind)];
    }
    int open(DeviceKind kind) const {
        std::lock_guard lock(mutex_);
        return open_[index(kind)];
    }
    int peak(DeviceKind kind) const {
        std::lock_guard lock(mutex_);
        return peak_[index(kind)];
    }
    void reset_peaks() {
        std::lock_guard lock(mutex_);
        peak_ = open_;
    }

  private:
    static size_t index(DeviceKind kind) { return kind == DeviceKind::controller ? 0 : 1; }

    mutable std::mutex mutex_;
    std::array<int, 2> open_{};
    std::array<int, 2> peak_{};
};

struct DeviceRecord {
    DeviceRecord(Device d, SessionCounters& counters)
        : config(std::move(d)),
          state(initial_state(config)),
          alternate_key(config.faults.alternate_host_key),
          sessions(counters) {}

    const Device config;
    mutable std::mutex mutex;  // guards state and transcript
    DeviceState state;
    std::vector<std::string> transcript;
    std::atomic<bool> alternate_key;
    SessionCounters& sessions;
    // Controller: when each client was first listed; transient clients settle from there.
    std::map<std::string, std::chrono::steady_clock::time_point> first_listed;

    void record(std::string line) {
        std::lock_guard lock(mutex);
        transcript.push_back(std::move(line));
    }
    template <typename F>
    auto with_state(F&& f) {
        std::lock_guard lock(mutex);
        return f(state);
    }
};

}  // namespace fleetsim
