#pragma once
// The interactive shell of a device: a channel with a wide pseudo-terminal, read and
// written without ever blocking, so that every wait stays under the caller's deadline.

#include <libssh/libssh.h>

#include <cstddef>
#include <string_view>

#include "quorvane/engine/ssh/ssh_transport.hpp"

namespace quorvane {

class SshShellChannel {
  public:
    // Wide enough that devices never wrap a line of output.
    static constexpr int kTerminalColumns = 511;
    static constexpr int kTerminalRows = 24;

    SshShellChannel(SshTransport& transport, SshClock::time_point deadline);
    ~SshShellChannel();
    SshShellChannel(const SshShellChannel&) = delete;
    SshShellChannel& operator=(const SshShellChannel&) = delete;

    // Copies up to capacity bytes that have already arrived; 0 when there are none now.
    // Throws SshError ("Connection closed by ...") once the device ended the session and
    // everything it sent has been read.
    std::size_t read_available(char* buffer, std::size_t capacity);
    // Returns at once when input is already buffered, else sleeps until input arrives or
    // the deadline passes (then false). Throws when the session is interrupted.
    bool wait(SshClock::time_point deadline);
    void write(std::string_view text, SshClock::time_point deadline);

  private:
    [[noreturn]] void throw_closed() const;

    SshTransport& transport_;
    ssh_channel channel_ = nullptr;
    bool remote_done_ = false;
};

}  // namespace quorvane
