// One simulated device while the simulator runs: its description, what it remembers
// between sessions and what it has been sent. Shared by the event-loop threads.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "fleetsim/fleet.hpp"
#include "fleetsim/simulator.hpp"

namespace fleetsim {

struct DeviceRecord {
    explicit DeviceRecord(Device d)
        : config(std::move(d)), alternate_key(config.faults.alternate_host_key) {
        state.tmp_usage_percent = config.tmp_usage_percent;
        state.clients = config.clients;
    }

    const Device config;
    mutable std::mutex mutex;  // guards state and transcript
    DeviceState state;
    std::vector<std::string> transcript;
    std::atomic<bool> alternate_key;

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
