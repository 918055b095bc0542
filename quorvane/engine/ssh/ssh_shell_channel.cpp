#include "quorvane/engine/ssh/ssh_shell_channel.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "quorvane/engine/ssh/ssh_error.hpp"
#include "quorvane/engine/ssh/ssh_failure.hpp"

namespace quorvane {

SshShellChannel::SshShellChannel(SshTransport& transport, SshClock::time_point deadline)
    : transport_(transport), channel_(ssh_channel_new(transport.session())) {
    const std::string& label = transport_.label();
    if (channel_ == nullptr) throw SshError("cannot create a channel to " + label);
    const std::string timeout_text = "Opening the shell on " + label + " timed out";
    const auto fail = [&](const char* step, const char* refused) {
        const std::string error = ssh_get_error(transport_.session());
        throw SshError(
            std::string(step) + " on " + label + " failed: " + error,
            transport_.closed() ? kClosedByDevice : std::string("the device refused ") + refused);
    };
    try {
        if (transport_.repeat([&] { return ssh_channel_open_session(channel_); }, SSH_AGAIN,
                              deadline, timeout_text) != SSH_OK) {
            fail("Opening a session channel", "a session channel");
        }
        if (transport_.repeat(
                [&] {
                    return ssh_channel_request_pty_size(channel_, "vt100", kTerminalColumns,
                                                        kTerminalRows);
                },
                SSH_AGAIN, deadline, timeout_text) != SSH_OK) {
            fail("Requesting a terminal", "a terminal");
        }
        if (transport_.repeat([&] { return ssh_channel_request_shell(channel_); }, SSH_AGAIN,
                              deadline, timeout_text) != SSH_OK) {
            fail("Starting the shell", "a shell");
        }
    } catch (const SshError&) {
        if (channel_ != nullptr) ssh_channel_free(channel_);
        channel_ = nullptr;
        throw;
    }
}

SshShellChannel::~SshShellChannel() {
    if (channel_ == nullptr) return;
    ssh_channel_close(channel_);
    ssh_channel_free(channel_);
}

void SshShellChannel::throw_closed() const {
    const char* reason = ssh_get_error(transport_.session());
    std::string text = "Connection closed by " + transport_.label();
    if (reason != nullptr && *reason != '\0') text += std::string(" (") + reason + ")";
    throw SshError(text, kClosedByDevice);
}

std::size_t SshShellChannel::read_available(char* buffer, std::size_t capacity) {
    transport_.throw_if_interrupted();
    const auto count =
        static_cast<uint32_t>(std::min<std::size_t>(capacity, std::numeric_limits<int32_t>::max()));
    // With a pseudo-terminal the device's errors arrive on the main stream; stderr is
    // still read so nothing it sends is lost.
    for (const int is_stderr : {0, 1}) {
        const int n = ssh_channel_read_nonblocking(channel_, buffer, count, is_stderr);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n == SSH_ERROR) throw_closed();
        if (n == SSH_EOF) remote_done_ = true;
    }
    if (remote_done_ || ssh_channel_is_closed(channel_) ||
        !ssh_is_connected(transport_.session())) {
        throw_closed();
    }
    return 0;
}

bool SshShellChannel::wait(SshClock::time_point deadline) {
    transport_.throw_if_interrupted();
    // Bytes libssh already holds never wake poll(). Looking at one stream can take in new
    // bytes from the socket that belong to the other one (a read of stderr completing a
    // packet for stdout), so both are looked at again until the socket gave nothing new.
    // A non-zero answer (bytes, end of file, error) is for the next read to take or report.
    for (;;) {
        const uint64_t received = transport_.bytes_received();
        if (ssh_channel_poll(channel_, 1) != 0 || ssh_channel_poll(channel_, 0) != 0) return true;
        if (transport_.bytes_received() == received) break;
    }
    return transport_.wait(deadline);
}

void SshShellChannel::write(std::string_view text, SshClock::time_point deadline) {
    while (!text.empty()) {
        transport_.throw_if_interrupted();
        const auto count = static_cast<uint32_t>(
            std::min<std::size_t>(text.size(), std::numeric_limits<int32_t>::max()));
        const int n = ssh_channel_write(channel_, text.data(), count);
        if (n == SSH_ERROR) throw_closed();
        text.remove_prefix(static_cast<std::size_t>(n));
        if (text.empty()) break;
        // The device's window is full: let libssh take in its window adjustments.
        if (!transport_.wait(deadline)) {
            throw SshError("Sending to " + transport_.label() + " timed out");
        }
        if (ssh_channel_poll(channel_, 0) == SSH_ERROR) throw_closed();
    }
}

}  // namespace quorvane
