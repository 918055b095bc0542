#pragma once
// Bytes over SSH: the TCP connection, the handshake, the host-key check and the login,
// each bounded by its own time-out. libssh runs in non-blocking mode; every wait is a
// poll() on the socket and on the session's wake-up descriptor, so a wait ends at its
// deadline or as soon as another thread interrupts the session.

#include <libssh/libssh.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "quorvane/engine/device_session.hpp"

namespace quorvane {

using SshClock = std::chrono::steady_clock;

// The longest wait a time-out can ask for; longer ones, infinite included, are cut to it.
inline constexpr double kLongestWaitSeconds = 365.0 * 24 * 3600;

// Now plus `seconds`: a negative time-out is already over, one beyond kLongestWaitSeconds
// is cut to it, and NaN is refused with an SshError.
SshClock::time_point deadline_after(double seconds);
// A time-out for error texts: "30s", "0.3s".
std::string seconds_text(double seconds);

// The wake-up half of a session, usable from any thread while another one waits.
class SshInterrupter {
  public:
    SshInterrupter();
    ~SshInterrupter();
    SshInterrupter(const SshInterrupter&) = delete;
    SshInterrupter& operator=(const SshInterrupter&) = delete;

    // Marks the session as ending and wakes any wait; stays signalled from then on.
    void interrupt() noexcept;
    bool interrupted() const noexcept { return interrupted_.load(std::memory_order_acquire); }
    // Valid until release(); only the thread that may wait on it releases it.
    int fd() const { return fd_; }
    // Closes the descriptor once nothing waits on it any more; interrupted from then on.
    void release() noexcept;

  private:
    std::mutex mutex_;  // orders interrupt() from any thread against release()
    int fd_;
    std::atomic<bool> interrupted_{false};
};

class SshTransport {
  public:
    // Connects and logs in; throws SshError naming the device on any failure.
    SshTransport(const DeviceParams& params, const SshInterrupter& interrupter);
    ~SshTransport();
    SshTransport(const SshTransport&) = delete;
    SshTransport& operator=(const SshTransport&) = delete;

    ssh_session session() const { return session_; }
    // Bytes libssh has taken from the socket so far.
    uint64_t bytes_received() const { return socket_counter_.in_bytes; }
    const std::string& label() const { return label_; }

    // Sleeps in one poll() until the socket has input, pending output can leave, or the
    // deadline passes (then false). It does not look into libssh's buffers: callers check
    // those first. Throws SshError once the session is interrupted.
    bool wait(SshClock::time_point deadline);
    void throw_if_interrupted() const;

    // Repeats a non-blocking libssh step while it answers again_code, waiting in between;
    // throws SshError with timeout_text and timeout_reason at the deadline.
    template <class Step>
    int repeat(Step step, int again_code, SshClock::time_point deadline,
               const std::string& timeout_text, const std::string& timeout_reason = {}) {
        for (;;) {
            throw_if_interrupted();
            const int rc = step();
            if (rc != again_code) return rc;
            if (!wait(deadline)) throw_timeout(timeout_text, timeout_reason);
        }
    }
    // Whether the device or an error has ended the connection.
    bool closed() const;

  private:
    [[noreturn]] static void throw_timeout(const std::string& text, const std::string& reason);
    [[noreturn]] void throw_auth_error() const;
    std::string auth_timeout_text(const DeviceParams& params) const;
    static std::string auth_timeout_reason(const DeviceParams& params);
    void release() noexcept;
    int connect_tcp(const DeviceParams& params);
    void handshake(const DeviceParams& params, int fd);
    void verify_host_key(const DeviceParams& params);
    void authenticate(const DeviceParams& params);
    bool authenticate_keyboard_interactive(const DeviceParams& params,
                                           SshClock::time_point deadline);
    std::string ssh_error_text() const;

    const SshInterrupter& interrupter_;
    std::string label_;
    ssh_session session_ = nullptr;
    ssh_counter_struct socket_counter_{};
};

}  // namespace quorvane
