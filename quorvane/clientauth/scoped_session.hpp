#pragma once
// A controller session that is ended whatever happens: closed in order with disconnect(),
// or ended quietly when a step throws before that.

#include <utility>

#include "quorvane/engine/device_session.hpp"
#include "quorvane/engine/session_registry.hpp"

namespace quorvane {

class ScopedSession {
  public:
    explicit ScopedSession(DeviceSessionPtr session) : session_(std::move(session)) {}
    ~ScopedSession() {
        if (session_) end_session(*session_);
    }
    ScopedSession(const ScopedSession&) = delete;
    ScopedSession& operator=(const ScopedSession&) = delete;

    DeviceSession* operator->() const { return session_.get(); }

    // The orderly close. Its error is the caller's step error; the transport is dropped
    // all the same.
    void disconnect() {
        DeviceSessionPtr session = std::exchange(session_, nullptr);
        try {
            session->disconnect();
        } catch (...) {
            try {
                session->close();
            } catch (...) {
            }
            throw;
        }
    }

  private:
    DeviceSessionPtr session_;
};

}  // namespace quorvane
