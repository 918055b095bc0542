#pragma once
// Why each controller section failed in the engine's controller operations (command
// runs, AP list fetch), for hosts that name the cause next to the controller. The AP list
// fetch writes from its worker threads, hence the lock.

#include <map>
#include <mutex>
#include <string>

namespace quorvane {

class ControllerFailures {
  public:
    void record(const std::string& section, const std::string& reason) {
        const std::lock_guard<std::mutex> lock(mutex_);
        reasons_[section] = reason;
    }
    // The section's last visit went well.
    void forget(const std::string& section) {
        const std::lock_guard<std::mutex> lock(mutex_);
        reasons_.erase(section);
    }
    // Section name to the cause of its last failure.
    std::map<std::string, std::string> snapshot() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return reasons_;
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> reasons_;
};

}  // namespace quorvane
