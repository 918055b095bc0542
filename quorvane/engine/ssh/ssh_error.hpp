#pragma once
// The one error type of the SSH session layer. Callers use only its text, which always
// names the device it concerns.

#include <stdexcept>
#include <string>

namespace quorvane {

class SshError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "host", or "host:port" when the port is not the standard one, for error texts.
inline std::string ssh_address_label(const std::string& host, int port) {
    return port == 22 ? host : host + ":" + std::to_string(port);
}

}  // namespace quorvane
