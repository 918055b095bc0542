#pragma once
// The AP sessions a poll run opened, kept so that shutdown can end them from another
// thread. Only weak references are held: a session whose poll has let go of it is gone
// (ended by its own destructor), so over a long run the registry holds no more than the
// sessions open at the same time. Once shutdown has swept the list, a session added
// later is ended at once: its worker may not see the stop flag before it touches the
// device.

#include <algorithm>
#include <memory>
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
    // False when the registry was already swept; the session has then been ended.
    bool add(const DeviceSessionPtr& session) {
        {
            std::lock_guard lock(mutex_);
            if (!swept_) {
                if (sessions_.size() >= prune_at_) prune();
                sessions_.push_back(session);
                return true;
            }
        }
        if (session) end_session(*session);
        return false;
    }
    // The live sessions, in the order they were added; every later add ends its session.
    // A copy, so the sweep never holds the lock while a session blocks in disconnect.
    std::vector<DeviceSessionPtr> sweep() {
        std::lock_guard lock(mutex_);
        swept_ = true;
        return live();
    }
    std::vector<DeviceSessionPtr> snapshot() const {
        std::lock_guard lock(mutex_);
        return live();
    }
    // Sessions still alive.
    std::size_t size() const { return snapshot().size(); }

  private:
    static constexpr std::size_t kMinPruneSize = 64;

    std::vector<DeviceSessionPtr> live() const {
        std::vector<DeviceSessionPtr> out;
        for (const auto& weak : sessions_) {
            if (auto session = weak.lock()) out.push_back(std::move(session));
        }
        return out;
    }
    // Amortised: the list is pruned only when it has doubled since the last pruning.
    void prune() {
        std::erase_if(sessions_, [](const auto& weak) { return weak.expired(); });
        prune_at_ = std::max(kMinPruneSize, 2 * sessions_.size());
    }

    mutable std::mutex mutex_;
    std::vector<std::weak_ptr<DeviceSession>> sessions_;
    std::size_t prune_at_ = kMinPruneSize;
    bool swept_ = false;
};

}  // namespace quorvane
