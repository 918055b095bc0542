#pragma once
// The AP sessions a poll run opened, kept so that shutdown can end them from another
// thread. The list only grows: ended sessions stay listed.

#include <mutex>
#include <vector>

#include "quorvane/engine/device_session.hpp"

namespace quorvane {

// Ends a session whatever state it is in: disconnect, or drop the transport when that
// fails. Never throws.
inline void end_session(DeviceSession& session) noexcept {
    try {
        session.disconnect();
    } catch (const std::exception&) {
        try {
            session.close();
        } catch (...) {
        }
    } catch (...) {
    }
}

class SessionRegistry {
  public:
    void add(DeviceSessionPtr session) {
        std::lock_guard lock(mutex_);
        sessions_.push_back(std::move(session));
    }
    // A copy, so the sweep never holds the lock while a session blocks in disconnect.
    std::vector<DeviceSessionPtr> snapshot() const {
        std::lock_guard lock(mutex_);
        return sessions_;
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return sessions_.size();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<DeviceSessionPtr> sessions_;
};

}  // namespace quorvane
