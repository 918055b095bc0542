// A small blocking libssh client for tests and benchmarks of the simulator: log in, open
// an interactive shell with a pty, write, and read until a marker with a deadline.
#pragma once

#include <libssh/libssh.h>

#include <stdexcept>
#include <string>

namespace fleetsim_test {

struct LoginError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct ReadTimeout : std::runtime_error {
    ReadTimeout(const std::string& what, std::string seen)
        : std::runtime_error(what), received(std::move(seen)) {}
    std::string received;
};

class SshTestClient {
  public:
    enum class Auth { password, keyboard_interactive };

    SshTestClient(const std::string& host, int port, const std::string& user,
                  const std::string& password, Auth auth = Auth::password);
    ~SshTestClient();
    SshTestClient(const SshTestClient&) = delete;
    SshTestClient& operator=(const SshTestClient&) = delete;

    void send(const std::string& text);
    // Reads until the received text (since the last returned read) contains marker;
    // returns it all, marker included. Throws ReadTimeout with what arrived.
    std::string read_until(const std::string& marker, int timeout_ms = 5000);
    // Sends cmd and a line break, returns everything up to and including the prompt.
    std::string command(const std::string& cmd, const std::string& prompt, int timeout_ms = 5000);
    // Whatever arrives within the time.
    std::string drain(int ms);
    // True when the device ends the channel within the time.
    bool wait_closed(int timeout_ms);
    // SHA-256 fingerprint of the server's host key.
    std::string host_key_fingerprint() const;

  private:
    ssh_session session_ = nullptr;
    ssh_channel channel_ = nullptr;
    std::string buffer_;
};

}  // namespace fleetsim_test
